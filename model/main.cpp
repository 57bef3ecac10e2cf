// Placeholder start-up until the windows land: one empty main window.
#include <QApplication>
#include <QMainWindow>

#include "model/CommandLine.h"

int main(int argc, char** argv)
{
    if (auto status = sonavir::RunCommandLine(argc, argv)) return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromUtf8("КОРВА"));
    QMainWindow w;
    w.setWindowTitle(QString::fromUtf8("Сонавир"));
    w.resize(793, 601);
    w.show();
    return app.exec();
}
