#pragma once
// The energy ledger of the echo path: for each stage, from the emitted probe
// (0) to the echo received by the antenna (7), the energy of the waveform
// after that stage, its level against the probe and against the stage before,
// and its peak. It follows the parameters, the signal kind, the gates and the
// depth attenuation as a run does; noise, the matched filter and the
// normalisation are not stages of the channel and stay out.

#include <array>
#include <optional>
#include <string>

#include "model/MainState.h"

namespace sonavir {

struct LedgerRow {
    long double energy = 0;              // sum of squares of the 2N samples
    std::optional<long double> dbProbe;  // 10 lg(energy / probe's), none for a zero energy
    std::optional<long double> dbStep;   // 10 lg(energy / previous stage's); 0 at stage 0
    long double peak = 0;                // largest |x[m]|
    long double peakTime = 0;            // m Dt of the first sample with that value (the gate's time
                                         // added in the sonar-equation mode)
};

struct Ledger {
    int N = 0;             // the run's size: 2N samples per waveform
    long double Dt = 0;    // sample step, s
    std::array<LedgerRow, kLastStage + 1> rows;
};

// In one pass along the path: one transform of the probe, each gated stage's
// response applied in turn, energies from the spectrum, one inverse transform
// per stage for its peak. Two buffers of the run's size.
Ledger ComputeLedger(const RunRequest& request);
// The ledger of the situation the program is in (the state is only read).
Ledger ComputeLedger(const MainState& state);

// "stage,energy,db_probe,db_step,peak,peak_time" and one line per stage.
std::string LedgerCsv(const Ledger& ledger);

}  // namespace sonavir
