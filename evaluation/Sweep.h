#pragma once
// "Серия по параметру": any parameter the scenario files know against any
// measure of a stage of the echo path, optionally one curve per value of a
// second parameter. A sweep is a value: it reads a copy of the parameter set
// and its set-up, runs every point through the run as a value (RunEcho) and
// the ledger, side by side on the cores, and hands back a table, which the
// chart (evaluation/XYChart.h) and the CSV file are made from. Each point is
// exactly what running it alone gives, whatever the number of threads.
//
// The measures of a point (the stage's waveform as a run with the switches
// as set would show it):
//   energy, db_probe   the ledger's energy after the stage and its level
//                      against the probe's (noise, filter and normalisation
//                      are not stages of the channel and stay out);
//   peak, peak_time, width_3db, psl_db, isl_db
//                      the pulse-compression measures of the run's waveform
//                      (its envelope's peak and time, -3 dB width, peak and
//                      integrated sidelobe levels), as the ledger window gives;
//   snr_out_db         10 lg(A^2 / (2 sigma_env^2)) of the matched filter's
//                      output at the stage (evaluation/DetectionStudy.h), the
//                      filter matched as the run matches it and the noise of
//                      the noise setting, whatever "Фильтр" and "Шум" say;
//   pd                 the fraction of the detection set-up's K trials whose
//                      largest envelope value in its gate exceeds the
//                      threshold sigma_env sqrt(-2 ln Pfa), Pfa the set-up's
//                      first, at that output snr.
// A measure that does not exist for a point (a width the envelope never
// falls to) is an empty cell.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "evaluation/XYChart.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/StudySetup.h"
#include "signal/RunControl.h"

namespace sonavir {

struct SweepRequest {
    ModelParameters params;
    SweepSetup setup;
    DetectionSetup detection;  // what pd reads
    std::optional<std::uint32_t> noiseSeed;  // the runs' noise, as the main window's
    std::uint32_t trialSeed = 0;             // pd's trials: the set-up's seed, or the clock's

    static SweepRequest Of(const MainState& main);
};

struct SweepPoint {
    std::string text;  // the value as applied
    long double x = 0;
    std::vector<std::optional<long double>> values;  // one per measure
};
struct SweepCurve {
    std::string text;   // the curve parameter's value; empty without one
    std::string label;  // "Grunt = Песок"
    long double x = 0;  // the curve parameter's value as a number
    std::vector<SweepPoint> points;
};

struct SweepResult {
    SweepRequest request;
    std::string param, curveParam;
    std::vector<std::string> measures;
    std::vector<SweepCurve> curves;
    // The first point that failed, named ("FD=6024: Floating point overflow");
    // the other points are all there.
    std::exception_ptr failure;
    bool stopped = false;
    bool Done() const { return !failure && !stopped && !curves.empty(); }
};

// Never throws: a refused set-up, a failed point or a stop comes back in the
// result. The set-up is checked whole first (the parameter's and the
// measures' names, every value on the parameter set).
SweepResult RunSweep(const SweepRequest& request, RunControl& control);

// The measures of one parameter set, here and now: what the sweep gives
// for a point.
std::vector<std::optional<long double>> MeasurePoint(const ModelParameters& params, const SweepRequest& request,
                                                     const std::vector<std::string>& measures);

// The parameter's name, the curve parameter's (with one), one column per
// measure; one row per point, curve after curve; empty cells for no value.
std::string SweepCsv(const SweepResult& result);
// One panel per measure over the parameter's values, one curve per curve
// value; a held sweep's curves of the same measures dotted underneath.
XYChart SweepChart(const SweepResult& result, const SweepResult* reference = nullptr);
// "width_3db, с": a measure with its unit, as the axis and the table head show it.
std::string MeasureTitle(const std::string& measure);

}  // namespace sonavir
