// The narrowband ambiguity map of 256 Doppler rows, every sample of delay,
// beside its yardstick: 256 pairs of the complex transform of 2N points (one
// forward, one inverse) on one thread, the least any map of that many rows
// costs. The map runs its rows on WorkThreads() threads, so on a machine of
// two cores a ratio below 1 is possible.
//
// "AmbiguityStudy" is the whole of what the window and `sonavir ambiguity`
// do for the same rows: the probe and its Hamming-weighted reference, the map
// (held to 2049 columns), the measures and the target's row (V = 10 m/s), and
// the picture's levels in dB, against the same yardstick.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/BenchRatio.h"
#include "model/AmbiguityStudy.h"
#include "signal/Ambiguity.h"
#include "signal/Generators.h"

namespace {

using namespace sonavir;

constexpr int kRows = 256;

// The default LFM sweep filling half the record (the longest pulse of N).
void OursMap(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0)), M = N / 2;
    const TModelParams p;
    TSignalData probe;
    AllocateSignal(probe, N);
    LfmPulse(probe, N, M, p);
    const Ambiguity af(probe, probe, N, M, p.Dt);
    AmbiguityGrid grid;
    grid.rows = kRows;
    grid.maxDoppler = 2 * p.FD;
    for (auto _ : state) {
        const AmbiguityMap map = af.Map(grid);
        benchmark::DoNotOptimize(map.values.data());
    }
}

void TransformPairs(benchmark::State& state)
{
    const int L = 2 * static_cast<int>(state.range(0));
    std::vector<double> re(L), im(L);
    for (auto _ : state) {
        for (int row = 0; row < kRows; ++row) {
            for (int i = 0; i < L; ++i) re[i] = im[i] = (i % 7) - 3;
            ComplexFFT(re.data(), im.data(), L, 1);
            ComplexFFT(re.data(), im.data(), L, -1);
        }
        benchmark::DoNotOptimize(re.data());
    }
}

// The default LFM sweep stretched to fill half a record of N columns.
void OursStudy(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    ModelParameters params;
    params.SetWindowItem(1);
    params.SetVText("10");
    AmbiguityRequest q = AmbiguityRequest::Of(params);
    q.p.Tc = N * q.p.Dt;
    q.dopplerPoints = kRows;
    for (auto _ : state) {
        RunControl control;
        const AmbiguityResult r = ComputeAmbiguity(q, control);
        if (!r.Done() || r.N != N) state.SkipWithError("no map of that size");
        const AmbiguityPlotData d = PlotDataOf(r);
        benchmark::DoNotOptimize(d.db.data());
    }
}

const bool registered = [] {
    for (int n : {12, 14, 16}) {
        auto pair = bench::RegisterRatioPair("AmbiguityMap", OursMap, TransformPairs);
        auto study = bench::RegisterRatioPair("AmbiguityStudy", OursStudy, TransformPairs);
        for (auto b : {pair.first, pair.second, study.first, study.second}) {
            b->Arg(1 << n)->UseRealTime()->Unit(benchmark::kMillisecond);
            if (n >= 16) b->Iterations(3);
            else b->MinTime(0.2);
        }
    }
    return true;
}();

}  // namespace
