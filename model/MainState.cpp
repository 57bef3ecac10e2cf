#include "model/MainState.h"

#include <exception>
#include <string>

#include "signal/NumberText.h"

namespace sonavir {

MainState::MainState(ModelParameters& params, PictureSettings& settings, Picture& picture)
    : params(params), settings(settings), picture(picture), scene(picture, settings)
{
}

// ---------------------------------------------------------------- navigation

void MainState::SetPathButtonsFromIndex()
{
    prevEnabled = pathStage > 0;
    nextEnabled = pathStage < kLastStage;
}

void MainState::SelectModel(int item)
{
    // A disabled list raises no change; an index outside the list is "no
    // selection", which changes nothing.
    if (evaluationShown || item < 0 || item >= static_cast<int>(ModelItems().size())) return;
    modelItem = item;
    pathStage = 0;
    if (item == 0) {
        pathEnabled = true;
        prevEnabled = false;
        nextEnabled = true;
    } else {
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
    }
}

void MainState::SelectPath(int item)
{
    if (evaluationShown || !pathEnabled || item < 0 || item > kLastStage) return;
    pathStage = item;
    SetPathButtonsFromIndex();
}

void MainState::PrevPath()
{
    if (evaluationShown || !prevEnabled) return;
    if (pathStage > 0) --pathStage;
    if (pathStage == 0) prevEnabled = false;
    nextEnabled = true;
}

void MainState::NextPath()
{
    if (evaluationShown || !nextEnabled) return;
    if (pathStage < kLastStage) ++pathStage;
    if (pathStage == kLastStage) nextEnabled = false;
    prevEnabled = true;
}

void MainState::SetFilterMode(bool on)
{
    params.filterMode = on;
    MatchToEcho = on;
}

void MainState::SetEvaluationShown(bool shown)
{
    evaluationShown = shown;
    if (shown) {
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
        return;
    }
    if (modelItem == 0) {
        pathEnabled = true;
        SetPathButtonsFromIndex();
    } else {
        // A single model keeps its own rule: no path to walk.
        pathEnabled = false;
        prevEnabled = false;
        nextEnabled = false;
    }
    params.DeriveParameters();
}

// ---------------------------------------------------------------- Start

void MainState::Start(RunControl* control)
{
    statusText.clear();
    if (onStatusChanged) onStatusChanged();
    // The old plots' memory is the new run's.
    ForgetShown();
    RunControl own;
    RunResult result = RunEcho(Request(), control ? *control : own);
    Finish(result);
}

RunRequest MainState::Request() const
{
    RunRequest q = RunRequest::Of(params, modelItem, pathStage);
    q.noiseSeed = noiseSeed;
    q.envelope = settings.db;
    return q;
}

void MainState::Finish(RunResult& result)
{
    if (result.stopped) return;
    statusText.clear();
    // What the run writes back, as far as it got. The duration box shows the
    // duration in use, unless the user changed it while the run went.
    const RunRequest& q = result.request;
    if (result.tcText && params.tcText == q.tcText && params.p.Tc == q.p.Tc) {
        params.tcText = *result.tcText;
        params.tcTextValue = StrToFloat(params.tcText);
    }
    if (result.sizes) {
        RealSignalSize = (*result.sizes)[0];
        SignalSize = (*result.sizes)[1];
        const auto texts = result.MemoryTexts();
        params.realSizeText = texts[0];
        params.paddedSizeText = texts[1];
        params.bytesText = texts[2];
        if (onMemoryFigures) onMemoryFigures();
    }
    if (result.signalEnergy) SignalEnergy = *result.signalEnergy;
    scene.Draw(result, imageLeft, PlotObservers{onTimePlot, onSpectrumPlot});
    settings.shortForm = false;
    statusText = ModelItems()[static_cast<std::size_t>(q.modelItem)] + " - " +
                 PathItems()[static_cast<std::size_t>(q.pathStage)];
    imageMenuEnabled = true;
    if (onStatusChanged) onStatusChanged();
}

}  // namespace sonavir
