// The sonar-equation pieces per column beside one transform pair (forward and
// inverse) of the same N, the yardstick a run is measured in: the rigid
// sphere's factor for the default sphere (a = 6 cm, ka up to 6.2 at the
// default sample step), for a 1 m sphere (ka up to 103, where fitting the
// panels dominates), and the sea-water absorption.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/BenchRatio.h"
#include "signal/Absorption.h"
#include "signal/SphereScattering.h"
#include "signal/WinFFT.h"

namespace {

using namespace sonavir;

constexpr long double kDt = 1.0L / 49392;  // the default sample step

void TransformPair(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    TSignalData d;
    AllocateSignal(d, N);
    for (int i = 0; i < N; ++i) {
        d[0][i] = std::sin(0.1 * i);
        d[1][i] = std::cos(0.3 * i);
    }
    // Forward then inverse is the identity: no restoring between rounds.
    for (auto _ : state) {
        FFT(d, N, 1);
        FFT(d, N, -1);
        benchmark::DoNotOptimize(d[0].data());
    }
}

void Sphere(benchmark::State& state, long double a)
{
    const int N = static_cast<int>(state.range(0));
    std::vector<double> re(N), im(N);
    for (auto _ : state) {
        RigidSphereColumns(N, kDt, a, 1500, re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
    }
}

void Absorption(benchmark::State& state)
{
    const int N = static_cast<int>(state.range(0));
    std::vector<double> alpha(N);
    const SeaAbsorption water(23, 35, 0, 8);
    for (auto _ : state) {
        water.Columns(N, kDt, alpha.data());
        benchmark::DoNotOptimize(alpha.data());
    }
}

const bool registered = [] {
    const auto small = [](benchmark::State& s) { Sphere(s, 0.06L); };
    const auto large = [](benchmark::State& s) { Sphere(s, 1); };
    for (int n : {16, 20}) {
        for (auto pair : {bench::RegisterRatioPair("SonarSphere6cmVsTransformPair", small, TransformPair),
                          bench::RegisterRatioPair("SonarSphere1mVsTransformPair", large, TransformPair),
                          bench::RegisterRatioPair("SonarAbsorptionVsTransformPair", Absorption, TransformPair)})
            for (auto b : {pair.first, pair.second}) {
                b->Arg(1 << n)->UseRealTime()->Unit(benchmark::kMillisecond);
                if (n >= 20) b->MinTime(0.5);
                else b->MinTime(0.2);
            }
    }
    return true;
}();

}  // namespace
