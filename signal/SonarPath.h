#pragma once
// The water, seabed and sphere of the echo path at the levels of the active
// sonar equation, with the calling convention of the other channel models
// (Apply = false writes K, Apply = true multiplies the spectrum by it).
//
// The water and the seabed are real gains, with no phase: the record's time
// gate follows the travel time itself (model/SonarLevels.h), so nothing has to
// move in the record. Column 0 packs the zero-frequency value (row 0) and the
// Nyquist value (row 1); each is scaled by its own gain.

#include "signal/ModelParams.h"
#include "signal/WinFFT.h"

namespace sonavir {

// One way through `range` m of water: spherical spreading from 1 m,
// 20 lg(R / 1 m) dB, and absorption alpha R, the amplitude factor
// 10^(-alpha R / 20), alpha in dB/km. alpha[k] belongs to column k (k = 0 ..
// N-1, column 0 to the zero frequency), alphaNyquist to the Nyquist value.
// A range of 0 fails with "Floating point division by zero".
void SpreadingAndAbsorption(bool apply, TSignalData& data, int N, const double* alpha, long double alphaNyquist,
                            long double range);

// The seabed layer's amplitude factor 10^(-k h f^n / 20), f in kHz, with the
// coefficient, thickness and order of the parameter set.
void SeabedLoss(bool apply, TSignalData& data, int N, const TModelParams& p);

// The rigid sphere's echo at 1 m from its centre for the incident wave at 1 m:
// column k times (a / 2) f(ka) (signal/SphereScattering.h), 0 at column 0.
// With Apply it takes a scratch buffer of the record's size.
void RigidSphereEcho(bool apply, TSignalData& data, int N, long double Dt, long double radius, long double c);
// Multiplies the spectrum by the real gains that SpreadingAndAbsorption or
// SeabedLoss wrote before (kept for the next stage or run), with the same
// products as their Apply.
void ApplyRealGains(TSignalData& data, int N, const TSignalData& gains);
// Multiplies the spectrum by a factor worked out before (the sphere's, kept
// for the next run): columns 1 .. N-1 complex, column 0's two values each by
// the factor's own.
void ApplyColumnFactor(TSignalData& data, int N, const TSignalData& factor);

}  // namespace sonavir
