#pragma once
// Pulse-compression measures of the waveform now shown: its envelope's peak,
// -3 dB width and sidelobe levels, with the time-bandwidth product of the
// probe that sets the compression gain.

#include <optional>
#include <string>

#include "model/MainState.h"
#include "signal/Envelope.h"

namespace sonavir {

struct PulseCompression {
    EnvelopeMeasures envelope;
    std::optional<long double> bt;      // of the probe; none for a model's view
    std::optional<long double> gainDb;  // 10 lg BT, none unless BT > 0
    // The weighted filter's loss of signal-to-noise ratio, when the run's
    // filter was weighted: WeightedFilterLossDb of its probe.
    std::optional<long double> weightingLossDb;
};

// What weighting the matched filter of a probe costs, in dB (0 or negative):
// the output's peak signal-to-noise ratio with the reference w s against the
// filter matched to s itself, 10 lg((sum w s^2)^2 / (sum s^2 sum w^2 s^2)) over
// the probe's samples. For a constant envelope it is WeightingLossDb().
long double WeightedFilterLossDb(int signalItem, const TModelParams& p, int windowItem);

// BT of a probe kind: 1 for the radio pulse, 13 for Barker-13 and 2 FD Tc for
// the LFM pulse, which sweeps from F0 - FD to F0 + FD.
long double TimeBandwidth(int signalItem, const TModelParams& p);

// Measures of the waveform the time plot drew last (MainState::Shown()).
// Fails with "Out of memory" when the run could not keep it, with
// kNothingShown when no waveform is shown, and like the plot ("Floating point
// division by zero") for a silent one.
PulseCompression MeasureShown(const MainState& state);
inline constexpr const char* kNothingShown = "Форма сигнала не построена";

// "peak_time,peak,width_3db,psl_db,isl_db,bt" and one line of values; a
// weighted filter's loss adds the column weighting_loss_db.
std::string MeasuresCsv(const PulseCompression& measures);

}  // namespace sonavir
