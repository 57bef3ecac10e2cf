#pragma once
// The program's windows and program-wide state, created in their fixed order
// and wired together; start-up and the tests build the program through this.

#include <memory>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"
#include "gui/AboutWindow.h"
#include "gui/AmbiguityWindow.h"
#include "gui/EvaluationWindow.h"
#include "gui/LedgerWindow.h"
#include "gui/MainWindow.h"
#include "gui/ParametersWindow.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "gui/SweepWindow.h"
#include "gui/WindowBus.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"

namespace sonavir {

// The toolkit's own texts (its file dialog, message box buttons, context
// menus) in Russian like the rest of the program. False when the toolkit's
// translations are not installed: its texts then stay English.
bool InstallToolkitTranslations();

class ProgramWindows {
public:
    ProgramWindows();
    ~ProgramWindows();

    // The main window and, beside it, the parameters window.
    void ShowStartWindows();

    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState main{params, settings, picture};
    EvaluationState evaluation;
    WindowBus bus;

    // Created in this order: the parameters window derives the parameters
    // through the main window object, which must exist first.
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<ParametersWindow> parametersWindow;
    std::unique_ptr<PictureSizeWindow> pictureSizeWindow;
    std::unique_ptr<PictureSettingsWindow> pictureSettingsWindow;
    std::unique_ptr<AboutWindow> aboutWindow;
    std::unique_ptr<EvaluationWindow> evaluationWindow;
    std::unique_ptr<LedgerWindow> ledgerWindow;  // "Баланс по этапам", on demand
    std::unique_ptr<AmbiguityWindow> ambiguityWindow;  // "Функция неопределенности", on demand
    std::unique_ptr<SweepWindow> sweepWindow;    // "Серия по параметру" and "Обнаружение"
};

}  // namespace sonavir
