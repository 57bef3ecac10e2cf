#pragma once
// The sample buffer and the sizing rules of a run.
//
// A buffer has two rows of N doubles (N a power of two). Waveform layout:
// sample m of the 2N real samples lives in row m % 2, column m / 2. Spectrum
// layout: column k holds one complex value (row 0 real, row 1 imaginary);
// column 0 holds the zero-frequency value in row 0 and the Nyquist value,
// negated, in row 1 (signal/WinFFT.h transforms between the two).

#include <array>
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

// The scans below see a stop every few thousand values; the peaks and the
// energy keep to one thread so that their results keep their order.
//
// The largest complex modulus of the N columns of a spectrum, in extended
// precision.
long double ColumnPeak(const TSignalData& data, int N);
// The largest |value| of the 2N samples of a waveform (exact: no rounding),
// and, with SamplePeakAt, the first sample m that has it.
long double SamplePeak(const TSignalData& data, int N);
long double SamplePeakAt(const TSignalData& data, int N, long long& at);
// Sum of squares of both rows, row 0 first, in extended precision.
long double BufferEnergy(const TSignalData& data, int N);
// Multiplies each of the 2N values, in waveform order, by factor. A product
// beyond the range of a double fails with "Floating point overflow".
void ScaleBuffer(TSignalData& data, int N, long double factor);

}  // namespace sonavir
