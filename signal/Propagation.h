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

// The absorption the water model is built on (Schulkin and Marsh's form: a
// magnesium sulphate relaxation at fT(T) and the fresh water's f^2 term, times
// the static pressure's factor), alpha in dB/km with f in kHz. WaterMedium
// applies it as the amplitude factor 10^(-alpha R / 10) over R km. Fails, as
// the model does, for a temperature of -273 degrees C.
struct WaterAbsorption {
    explicit WaterAbsorption(const TModelParams& p);
    // dB/km at `frequency` Hz.
    long double operator()(long double frequency) const;
    // alpha of the N columns of a spectrum of 2N samples at step Dt (column k
    // at k / (2 N Dt) Hz) into alpha[0 .. N); split across the cores.
    void Columns(int N, long double Dt, double* alpha) const;

    long double fT;      // the relaxation frequency, kHz
    long double Pf;      // the pressure factor
    long double salt;    // S 0.0203 fT
    long double fT2;     // fT^2
    long double freshK;  // 0.0293 / fT
};
void SeabedLayer(bool apply, TSignalData& data, int N, const TModelParams& p);
void SphereTarget(bool apply, TSignalData& data, int N, const TModelParams& p);

}  // namespace sonavir
