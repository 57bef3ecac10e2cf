#include "gui/SaveDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace sonavir {

bool MayReplace(QWidget* parent, const QString& title, const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return true;
    // The file dialog's own question, in its translation.
    const QString question =
        QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?").arg(info.fileName());
    return QMessageBox::warning(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString AskSaveName(QWidget* parent, const QString& title, const QString& lastName, const QStringList& filters,
                    QString& filter, const QString& defaultSuffix,
                    const std::function<QString(const QString& chosen, const QString& filter)>& finalName)
{
    QFileDialog dialog(parent, title, lastName, filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (!filter.isEmpty()) dialog.selectNameFilter(filter);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        const QString chosen = dialog.selectedFiles().constFirst();
        const QString chosenFilter = dialog.selectedNameFilter();
        const QString path = finalName ? finalName(chosen, chosenFilter) : chosen;
        // The dialog has asked about the name it returned; a name the program
        // extends is asked about here.
        if (QFileInfo(path).absoluteFilePath() == QFileInfo(chosen).absoluteFilePath() ||
            MayReplace(&dialog, title, path)) {
            filter = chosenFilter;
            return chosen;
        }
    }
}

const QStringList& PictureFilters()
{
    static const QStringList filters = {QStringLiteral("Изображение в формате BMP (*.bmp)"),
                                        QStringLiteral("PNG (*.png)"), QStringLiteral("SVG (*.svg)"),
                                        QStringLiteral("PDF (*.pdf)")};
    return filters;
}

PictureFormat PictureFormatOfFilter(const QString& filter)
{
    constexpr PictureFormat kFormats[] = {PictureFormat::Bmp, PictureFormat::Png, PictureFormat::Svg,
                                          PictureFormat::Pdf};
    const auto i = PictureFilters().indexOf(filter);
    return i > 0 ? kFormats[i] : PictureFormat::Bmp;
}

QString AskPictureName(QWidget* parent, const QString& title, const QString& lastName, QString& filter)
{
    return AskSaveName(parent, title, lastName, PictureFilters(), filter, {},
                       [](const QString& chosen, const QString& chosenFilter) {
                           return QString::fromStdString(
                               SaveFileName(chosen.toStdString(), PictureFormatOfFilter(chosenFilter)));
                       });
}

}  // namespace sonavir
