#pragma once
// The program's windows and program-wide state, created in their fixed order
// and wired together; start-up and the tests build the program through this.

#include <memory>
#include <set>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "evaluation/EvaluationState.h"
#include "gui/AboutWindow.h"
#include "gui/AmbiguityWindow.h"
#include "gui/EvaluationWindow.h"
#include "gui/GuideWindow.h"
#include "gui/LedgerWindow.h"
#include "gui/MainWindow.h"
#include "gui/ParametersWindow.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "gui/SweepWindow.h"
#include "gui/WindowBus.h"
#include "gui/WindowPlacement.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"

namespace sonavir {

// The toolkit's own texts (its file dialog, message box buttons, context
// menus) in Russian like the rest of the program. False when the toolkit's
// translations are not installed: its texts then stay English.
bool InstallToolkitTranslations();
// The program's one name, "Сонавир", wherever the toolkit shows the
// application's name (task bar, error boxes), its icon and its desktop entry;
// window captions stay as each window sets them.
void NameTheApplication();

class ProgramWindows {
public:
    ProgramWindows();
    ~ProgramWindows();

    // The main window and, beside it, the parameters window.
    void ShowStartWindows();
    // Shows a tool window and brings it forward; the first time, placed
    // beside the main window's picture (WindowPlacement). Later showings keep
    // where it was, or where the user moved it.
    void ShowToolWindow(QWidget* window);
    // The scene a tool window is placed into: the screen, the main window,
    // its picture and the other tool windows shown.
    PlacementScene SceneFor(const QWidget* window) const;
    // Moves a tool window to its place (the main window lower, when the
    // evaluation's chart needs the room).
    void Place(QWidget* window);

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
    std::unique_ptr<GuideWindow> guideWindow;    // "Руководство", F1

private:
    std::set<const QWidget*> placed_;
    int heightBeforeSeries_ = 0;  // > 0: the main window's height before it was lowered
    int loweredHeight_ = 0;       // and the height it was lowered to
};

}  // namespace sonavir
