// Start-up: the command-line mode when asked for, otherwise the windows.
#include <QApplication>
#include <QTimer>

#include <string>

#include "app/CommandLine.h"
#include "gui/ProgramWindows.h"

int main(int argc, char** argv)
{
    if (auto rc = sonavir::RunCommandLine(argc, argv)) return *rc;
    // Otherwise the only argument, if any, names a scenario to open.
    const std::string scenario = argc == 2 ? argv[1] : "";

    QApplication app(argc, argv);
    sonavir::NameTheApplication();
    sonavir::InstallToolkitTranslations();
    // The main window's closing ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    sonavir::ProgramWindows windows;
    QObject::connect(windows.mainWindow.get(), &sonavir::MainWindow::closed, &app, &QApplication::quit);
    windows.ShowStartWindows();
    // `sonavir lab.svr`: the windows open that scenario once they are shown.
    if (!scenario.empty())
        QTimer::singleShot(0, windows.mainWindow.get(), [&windows, scenario] { windows.mainWindow->OpenScenario(scenario); });
    return app.exec();
}
