#pragma once
// The main window with its picture windows wired to one state bus, shown, with
// error boxes collected instead of shown. Shared by the window tests.
#include <QTest>
#include <string>
#include <vector>

#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "gui/GuiCommon.h"
#include "gui/MainWindow.h"

namespace sonavir::guitest {

struct MainWindowFixture {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
    StateBus bus;
    TMainForm form{state, &bus};
    TSizeImageForm sizeForm{form.sizing, picture, settings, &bus};
    TOptionImageForm optionForm{settings, &bus};
    std::vector<std::string> errors;

    MainWindowFixture()
    {
        QObject::connect(&bus, &StateBus::changed, &form, &TMainForm::SyncFromState);
        QObject::connect(&bus, &StateBus::changed, &sizeForm, &TSizeImageForm::SyncFromState);
        QObject::connect(&bus, &StateBus::changed, &optionForm, &TOptionImageForm::SyncFromState);
        form.SetWindows(nullptr, &sizeForm, &optionForm, nullptr);
        SetErrorSink([this](const std::string& m) { errors.push_back(m); });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    ~MainWindowFixture() { SetErrorSink({}); }
};

}  // namespace sonavir::guitest
