// The detection study as the window runs it (the scene, the noise-only
// trials with the thresholds of three Pfa and the ROC grid, the echo trials
// of one SNR) beside one forward + inverse transform pair of the same N per
// trial. Items per second are trials per second.

#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/BenchRatio.h"
#include "display/Picture.h"
#include "evaluation/DetectionStudy.h"
#include "signal/Threads.h"

namespace {

using namespace sonavir;
using Clock = std::chrono::steady_clock;

constexpr long long kTrials = 1024;

// A 0,06 s LFM pulse at four samples a period: records of N = 2^12 columns.
DetectionRequest Request()
{
    ModelParameters params;
    params.SetTcText("0,06");
    PictureSettings settings;
    Picture picture;
    MainState main(params, settings, picture);
    main.detection.snrDb = "13";
    main.detection.rocSnrDb = "13";
    main.detection.trials = kTrials;
    main.detection.seeded = true;
    return DetectionRequest::Of(main);
}

void Study(benchmark::State& state, int threads)
{
    const DetectionRequest q = Request();
    SetWorkThreads(threads);
    for (auto _ : state) {
        const auto t0 = Clock::now();
        RunControl control;
        const DetectionResult r = RunDetection(q, control);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (!r.Done()) state.SkipWithError("the study failed");
    }
    SetWorkThreads(0);
    state.SetItemsProcessed(state.iterations() * 2 * kTrials);
}

void TransformPairs(benchmark::State& state)
{
    const int N = 1 << 12;
    TSignalData x;
    AllocateSignal(x, N);
    for (int i = 0; i < N; ++i) x[0][i] = x[1][i] = (i % 7) - 3;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (long long i = 0; i < 2 * kTrials; ++i) {
            FFT(x, N, -1);
            FFT(x, N, +1);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(x[0].data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * kTrials);
}

const bool registered = [] {
    for (int threads : {1, 2}) {
        auto pair = bench::RegisterRatioPair(
            threads == 1 ? "Detection study/one thread" : "Detection study/two threads",
            [threads](benchmark::State& s) { Study(s, threads); }, TransformPairs);
        for (auto b : {pair.first, pair.second}) b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);
    }
    return true;
}();

}  // namespace
