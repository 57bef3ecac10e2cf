#pragma once
// The run of the model as a function: a request in, a result out. It holds
// no picture, no window and no program-wide buffer, so the windows run it on
// a worker thread, the command line on its own, and batches of points run it
// side by side. Drawing the result is the plot scene's business
// (model/PlotScene.h); applying what a run writes back is MainState's.

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "display/Plotter.h"
#include "model/EchoPath.h"
#include "model/ModelParameters.h"
#include "signal/RunControl.h"
#include "signal/WinFFT.h"

namespace sonavir {

// Everything a run reads.
struct RunRequest {
    TModelParams p;
    int signalItem = kLfmPulse;
    int antennaItem = 1;
    int windowItem = 0;  // the matched filter's weighting (signal/Weighting.h)
    std::string kText = "3,14";  // the wide-band antenna reads its text
    bool filterOn = false, filterMode = false, noiseOn = false, normOn = false, depthOn = false;
    StageGates gates = AllGatesOn();
    long double snr = 5;
    int modelItem = 0;  // 0 the signal along the path, 1 .. 4 one model's view
    int pathStage = 0;  // 0 .. kLastStage, with the signal
    // A fixed seed makes noise repeatable; without one each run seeds from the clock.
    std::optional<std::uint32_t> noiseSeed;
    // The dB view draws the waveform's envelope: the run works it out while
    // it still holds the waveform's own spectrum.
    bool envelope = false;
    // The duration box's text as the run started: the run writes the
    // duration back only if the user has not typed another meanwhile.
    std::string tcText = "0,01";

    // The parameter set's values and switches with the main window's choices.
    static RunRequest Of(const ModelParameters& params, int modelItem, int pathStage);

    bool operator==(const RunRequest&) const = default;
    // Whether both ask for the same computation (the view's envelope and
    // the duration's text aside).
    bool SameRun(const RunRequest& other) const;
};

// One plot of a result: its data, laid out as the plot draws it.
struct RunPlot {
    PlotKind kind = PlotKind::None;
    std::string caption;  // "S(t)", "|S(jw)|", "h(t)", "|K(jw)|"
    TSignalData data;
    // A waveform's envelope, when the request asked for one; exact: it is
    // Envelope(data)'s bit for bit, as the measures need.
    bool hasEnvelope = false, envelopeExact = false;
    TSignalData envelope;
};

struct RunResult {
    RunRequest request;
    // What the run writes back, each set once the run got that far: the
    // duration with 4 digits (a Barker snap becomes visible), the sizes and
    // the three "Память" figures, the probe's energy before any noise.
    std::optional<std::string> tcText;
    std::optional<std::array<int, 2>> sizes;  // RealSignalSize, SignalSize
    std::optional<long double> signalEnergy;
    // The plots in the order they are drawn, both of N = (*sizes)[1] columns.
    std::vector<RunPlot> plots;
    // The spectrum plot is the waveform's own (its transform, or the one it
    // is the inverse transform of, with no scaling between).
    bool spectrumOfWave = false;
    // Whether the machine can spare keeping the plots once drawn; a run too
    // large for that still draws them.
    bool keep = true;
    // A run that failed: the failure, with whatever was computed before it.
    std::exception_ptr failure;
    // A run that was stopped: nothing of it stays, nothing is written back.
    bool stopped = false;

    int N() const { return sizes ? (*sizes)[1] : 0; }
    // The "Память" figures of the sizes: 2M, 2N and 16N.
    std::array<std::string, 3> MemoryTexts() const;
};

// Runs the request. Never throws: a failure or a stop comes back in the
// result. With a control of its own the calling thread reports progress.
RunResult RunEcho(const RunRequest& request, RunControl& control);

// The pieces of the run on any buffer of N columns (M the pulse length in
// sample pairs), for the ledger, the series and the tests.
void GenerateProbe(const RunRequest& request, TSignalData& data, int N, int M);
// A channel model: Apply = false writes its response, true multiplies the
// spectrum by it.
void ApplyChannelModel(ChannelModel model, const RunRequest& request, bool apply, TSignalData& data, int N);
// Stage k (1 .. kLastStage) of the echo path on a spectrum, when its gate is
// on. The sphere's stage carries the target's motion too: a target moving at
// p.V compresses its echo in time (signal/TimeScale.h); V = 0 costs nothing.
void ApplyStage(const RunRequest& request, int stage, TSignalData& data, int N);
// Whether the depth attenuation scales anything for stages 1 .. lastStage.
bool ScalesWithDepth(const RunRequest& request, int lastStage);
// The depth attenuation of a waveform for stages 1 .. lastStage (gates do not
// apply: a stage left out is still attenuated).
void ApplyDepthAttenuation(const RunRequest& request, int lastStage, TSignalData& data, int N);

// Whether the machine can spare `more` bytes beyond what it holds now (0:
// whether keeping a buffer of `bytes` already taken leaves it room to
// breathe). Keeping data is a convenience, and must never push a large run
// into swap or out of memory; small buffers are always kept.
bool CanSpare(unsigned long long bytes, unsigned long long more);
// A copy of a buffer when the machine can spare it; false (and `to` left
// empty) otherwise.
bool TryCopy(const TSignalData& from, int N, TSignalData& to);
// The envelope of a waveform, from its own spectrum when there is one.
void WaveEnvelope(const TSignalData& wave, const TSignalData* spectrum, int N, TSignalData& envelope);

}  // namespace sonavir
