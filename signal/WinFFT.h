#pragma once
// The spectral transform of the sample buffer (signal/SampleBuffer.h).
//
// A buffer has two rows of N doubles (N a power of two). Waveform layout:
// sample m of the 2N real samples lives in row m % 2, column m / 2. Spectrum
// layout: column k holds one complex value (row 0 real, row 1 imaginary),
// S_k = (1/2N) sum x[m] e^{+j pi m k / N}; column 0 holds the zero-frequency
// value in row 0 and the Nyquist value, negated, in row 1.

#include <cstdint>

#include "signal/SampleBuffer.h"

namespace sonavir {

// In-place transform. Direction +1: waveform in, spectrum out (1/2N scaling
// folded in). Direction -1: spectrum in, waveform out, unscaled. Any power of
// two N from 1 to kMaxSignalSize. Returns true; a result beyond the range of a
// double fails with "Floating point overflow" (caller's flags are kept).
//
// From 2^18 columns the passes over the buffer are shared among WorkThreads()
// threads (a system that refuses a thread leaves its share to the others) and
// a stop (RunControl) ends the transform within a fraction of a millisecond,
// leaving the buffer to be discarded; the reporting thread's step moves on
// with the passes. Every output bit is the same for any number of threads,
// and the same as the transform has always given: the speed comes from the
// order of the work, never from other arithmetic.
bool FFT(TSignalData& data, int N, std::int8_t direction);

// The plain complex transform of N points (any power of two from 1 to
// kMaxSignalSize) in two arrays, in place and unscaled. Direction +1:
// X_k = sum x_n e^{-2 pi j k n / N}; direction -1: x_n = sum X_k e^{+2 pi j k n / N}
// (so a pair multiplies by N). For the work that needs complex signals of its
// own (analytic signals, Doppler rows, resampling). Fails, shares its work
// and stops like FFT.
void ComplexFFT(double* re, double* im, int N, std::int8_t direction);

}  // namespace sonavir
