// The probe generators beside the plain formula: one extended-precision
// cosine per sample, written in the same layout.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "bench/BenchRatio.h"
#include "signal/Generators.h"

namespace {

using namespace sonavir;

void OursLfm(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    const TModelParams p;
    TSignalData d;
    AllocateSignal(d, N);
    for (auto _ : state) {
        LfmPulse(d, N, N / 2, p);
        benchmark::DoNotOptimize(d[0].data());
    }
}

void DirectLfm(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    const int M = N / 2;
    const TModelParams p;
    TSignalData d;
    AllocateSignal(d, N);
    const long double twoPiFd = 2 * std::numbers::pi_v<long double> * p.FD;
    for (auto _ : state) {
        for (long long m = 0; m < 2LL * N; ++m) {
            const long double j = m - M;
            const long double x = m < 2LL * M ? std::cos((j * p.Dt) * (j * p.Dt) * twoPiFd / p.Tc + j * p.W0 * p.Dt) : 0;
            d[m % 2][m / 2] = static_cast<double>(x);
        }
        benchmark::DoNotOptimize(d[0].data());
    }
}

const bool registered = [] {
    for (int n : {16, 20, 22}) {
        auto pair = bench::RegisterRatioPair("Generators/lfm", OursLfm, DirectLfm);
        for (auto b : {pair.first, pair.second}) {
            b->Arg(1 << n)->UseRealTime()->Unit(benchmark::kMillisecond);
            if (n >= 20) b->Iterations(n >= 22 ? 1 : 3);
            else b->MinTime(0.1);
        }
    }
    return true;
}();

}  // namespace
