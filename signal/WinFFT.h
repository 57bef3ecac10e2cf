#pragma once
// The sample buffer, the sizing rules of a run and the spectral transform.
//
// A buffer has two rows of N doubles (N a power of two). Waveform layout:
// sample m of the 2N real samples lives in row m % 2, column m / 2. Spectrum
// layout: column k holds one complex value (row 0 real, row 1 imaginary),
// S_k = (1/2N) sum x[m] e^{+j pi m k / N}; column 0 holds the zero-frequency
// value in row 0 and the Nyquist value, negated, in row 1.

#include <array>
#include <cstdint>
#include <vector>

namespace sonavir {

using TSignalRow = std::vector<double>;
using TSignalData = std::array<TSignalRow, 2>;

// Largest N a run may ask for: 2 rows x 2^28 doubles are 4 GiB per buffer.
inline constexpr int kMaxSignalSize = 1 << 28;

// Sets both rows to N zeros. Fails with "Out of memory" before allocating
// when N is not in 1 .. kMaxSignalSize or the buffer could not fit in the
// machine's memory, and when the allocation itself fails.
void AllocateSignal(TSignalData& data, int N);
// Gives the memory back (both rows empty).
void ReleaseSignal(TSignalData& data);

// M = Round(Tc / Dt) div 2 with round-half-to-even: the pulse length in sample
// pairs. Dt = 0 fails like a division; a count whose buffers could not exist
// fails with "Out of memory"; a negative count comes back as it is.
int HalfSampleCount(long double Tc, long double Dt);
// N = the smallest power of two that is at least 2M; 1 for M <= 0. Fails with
// "Out of memory" when N would exceed kMaxSignalSize.
int TransformSize(int M);

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

// The scans below see a stop every few thousand values; PeakValue and
// BufferEnergy keep to one thread so that their results keep their order.
//
// Mode 2: largest complex modulus of the N columns. Mode 1: largest |value| of
// both rows (the sample peak of a waveform). Mode 0: row 0 only.
long double PeakValue(const TSignalData& data, int N, std::uint8_t mode);
// Sum of squares of both rows, row 0 first, in extended precision.
long double BufferEnergy(const TSignalData& data, int N);
// Multiplies each of the 2N values, in waveform order, by factor. A product
// beyond the range of a double fails with "Floating point overflow".
void ScaleBuffer(TSignalData& data, int N, long double factor);

}  // namespace sonavir
