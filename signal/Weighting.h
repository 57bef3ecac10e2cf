#pragma once
// Weighting of the matched filter: the filter's reference becomes w(t) s(t),
// which lowers the range sidelobes of the compressed pulse at the price of a
// wider main lobe and a loss of signal-to-noise ratio.
//
// Every window here is a short cosine sum, w = sum_k a_k cos(k theta), taken at
// the midpoints of its L samples: theta_m = 2 pi (m + 1/2) / L, m = 0 .. L-1.
// Sampled that way the window is symmetric about the pulse's centre, it peaks
// at 1 there (the middle of the continuous shape), and its sums equal the
// integrals of the continuous window for any L of more than six samples, so
// the loss below does not drift with the pulse length.
//
// To weight a run's filter: generate the probe, copy it, ApplyWindow() on the
// copy, FFT(+1) the copy and BuildMatchedFilter() from it. The same weighted
// copy is the reference r of the ambiguity function (signal/Ambiguity.h).

#include <vector>

#include "signal/WinFFT.h"

namespace sonavir {

// In the order of a choice list: item i is WindowKind(i).
enum class WindowKind : int { None = 0, Hamming = 1, Hann = 2, Blackman = 3, Taylor = 4 };
inline constexpr int kWindowKinds = 5;

// The Taylor window's design: nbar - 1 sidelobes held near the level.
inline constexpr int kTaylorNbar = 4;
inline constexpr long double kTaylorSidelobeDb = -35;

// The list item as a window; an item outside 0 .. 4 is an invalid operation.
WindowKind WindowFromItem(int item);

// The L samples of the window (L >= 0).
std::vector<double> WindowSamples(WindowKind kind, long long L);

// Multiplies samples 0 .. 2M-1 of a waveform buffer (N columns, 2N samples;
// the generators' pulse) by the window of L = 2M samples; the rest of the
// record is left as it is. M is held to 0 .. N. None leaves the buffer as it
// is, bit for bit.
void ApplyWindow(TSignalData& wave, int N, int M, WindowKind kind);

// The loss of signal-to-noise ratio that weighting a constant-envelope pulse
// of L samples costs against the matched filter, in dB (0 or negative):
// 10 lg((sum w)^2 / (L sum w^2)), from the samples themselves. For long
// pulses: Hamming -1.34, Hann -1.76, Blackman -2.37, Taylor (4, -35 dB)
// -0.91. L = 0 fails like a division by zero.
long double WeightingLossDb(WindowKind kind, long long L);

}  // namespace sonavir
