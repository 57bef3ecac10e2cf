// The transform beside FFTW's real-to-complex and complex-to-real transforms
// of the same 2N samples (FFTW_ESTIMATE, planned outside the timed loop).
// Each iteration restores the input untimed and times one transform alone:
// ours works in place, and FFTW's complex-to-real one destroys its input.
// FFT/threads sets two threads against one; FFTBits checks, bit for bit,
// that every output is still what the transform before any retuning gave
// (bench/LegacyFft.cpp), and fails when one is not.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchRatio.h"
#include "bench/LegacyFft.h"
#include "signal/Threads.h"
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

// One forward and one inverse transform on `threads` threads. Both sides of
// the pair work in the same buffers: on this machine a transform of fresh
// memory can take twice as long as one of memory used before, which would
// say more about the pages than about the threads.
void OursPair(benchmark::State& state, int threads)
{
    const int N = static_cast<int>(state.range(0));
    static std::map<int, std::pair<TSignalData, TSignalData>> buffers;
    auto [slot, fresh] = buffers.try_emplace(N);
    if (fresh) {
        slot->second.first = Interleaved(RandomSamples(N), N);
        AllocateSignal(slot->second.second, N);
    }
    const TSignalData& original = slot->second.first;
    TSignalData& d = slot->second.second;
    SetWorkThreads(threads);
    for (auto _ : state) {
        std::copy(original[0].begin(), original[0].end(), d[0].begin());
        std::copy(original[1].begin(), original[1].end(), d[1].begin());
        TimeOne(state, [&] {
            FFT(d, N, 1);
            FFT(d, N, -1);
        });
        benchmark::DoNotOptimize(d[0].data());
    }
    SetWorkThreads(0);
}

// Inputs for the bit checks: plain values in (-1, 1), or values whose
// exponents span the whole range down to the subnormals (and to zero), so
// that the exact-looking steps (the power-of-two scaling, the sign changes)
// show any rounding they might pick up.
void FillInput(std::vector<double>& v, std::mt19937_64& gen, bool wide)
{
    std::uniform_real_distribution<double> u(-1, 1);
    std::uniform_int_distribution<int> e(-1100, 60);
    for (double& x : v) x = wide ? std::ldexp(u(gen), e(gen)) : u(gen);
}

// What a transform left behind: its failure text, and the buffer when it did
// not fail (a failed transform's buffer is discarded by every caller).
std::string Outcome(const std::function<void()>& transform)
{
    try {
        transform();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Both transforms in both directions, on one, two and three threads, against
// the legacy copy. A third of the inputs for the inverse sit near the top of
// the double range, so that the failure (an overflow) is compared as well.
void CheckBits(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    const std::size_t n = static_cast<std::size_t>(N);
    std::mt19937_64 gen(static_cast<std::uint64_t>(N) * 7919);
    const int inputs = N <= 1 << 12 ? 6 : N <= 1 << 20 ? 3 : 1;
    const std::vector<int> threads = N <= 1 << 20 ? std::vector<int>{1, 2, 3} : std::vector<int>{1, 2};
    std::string fault;
    for (auto _ : state) {
        for (int input = 0; input < inputs && fault.empty(); ++input) {
            std::vector<double> re(n), im(n);
            // Large sizes take one input each, plain and wide by turns.
            const int kind = inputs == 1 ? std::countr_zero(n) % 2 : input % 3;
            FillInput(re, gen, kind == 1);
            FillInput(im, gen, kind == 1);
            for (int which = 0; which < 4 && fault.empty(); ++which) {
                const bool complex = which >= 2;
                const std::int8_t dir = which % 2 ? -1 : 1;
                std::vector<double> r = re, i = im;
                if (kind == 2 && dir == -1)
                    for (std::size_t k = 0; k < n; ++k) r[k] *= 0x1p1020, i[k] *= 0x1p1020;
                auto run = [&](bool legacy, TSignalData& d) {
                    return Outcome([&] {
                        if (complex)
                            (legacy ? legacy::ComplexFFT : ComplexFFT)(d[0].data(), d[1].data(), N, dir);
                        else
                            (legacy ? legacy::FFT : FFT)(d, N, dir);
                    });
                };
                TSignalData want{r, i};
                const std::string wantFault = run(true, want);
                for (int t : threads) {
                    SetWorkThreads(t);
                    TSignalData got{r, i};
                    const std::string gotFault = run(false, got);
                    if (fault.empty() && (gotFault != wantFault ||
                                          (wantFault.empty() &&
                                           !(SameBits(got[0], want[0]) && SameBits(got[1], want[1])))))
                        fault = std::string(complex ? "ComplexFFT" : "FFT") + (dir == 1 ? " +1" : " -1") +
                                " on " + std::to_string(t) + " threads differs from the legacy bits (input " +
                                std::to_string(input) + ")";
                }
                SetWorkThreads(0);
            }
        }
    }
    if (!fault.empty()) state.SkipWithError(fault.c_str());
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
    for (int N : {1 << 20, 1 << 24}) {
        auto pair = bench::RegisterRatioPair(
            "FFT/threads", [](benchmark::State& s) { OursPair(s, 2); },
            [](benchmark::State& s) { OursPair(s, 1); });
        for (auto b : {pair.first, pair.second})
            b->Arg(N)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(N >= 1 << 24 ? 3 : 10);
    }
    for (int n = 0; n <= 24; ++n)
        benchmark::RegisterBenchmark("FFTBits", CheckBits)->Arg(1 << n)->Iterations(1)->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
