#pragma once
// The program's windows and program-wide state, created in their fixed order
// and wired together; start-up and the tests build the program through this.

#include <memory>

#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"
#include "gui/EvaluationWindow.h"
#include "gui/GuiCommon.h"
#include "gui/AboutWindow.h"
#include "model/MainState.h"
#include "gui/MainWindow.h"
#include "gui/ParametersWindow.h"
#include "model/ModelParameters.h"

namespace sonavir {

class TProgramWindows {
public:
    TProgramWindows();
    ~TProgramWindows();

    // The main window and, beside it, the parameters window.
    void ShowStartWindows();

    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState main{params, settings, picture};
    EvaluationState evaluation;
    StateBus bus;

    // Created in this order: the parameters window derives the parameters
    // through the main window object, which must exist first.
    std::unique_ptr<TMainForm> MainForm;
    std::unique_ptr<TModelsForm> ModelsForm;
    std::unique_ptr<TSizeImageForm> SizeImageForm;
    std::unique_ptr<TOptionImageForm> OptionImageForm;
    std::unique_ptr<TLogoForm> LogoForm;
    std::unique_ptr<TFilterForm> FilterForm;
};

}  // namespace sonavir
