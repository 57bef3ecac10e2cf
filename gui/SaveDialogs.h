#pragma once
// The program's save dialogs: the toolkit's file dialog, which asks before it
// replaces a file. Where the program then adds an extension to the name
// chosen (".bmp", ".svr", ".csv"), the name it will really write is asked
// about the same way, in the toolkit's own words, so that no save replaces a
// file unasked.

#include <QString>
#include <QStringList>
#include <functional>

#include "display/PictureFiles.h"

class QWidget;

namespace sonavir {

// Whether a file may be written under `path`: nothing is there, or the user
// agrees to replace it (the toolkit's own question, "No" by default).
bool MayReplace(QWidget* parent, const QString& title, const QString& path);

// A save dialog with `filters` (the one in `filter` preselected; on return
// the one chosen), starting at `lastName`. `finalName` gives the name that
// will be written for a chosen name and filter (none: the chosen name). A
// name the user does not want replaced opens the dialog again. Returns the
// chosen name, or "" when the user cancels.
QString AskSaveName(QWidget* parent, const QString& title, const QString& lastName, const QStringList& filters,
                    QString& filter, const QString& defaultSuffix = {},
                    const std::function<QString(const QString& chosen, const QString& filter)>& finalName = {});

// The picture formats a save offers, BMP (the default) first, and the format
// of a filter among them (BMP for any other).
const QStringList& PictureFilters();
PictureFormat PictureFormatOfFilter(const QString& filter);
// A picture's save dialog: AskSaveName over PictureFilters, asking also about
// the name with the extension the chosen format adds.
QString AskPictureName(QWidget* parent, const QString& title, const QString& lastName, QString& filter);

}  // namespace sonavir
