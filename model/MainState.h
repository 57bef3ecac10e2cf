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
#include "display/Plotter.h"
#include "model/ModelParameters.h"
#include "signal/WinFFT.h"

namespace sonavir {

class MainState {
public:
    MainState(ModelParameters& params, PictureSettings& settings, Picture& picture);

    ModelParameters& params;
    PictureSettings& settings;
    Picture& picture;

    static const std::vector<std::string>& ModelItems();  // "Сигнал" .. "Объект"
    static const std::vector<std::string>& PathItems();   // "Модель" .. 8 stages

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

    // Fields of the main window object.
    int RealSignalSize = 0;
    int SignalSize = 0;
    std::uint8_t SeriesSignalKind = 0;
    bool MatchToEcho = false;
    TSignalData Signal;
    TSignalData FilterRef;
    long double SignalEnergy = 0;

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

    // StartSpeedButtonClick: blank status, run, full settings form, status
    // text, "Изображение" enabled. A failure propagates after the status has
    // been blanked; nothing after the run happens then.
    void Start();

    // The run and its parts.
    void RunModel();
    void GenerateSignal();
    void ApplyAntenna(bool apply);
    void BuildFilterReference();

    // Whether the run controls (model list, Start, the three switches) take
    // input: the evaluation window locks them while it is shown.
    bool RunControlsEnabled() const { return !evaluationShown; }

private:
    void SetPathButtonsFromIndex();
    // Stage k of the echo path on the spectrum in Signal, when its gate is on.
    void ApplyStage(int stage);
    // 1/R for the water stages, 1/GruntHeight for the seabed stages (from one
    // unit on), 1 otherwise.
    long double DepthFactor(int stage) const;
    // Whether the depth attenuation scales anything for stages 1 .. lastStage.
    bool ScalesWithDepth(int lastStage) const;
    // Depth attenuation of the waveform in Signal for stages 1 .. lastStage.
    void ApplyDepthAttenuation(int lastStage);
    PlotAxes Axes() const;
    void TimePlot(const char* caption);
    void SpectrumPlot(const char* caption);

    long double referenceEnergy_ = 0;  // the probe's energy, from the reference pass
};

}  // namespace sonavir
