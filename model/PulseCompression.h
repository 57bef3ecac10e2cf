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
    // The matched filter was off: the waveform is the pulse as it is, its
    // width the pulse's own length (MeasurePulse), and it has no sidelobes
    // to measure, so PSL and ISL stay empty for that reason.
    bool uncompressed = false;
};

// Why PSL and ISL are empty for an uncompressed waveform: the window's
// message and the text of those cells in the CSV file.
inline constexpr const char* kUncompressedNote =
    "без фильтра: импульс не сжат, боковых лепестков у него нет, поэтому УБЛ и ИУБЛ не определены; "
    "ширина -3 дБ - длительность самого импульса";
inline constexpr const char* kUncompressedCell = "no filter: not compressed";

// What weighting the matched filter of a probe costs, in dB (0 or negative):
// the output's peak signal-to-noise ratio with the reference w s against the
// filter matched to s itself, 10 lg((sum w s^2)^2 / (sum s^2 sum w^2 s^2)) over
// the probe's samples. For a constant envelope it is WeightingLossDb().
long double WeightedFilterLossDb(int signalItem, const TModelParams& p, int windowItem);

// BT of a probe kind: 1 for the radio pulse, 13 for Barker-13 and 2 FD Tc for
// the LFM pulse, which sweeps from F0 - FD to F0 + FD.
long double TimeBandwidth(int signalItem, const TModelParams& p);

// Measures of the waveform the time plot drew last (MainState::Shown()):
// those of a compressed pulse after the matched filter, and those of the
// pulse as it is without it (a single model's view is measured as filtered).
// Fails with "Out of memory" when the run could not keep it, with
// kNothingShown when no waveform is shown, and like the plot ("Floating point
// division by zero") for a silent one.
PulseCompression MeasureShown(const MainState& state);
inline constexpr const char* kNothingShown = "Форма сигнала не построена";

// "peak_time,peak,width_3db,psl_db,isl_db,bt" and one line of values; the
// cells of an uncompressed waveform's PSL and ISL read kUncompressedCell; a
// weighted filter's loss adds the column weighting_loss_db.
std::string MeasuresCsv(const PulseCompression& measures);

}  // namespace sonavir
