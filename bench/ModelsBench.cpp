// The per-column frequency models and the noise generator, each beside its
// yardstick: the same result computed column by column from the plain formula
// (a power, a cosine and a sine per column, into a scratch response, or the
// noise drawn sample by sample in extended precision). The forward transform
// of the same N is timed beside them for scale.

#include <benchmark/benchmark.h>

#include "signal/Antenna.h"
#include "signal/Noise.h"
#include "signal/Propagation.h"
#include "tests/support/DirectModels.h"

namespace {

using namespace sonavir;

void PerColumn(benchmark::State& state, int N)
{
    state.counters["per_column"] = benchmark::Counter(
        N, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One call of `body` on a fresh copy of one buffer each time, the copy untimed.
template <typename Body>
void TimeOnCopy(benchmark::State& state, Body body)
{
    const int N = static_cast<int>(state.range(0));
    const TSignalData original = direct::RandomSpectrum(N, 1);
    TSignalData d = original;
    for (auto _ : state) {
        state.PauseTiming();
        d = original;
        state.ResumeTiming();
        body(d, N);
        benchmark::DoNotOptimize(d[0].data());
    }
    PerColumn(state, N);
}

// Apply = true on the spectrum.
template <typename Model>
void RunModel(benchmark::State& state, Model model)
{
    const TModelParams p;
    TimeOnCopy(state, [&](TSignalData& d, int N) { model(true, d, N, p); });
}

void BM_Narrowband(benchmark::State& s) { RunModel(s, NarrowbandAntenna); }
void BM_NarrowbandDirect(benchmark::State& s) { RunModel(s, direct::Narrowband); }
void BM_Wideband(benchmark::State& s)
{
    RunModel(s, [](bool a, TSignalData& d, int N, const TModelParams& p) { WidebandAntenna(a, d, N, p, "3,14"); });
}
void BM_WidebandDirect(benchmark::State& s)
{
    RunModel(s, [](bool a, TSignalData& d, int N, const TModelParams& p) { direct::Wideband(a, d, N, p, "3,14"); });
}
void BM_Water(benchmark::State& s) { RunModel(s, WaterMedium); }
void BM_WaterDirect(benchmark::State& s) { RunModel(s, direct::Water); }
void BM_Seabed(benchmark::State& s) { RunModel(s, SeabedLayer); }
void BM_SeabedDirect(benchmark::State& s) { RunModel(s, direct::Seabed); }
void BM_Sphere(benchmark::State& s) { RunModel(s, SphereTarget); }
void BM_SphereDirect(benchmark::State& s) { RunModel(s, direct::Sphere); }

void BM_ModelsFFT(benchmark::State& state)
{
    TimeOnCopy(state, [](TSignalData& d, int N) { FFT(d, N, 1); });
}

void BM_Noise(benchmark::State& state)
{
    TimeOnCopy(state, [](TSignalData& d, int N) { AddNormalNoise(d, N, 5, 12345u); });
}

void BM_NoiseDirect(benchmark::State& state)
{
    TimeOnCopy(state, [](TSignalData& d, int N) { direct::AddNoise(d, N, SamplePeak(d, N) / 5, 12345u); });
}

// "<family>/ours" against "<family>/ref": the main of the benchmark program
// prints the ratio of each such pair after the report.
#define MODEL_PAIR(family, ours, ref)                                                              \
    BENCHMARK(ours)->Name(family "/ours")->Arg(1 << 16)->Arg(1 << 22)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK(ref)->Name(family "/ref")->Arg(1 << 16)->Arg(1 << 22)->Unit(benchmark::kMillisecond)->UseRealTime()

MODEL_PAIR("Narrowband", BM_Narrowband, BM_NarrowbandDirect);
MODEL_PAIR("Wideband", BM_Wideband, BM_WidebandDirect);
MODEL_PAIR("Water", BM_Water, BM_WaterDirect);
MODEL_PAIR("Seabed", BM_Seabed, BM_SeabedDirect);
MODEL_PAIR("Sphere", BM_Sphere, BM_SphereDirect);
MODEL_PAIR("Noise", BM_Noise, BM_NoiseDirect);
// The forward transform of the same N, for scale.
BENCHMARK(BM_ModelsFFT)->Arg(1 << 16)->Arg(1 << 22)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
