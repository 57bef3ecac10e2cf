#pragma once
// The main window object without its widgets: the model and path choices with
// their navigation rules, the run of the model and what Start does around it.
// The main window, the command-line mode and the tests all drive this.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "display/PlotSpan.h"
#include "display/Plotter.h"
#include "model/EchoPath.h"
#include "model/ModelParameters.h"
#include "model/PlotScene.h"
#include "model/RunEcho.h"
#include "model/StudySetup.h"
#include "signal/WinFFT.h"

namespace sonavir {

class MainState {
public:
    MainState(ModelParameters& params, PictureSettings& settings, Picture& picture);

    ModelParameters& params;
    PictureSettings& settings;
    Picture& picture;

    static const std::vector<std::string>& ModelItems() { return ModelItemTexts(); }  // "Сигнал" .. "Объект"
    static const std::vector<std::string>& PathItems() { return PathItemTexts(); }    // "Модель" .. 8 stages
    static constexpr int kLastStage = sonavir::kLastStage;

    // Control state.
    int modelItem = 0;
    int pathStage = 0;
    bool pathEnabled = true;   // PathComboBox (greyed when false)
    bool prevEnabled = false;  // "Назад"
    bool nextEnabled = true;   // "Вперед"
    bool imageMenuEnabled = false;
    std::string statusText;
    int imageLeft = 0;         // left of the picture within the window
    bool evaluationShown = false;  // the evaluation window locks the run controls

    // Fields of the main window object that a run or a series writes back.
    int RealSignalSize = 0;
    int SignalSize = 0;
    long double SignalEnergy = 0;  // the emitted probe's, before any noise
    std::uint8_t SeriesSignalKind = 0;
    bool MatchToEcho = false;

    // "Пересчитывать при изменении": every accepted change starts a run.
    bool autoRun = false;

    // The set-ups of the sweep and the detection windows, which scenario
    // files keep with the rest.
    SweepSetup sweep;
    DetectionSetup detection;

    // A fixed noise seed makes runs repeatable; by default each noise call
    // reseeds from the clock.
    std::optional<std::uint32_t> noiseSeed;

    // Observers, all optional: the windows repaint, the command line exports.
    std::function<void()> onStatusChanged;
    std::function<void()> onMemoryFigures;
    std::function<void(const TSignalData&, int N)> onTimePlot;
    std::function<void(const TSignalData&, int N)> onSpectrumPlot;

    // Navigation (user choices).
    void SelectModel(int item);   // ModelComboBoxChange
    void SelectPath(int item);    // PathComboBoxChange
    void PrevPath();
    void NextPath();
    // "Согласовывать с эхо-сигналом": the check box and MatchToEcho.
    void SetFilterMode(bool on);
    // The evaluation window shown (locks) or hidden (unlocks, re-derives).
    void SetEvaluationShown(bool shown);

    // StartSpeedButtonClick, here and now: blank status, the run, its result
    // applied (Finish). A failure propagates after the status has been
    // blanked and what the run got to has been drawn. With a control, the
    // run reports to it and a stop asked of it ends the run with nothing
    // changed.
    void Start(RunControl* control = nullptr);
    // Start in two halves, for a run on another thread: what the run reads
    // (the parameter set and the choices as they are now; the dB view's
    // envelope when the picture draws it) ...
    RunRequest Request() const;
    // ... and, on this thread once the run is over, its result: what it
    // writes back (the duration text unless the user typed another while it
    // ran, the sizes, the memory figures, the probe's energy), its plots
    // drawn, the full settings form, the status text and "Изображение"
    // enabled. A failed run's failure is thrown after what it got to has
    // been drawn; the status stays blank then. A stopped run changes nothing.
    void Finish(RunResult& result);

    // The picture of the runs: shown plots, zoom and reference.
    PlotScene scene;
    PlotZoom& zoom = scene.zoom;
    const ShownPlots* Shown() const { return scene.Shown(); }
    bool ShownDropped() const { return scene.ShownDropped(); }
    void ForgetShown() { scene.ForgetShown(); }
    const HeldReference* Reference() const { return scene.Reference(); }
    bool CanHoldReference() const { return scene.CanHoldReference(); }
    void HoldReference() { scene.HoldReference(); }
    void DropReference() { scene.DropReference(); }
    bool PlotsOnPicture() const { return scene.PlotsOnPicture(); }
    PlotKind ShownPlotAt(int x, int y) const { return scene.ShownPlotAt(x, y); }
    void ZoomToColumns(PlotKind plot, int x1, int x2) { scene.ZoomToColumns(plot, x1, x2); }
    void SetZoom(PlotKind plot, std::optional<PlotRange> range) { scene.SetZoom(plot, range); }
    void ShowWholeRun() { scene.ShowWholeRun(); }
    void PictureResized() { scene.PictureResized(); }
    void RedrawShown() { scene.RedrawShown(); }
    bool CanZoomBack() const { return scene.CanZoomBack(); }
    bool ZoomBack() { return scene.ZoomBack(); }
    void ZoomAround(PlotKind plot, int x, long double factor, bool continuing = false)
    {
        scene.ZoomAround(plot, x, factor, continuing);
    }
    void PanBy(PlotKind plot, int dx, bool continuing = false) { scene.PanBy(plot, dx, continuing); }
    const PlotCursors& Cursors() const { return scene.Cursors(); }
    void SetCursors(const PlotCursors& cursors) { scene.SetCursors(cursors); }
    void PlaceCursor(PlotKind plot, int x) { scene.PlaceCursor(plot, x); }
    void CursorToPeak(PlotKind plot) { scene.CursorToPeak(plot); }
    void ClearCursors() { scene.ClearCursors(); }

    // Whether the run controls (model list, Start, the three switches) take
    // input: the evaluation window locks them while it is shown.
    bool RunControlsEnabled() const { return !evaluationShown; }

private:
    void SetPathButtonsFromIndex();
};

}  // namespace sonavir
