#pragma once
// The set-up of a sweep ("Серия по параметру": any parameter against any
// measure) and of the detection trials ("Обнаружение"), as the window's
// fields hold them: texts as typed, so a scenario file keeps them exactly.
// Running them is evaluation/'s business (Sweep.h, DetectionStudy.h); here
// are the names, the lists and the values they stand for.

#include <cstdint>
#include <string>
#include <vector>

#include "model/EchoPath.h"
#include "model/ModelParameters.h"

namespace sonavir {

struct ParameterKey;  // model/Scenario.h

inline constexpr int kMaxSweepPoints = 1000;
inline constexpr int kMaxSweepCurves = 12;

struct SweepSetup {
    std::string param;            // a parameter's --set name; empty: none chosen
    std::string values;           // the list "a;b;c", texts as the parameter's field takes them
    bool range = false;           // from, to and count instead of the list
    std::string from, to;         // the range's ends
    int count = 5;                // the range's points, 2 .. kMaxSweepPoints
    bool log = false;             // points spaced evenly on a logarithmic scale (and the axis so)
    std::string curveParam;       // one curve per value of this parameter; empty: one curve
    std::string curveValues;      // its list "a;b"
    int stage = kLastStage;       // the stage of the echo path measured
    std::string measures = "width_3db";  // names separated by ','
    bool operator==(const SweepSetup&) const = default;
};

struct DetectionSetup {
    // Theory's ratio A^2/(2 sigma^2) in dB, for the table and the Pd-SNR curves.
    std::string snrDb = "0;2;4;6;8;9;10;11;12;13;14;15;16;18;20";
    std::string pfa = "1E-6;1E-4;1E-2";   // the wanted false-alarm probabilities
    std::string rocSnrDb = "6;10;13";     // one ROC curve each
    // How the threshold is set: 0 from Pfa with sigma_env computed from the
    // filter, 1 from Pfa with sigma_env measured on the noise-only trials,
    // 2 given directly as levels in units of the computed sigma_env.
    int thresholdMode = 0;
    std::string levels = "3;4;5";
    long long trials = 2000;
    bool seeded = false;           // by default every Start draws new noise
    std::uint32_t seed = 1;
    int gate = 0;                  // the gate's half-width in samples around the echo's peak
    int stage = kLastStage;
    double wantedPd = 0.9;         // the summary's Pd (SNR needed for it)
    bool operator==(const DetectionSetup&) const = default;
};

// The sweep's measures, as the command line and the table name them:
// energy, db_probe (the ledger), peak, peak_time, width_3db, psl_db, isl_db
// (the pulse-compression measures), snr_out_db, pd.
const std::vector<std::string>& SweepMeasureNames();
// "energy, db_probe, ...": the names for a message.
std::string NameList(const std::vector<std::string>& names);
// The parameters a sweep may take: every --set name.
std::vector<std::string> SweepParameterNames();

// "a;b;c" into its items, blanks around each dropped. An empty item (or an
// empty text) is refused: "пустое значение в списке '...'".
std::vector<std::string> SplitValues(const std::string& text, char separator = ';');

// The measures named, checked: an unknown name is refused with the list of
// valid ones; a name given twice counts once; none at all is refused.
std::vector<std::string> ParseMeasures(const std::string& text);

// The texts of a sweep's values of the parameter `key`, each as its field
// takes it, with the number each stands for on the chart's axis:
//  - the list, as typed;
//  - a range: `count` points from `from` to `to`, evenly spaced, or on a
//    logarithmic scale (both ends > 0); a whole-numbered parameter (an item
//    number, a spin value) takes the nearest whole values, each once; a
//    list choice (KofDiscret) takes its items that lie between the ends.
// Every text is tried on the parameter set first: a text its control
// refuses is refused here with the control's message, naming the value.
struct SweepValue {
    std::string text;
    long double x = 0;
};
std::vector<SweepValue> SweepValues(const ParameterKey& key, const SweepSetup& setup, const ModelParameters& params);
std::vector<SweepValue> CurveValues(const ParameterKey& key, const std::string& list, const ModelParameters& params);
// A value as the chart and the legend show it: the number, and for an item
// kind with names (Signal, Antenna, Grunt) the item's name.
std::string ValueLabel(const ParameterKey& key, const std::string& text);
// The item names of a parameter that is a numbered choice, or null.
const std::vector<std::string>* ItemNames(const ParameterKey& key);

// The parameter set with one value applied as the scenario reads it: an
// item or spin value out of its range, or a text its control refuses, is
// refused with "NAME=TEXT: reason".
void ApplySweepValue(const ParameterKey& key, ModelParameters& params, const std::string& text);

// Checks a detection set-up's lists and numbers (the SNR and Pfa lists, the
// levels, the trial count against the record of N columns when N > 0);
// throws SonavirError naming the field.
struct DetectionLists {
    std::vector<long double> snrDb, pfa, rocSnrDb, levels;
};
DetectionLists ParseDetectionLists(const DetectionSetup& setup);

}  // namespace sonavir
