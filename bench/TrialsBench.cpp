// The detection trials (noise, transform, matched filter, envelope, gate and
// cell counts) beside one forward + inverse transform pair of the same N per
// trial, measured in the same process. An iteration is a batch of trials on
// one thread or on two (WorkThreads); items per second are trials per second.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

#include "bench/BenchRatio.h"
#include "signal/MatchedFilter.h"
#include "signal/Threads.h"
#include "signal/Trials.h"

namespace {

using namespace sonavir;
using Clock = std::chrono::steady_clock;

constexpr long long kBatch = 256;

// A tone burst of 128 samples, its matched filter and an echo of it.
struct Scene {
    explicit Scene(int N)
    {
        AllocateSignal(echo, N);
        for (int m = 0; m < 128; ++m) echo[m % 2][m / 2] = std::sin(0.9 * m);
        FFT(echo, N, +1);
        AllocateSignal(filter, N);
        BuildMatchedFilter(echo, N, 1e-4L, filter);
    }
    TSignalData echo, filter;
};

void Trials(benchmark::State& state, int threads)
{
    const int N = static_cast<int>(state.range(0));
    const Scene scene(N);
    const TrialSetup setup{N, &scene.filter, &scene.echo, 1, N - 8, N + 8, {10, 20}, kBatch, 1u};
    SetWorkThreads(threads);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(RunTrials(setup));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    SetWorkThreads(0);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void TransformPairs(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    Scene scene(N);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (long long i = 0; i < kBatch; ++i) {
            FFT(scene.echo, N, -1);
            FFT(scene.echo, N, +1);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(scene.echo[0].data());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

const bool registered = [] {
    for (int threads : {1, 2}) {
        auto pair = bench::RegisterRatioPair(
            threads == 1 ? "Trials/one thread" : "Trials/two threads",
            [threads](benchmark::State& s) { Trials(s, threads); }, TransformPairs);
        for (auto b : {pair.first, pair.second})
            b->Arg(1 << 12)->Arg(1 << 16)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
    }
    return true;
}();

}  // namespace
