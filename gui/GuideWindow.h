#pragma once
// "Справка" -> "Руководство" (F1): the short user guide in a help window of
// the program's own, offline. The guide is installed beside the program
// (share/sonavir/guide.html), where a browser can open it too; a build that
// runs from its tree reads the copy built into the program.

#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace sonavir {

class GuideWindow : public QWidget {
    Q_OBJECT
public:
    explicit GuideWindow(QWidget* parent = nullptr);

    QTextBrowser* GuideBrowser;

    // The installed guide when there is one beside the program, otherwise
    // the built-in copy.
    static QUrl GuideSource();
};

}  // namespace sonavir
