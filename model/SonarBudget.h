#pragma once
// The active sonar equation's budget beside the simulated levels, in the
// sonar-equation level model (model/SonarLevels.h):
//
//   EL = SL - TL_out + TS - TL_back,
//   SNR_in = EL - (NL + 10 lg B - DI),   SNR_out = SNR_in + 10 lg(B T),
//
// B the record's band (its noise's), T the pulse's duration. The equation
// takes every term at F0; the simulation carries the probe through the stages
// as a run does and measures each level as the energy of the waveform over
// the pulse's duration (dB re 1 uPa). The noise terms come from the
// receiver's noise as the run draws it (the same seed, the same draws): its
// measured level, and after the matched filter that level times the filter's
// noise bandwidth (a record a few pulses long holds too few independent
// filtered samples to measure it directly). The output SNR is the mean power
// at the filtered echo's envelope peak over that noise, E/N0 for a matched
// pulse.

#include <optional>
#include <string>
#include <vector>

#include "model/MainState.h"
#include "model/RunEcho.h"

namespace sonavir {

struct BudgetTerm {
    std::string name;   // the CSV's term: SL, TL_out, ... (a part: "TL_out.spreading")
    std::string label;  // the window's text
    long double equation = 0;
    std::optional<long double> simulated;  // none where the simulation has no share of its own
    bool part = false;  // a share of the term above, in the window only
    std::optional<long double> Difference() const;
};

struct SonarBudget {
    std::vector<BudgetTerm> terms;  // in the window's order; the CSV's rows are those not `part`
    long double band = 0;           // B, Hz
    long double duration = 0;       // T, s
    long double probeBand = 0;      // the probe's own band, Hz
    bool narrowband = false;        // the probe's band within 5 % of F0
    std::string note;               // where the differences come from

    const BudgetTerm* Term(const std::string& name) const;
};

inline constexpr const char* kBudgetNeedsSonar =
    "Бюджет уравнения гидролокации есть только в модели уровней «Уравнение гидролокации»";

// Fails with kBudgetNeedsSonar in the teaching levels, otherwise as a run of
// the same request would. Four buffers of the run's size.
SonarBudget ComputeBudget(const RunRequest& request);
SonarBudget ComputeBudget(const MainState& state);

// "term,equation_db,simulated_db,difference_db" and one line per term.
std::string BudgetCsv(const SonarBudget& budget);

}  // namespace sonavir
