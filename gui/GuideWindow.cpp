#include "gui/GuideWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

// The built-in copy lives in this static library's resources.
static void LoadGuideResource() { Q_INIT_RESOURCE(resources); }

namespace sonavir {

GuideWindow::GuideWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    LoadGuideResource();
    setWindowTitle(QStringLiteral("Руководство"));
    setObjectName(QStringLiteral("guideWindow"));
    GuideBrowser = new QTextBrowser(this);
    // Addresses of the help menu's pages go to the browser; the guide's own
    // anchors stay here.
    GuideBrowser->setOpenExternalLinks(true);
    GuideBrowser->setSource(GuideSource());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(GuideBrowser);
    // Low enough to open under the main window on a 1280 x 1024 screen, and
    // off the waveform on a 1024 x 768 one; the user may make it larger.
    resize(600, 430);
}

QUrl GuideWindow::GuideSource()
{
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/sonavir/guide.html"));
    if (QFileInfo(installed).isFile()) return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath());
    return QUrl(QStringLiteral("qrc:/guide/guide.html"));
}

}  // namespace sonavir
