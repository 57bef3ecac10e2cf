#pragma once
// Monte-Carlo trials of a threshold detector on the envelope of the matched
// filter's output.
//
// Each trial draws a record of Gaussian noise from the program's own
// generator, adds the deterministic echo in the frequency domain, applies the
// matched filter and takes the envelope of the output (the magnitude of its
// analytic signal), then reads the largest envelope value in a gate around
// the echo's expected peak and counts the cells outside the gate that cross
// the thresholds. Usage:
//
//   TrialSetup s;
//   s.N = N;                      // the record: 2N samples, step Dt
//   s.filter = &filterRef;        // BuildMatchedFilter(probeSpectrum, N, Dt, filterRef)
//   s.echo = &echoSpectrum;       // FFT(+1) of the echo waveform; null: noise alone
//   s.sigma = sigma;              // noise standard deviation per sample
//   s.gateFirst = m0; s.gateLast = m1;   // samples [m0, m1), sample m at time m Dt
//   s.thresholds = {T};           // envelope levels for the cell counts
//   s.trials = K; s.seed = seed;
//   TrialResults r = RunTrials(s);
//   long long hits = CountAbove(r.gateMax, T);      // Pd ~ hits / K
//   ProbabilityInterval pd = WilsonInterval(hits, K);
//   // Pfa per cell: r.cellsAbove[0] / r.cellsOutside, or from a run with
//   // s.echo = nullptr, CountAbove(r.gateMax, T) / K for the gate as a whole.
//   long double sigmaEnv = FilteredNoiseSigma(filterRef, N, sigma);
//   long double T = RayleighThreshold(sigmaEnv, pfa);          // signal/Detection.h
//
// The echo's peak: TrialEnvelope with sigma = 0 gives the noise-free envelope;
// with the filter built from the probe's own spectrum and the echo the probe
// delayed by d samples, the peak lies at sample N + d (mod 2N).
//
// Noise: trial i draws from the generator seeded with TrialSeed(seed, N, i),
// the state 4N i draws after the base seed, so the trials are the consecutive
// records of one run of the generator: reproducible, independent as far as
// the generator is, and never overlapping while K 4N <= 2^32 (MaxTrials).
// The noise is AddNormalNoise's with that seed and the given sigma, to within
// a few units in the last place (the logarithm and cosine are evaluated by
// our own vector code, not the library's; a record that meets the
// generator's zero state takes AddNormalNoise's own path).
//
// The filter's product is ApplyMatchedFilter's, column 0 (the zero frequency
// and the Nyquist value) included, so the filter output is the waveform the
// program itself would give; its envelope is Envelope()'s (zero frequency and
// Nyquist value once, positive frequencies twice, negative ones dropped).
//
// Work: one FFT(+1) of N columns and two complex transforms of N points per
// trial. The trials run side by side on WorkThreads() threads (each trial on
// one thread); trial i's results depend on i alone, so they are the same bits
// whatever the thread count. A stop (RunControl) ends the run within a trial
// with RunStopped; the reporting thread gives the per cent of trials done.

#include <cstdint>
#include <optional>
#include <vector>

#include "signal/WinFFT.h"

namespace sonavir {

struct TrialSetup {
    int N = 0;                             // columns, a power of two
    const TSignalData* filter = nullptr;   // H, spectrum layout, N columns
    const TSignalData* echo = nullptr;     // S, spectrum layout, N columns; null: noise alone
    long double sigma = 0;                 // noise standard deviation per sample, >= 0
    int gateFirst = 0, gateLast = 0;       // the gate, samples [gateFirst, gateLast) of 0 .. 2N
    std::vector<long double> thresholds;   // envelope levels for the cell counts (any order)
    long long trials = 0;                  // K, 1 .. MaxTrials(N)
    std::uint32_t seed = 0;                // base seed
};

struct TrialResults {
    // Per trial: the largest envelope value in the gate, and its sample.
    std::vector<double> gateMax;
    std::vector<int> gateArgMax;
    // Per threshold (the setup's order): the cells outside the gate above it,
    // summed over all trials; and the number of such cells, K (2N - gate).
    std::vector<long long> cellsAbove;
    long long cellsOutside = 0;
    // Noise alone: the Rayleigh parameter measured over every cell of every
    // trial, sqrt(mean |z|^2 / 2). Empty when the trials carry an echo.
    std::optional<long double> sigmaEnvMeasured;
};

// The seed of trial i: the state 4N i draws after `base`.
std::uint32_t TrialSeed(std::uint32_t base, int N, long long i);
// The most trials whose noise records never overlap: 2^32 / (4N).
long long MaxTrials(int N);

// Fails with "Invalid floating point operation" for a setup out of its
// domain (N not a power of two, a buffer shorter than N columns, a negative
// or NaN sigma or threshold, an empty gate or one beyond the record, K
// outside 1 .. MaxTrials(N)), with "Out of memory" when the buffers cannot be
// had, and with the matching message when a product overflows.
TrialResults RunTrials(const TrialSetup& setup);

// The envelope of trial i (0 <= i < MaxTrials(N)) into `envelope`, waveform
// layout, N columns (allocated here): the values RunTrials reads. With sigma
// = 0 it is the echo's noise-free envelope.
void TrialEnvelope(const TrialSetup& setup, long long i, TSignalData& envelope);

// The Rayleigh parameter of the filtered noise's envelope from Parseval:
// sqrt(sigma^2 / (2N) (|H_0|^2 + 2 sum_{k >= 1} |H_k|^2)), |H_0|^2 the sum of
// squares of column 0. Each quadrature of the analytic signal of filtered
// white noise has about this standard deviation (the zero frequency and the
// Nyquist value, which only the real part carries, aside).
long double FilteredNoiseSigma(const TSignalData& filter, int N, long double sigma);

// How many of the values exceed the threshold.
long long CountAbove(const std::vector<double>& values, long double threshold);

}  // namespace sonavir
