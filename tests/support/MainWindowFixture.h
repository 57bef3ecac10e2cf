#pragma once
// The main window with its picture windows wired to one state bus, shown, with
// error boxes collected instead of shown. Shared by the window tests.
#include <QTest>
#include <string>
#include <vector>

#include "gui/ErrorBox.h"
#include "gui/MainWindow.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "gui/WindowBus.h"

namespace sonavir::guitest {

struct MainWindowFixture {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
    WindowBus bus;
    MainWindow form{state, &bus};
    PictureSizeWindow sizeWindow{form.sizing, picture, settings, &bus};
    PictureSettingsWindow settingsWindow{settings, &bus};
    std::vector<std::string> errors;

    MainWindowFixture()
    {
        QObject::connect(&bus, &WindowBus::changed, &form, &MainWindow::SyncFromState);
        QObject::connect(&bus, &WindowBus::changed, &sizeWindow, &PictureSizeWindow::SyncFromState);
        QObject::connect(&bus, &WindowBus::changed, &settingsWindow, &PictureSettingsWindow::SyncFromState);
        form.SetWindows(nullptr, &sizeWindow, &settingsWindow, nullptr);
        SetErrorSink([this](const std::string& m) { errors.push_back(m); });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    ~MainWindowFixture() { SetErrorSink({}); }
};

}  // namespace sonavir::guitest
