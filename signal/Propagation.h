#pragma once
// Water, seabed layer and sphere target models, with the calling convention of
// the antenna models (Apply = false writes K, Apply = true multiplies by K).

#include "signal/ModelParams.h"
#include "signal/WinFFT.h"

namespace sonavir {

// exp(exponent * ln base). Base 0 fails with "Floating point division by zero",
// a negative base with "Invalid floating point operation", an infinite result
// with "Floating point overflow"; underflow gives 0 quietly.
long double Power(long double base, long double exponent);

void WaterMedium(bool apply, TSignalData& data, int N, const TModelParams& p);
void SeabedLayer(bool apply, TSignalData& data, int N, const TModelParams& p);
void SphereTarget(bool apply, TSignalData& data, int N, const TModelParams& p);

}  // namespace sonavir
