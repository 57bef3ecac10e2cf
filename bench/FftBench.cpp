// The transform beside FFTW's real-to-complex and complex-to-real transforms
// of the same 2N samples (FFTW_ESTIMATE, planned outside the timed loop).
// Each iteration restores the input untimed and times one transform alone:
// ours works in place, and FFTW's complex-to-real one destroys its input.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "bench/BenchRatio.h"
#include "signal/WinFFT.h"

namespace {

using namespace sonavir;
using Clock = std::chrono::steady_clock;

std::vector<double> RandomSamples(int N)
{
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> x(2 * static_cast<std::size_t>(N));
    for (double& v : x) v = u(gen);
    return x;
}

// The same samples in our waveform layout.
TSignalData Interleaved(const std::vector<double>& x, int N)
{
    TSignalData d;
    AllocateSignal(d, N);
    for (std::size_t m = 0; m < x.size(); ++m) d[m % 2][m / 2] = x[m];
    return d;
}

template <class F>
void TimeOne(benchmark::State& state, F&& action)
{
    const auto t0 = Clock::now();
    action();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
}

void Ours(benchmark::State& state, std::int8_t direction)
{
    const int N = static_cast<int>(state.range(0));
    TSignalData original = Interleaved(RandomSamples(N), N);
    if (direction == -1) FFT(original, N, 1);
    TSignalData d;
    AllocateSignal(d, N);
    for (auto _ : state) {
        std::copy(original[0].begin(), original[0].end(), d[0].begin());
        std::copy(original[1].begin(), original[1].end(), d[1].begin());
        TimeOne(state, [&] { FFT(d, N, direction); });
        benchmark::DoNotOptimize(d[0].data());
    }
}

void FftwForward(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    const std::vector<double> original = RandomSamples(N);
    double* in = fftw_alloc_real(2 * static_cast<std::size_t>(N));
    fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(N) + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(2 * N, in, out, FFTW_ESTIMATE);
    for (auto _ : state) {
        std::copy(original.begin(), original.end(), in);
        TimeOne(state, [&] { fftw_execute(plan); });
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

void FftwInverse(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    const std::vector<double> samples = RandomSamples(N);
    fftw_complex* in = fftw_alloc_complex(static_cast<std::size_t>(N) + 1);
    double* out = fftw_alloc_real(2 * static_cast<std::size_t>(N));
    fftw_plan plan = fftw_plan_dft_c2r_1d(2 * N, in, out, FFTW_ESTIMATE);
    // A spectrum to start from: the forward transform of the samples.
    std::vector<double> spectrum(2 * (static_cast<std::size_t>(N) + 1));
    {
        double* x = fftw_alloc_real(2 * static_cast<std::size_t>(N));
        std::copy(samples.begin(), samples.end(), x);
        fftw_plan forward = fftw_plan_dft_r2c_1d(2 * N, x, in, FFTW_ESTIMATE);
        fftw_execute(forward);
        fftw_destroy_plan(forward);
        fftw_free(x);
        std::copy(&in[0][0], &in[0][0] + spectrum.size(), spectrum.begin());
    }
    for (auto _ : state) {
        std::copy(spectrum.begin(), spectrum.end(), &in[0][0]);
        TimeOne(state, [&] { fftw_execute(plan); });
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

// Sizes 2^10 .. 2^24 in steps of four. Large sizes get a fixed, small number
// of iterations so that the whole run stays short.
void Configure(bench::BenchHandle b, int N)
{
    b->Arg(N)->UseManualTime()->Unit(N >= 1 << 18 ? benchmark::kMillisecond : benchmark::kMicrosecond);
    if (N >= 1 << 24)
        b->Iterations(2);
    else if (N >= 1 << 20)
        b->Iterations(5);
    else
        b->MinTime(0.1);
}

const bool registered = [] {
    for (int n = 10; n <= 24; n += 2) {
        const int N = 1 << n;
        auto fwd = bench::RegisterRatioPair(
            "FFT/forward", [](benchmark::State& s) { Ours(s, 1); }, FftwForward);
        auto inv = bench::RegisterRatioPair(
            "FFT/inverse", [](benchmark::State& s) { Ours(s, -1); }, FftwInverse);
        for (auto b : {fwd.first, fwd.second, inv.first, inv.second}) Configure(b, N);
    }
    return true;
}();

}  // namespace
