// Drawing both plots of a large run, against a plain pass over the same
// buffer (its peak and energy) as the yardstick.
#include <benchmark/benchmark.h>

#include <random>

#include "display/Plotter.h"

namespace sonavir {
namespace {

const TSignalData& BenchBuffer(int N)
{
    static TSignalData data;
    static int size = 0;
    if (size != N) {
        AllocateSignal(data, N);
        std::mt19937 rng(5);
        std::normal_distribution<double> noise(0.0, 1.0);
        for (auto& row : data)
            for (double& v : row) v = noise(rng);
        size = N;
    }
    return data;
}

PlotAxes Axes()
{
    PlotAxes axes;
    axes.Dt = 1.0L / 49392;
    axes.Fmax = 12348;
    axes.KofDiscret = 4;
    return axes;
}

void BM_PlotBoth(benchmark::State& state)
{
    const int N = int(state.range(0));
    const TSignalData& data = BenchBuffer(N);
    Picture picture;
    const PictureSettings settings;
    for (auto _ : state) {
        picture.Fill(settings.PlotBackColor);
        DrawTimePlot(picture, settings, Axes(), data, N, "S(t)");
        DrawSpectrumPlot(picture, settings, Axes(), data, N, "|S(jw)|");
        benchmark::DoNotOptimize(picture.Surface().constBits());
    }
    state.SetItemsProcessed(state.iterations() * 3LL * N);
}

void BM_PlotYardstickPeakEnergy(benchmark::State& state)
{
    const int N = int(state.range(0));
    const TSignalData& data = BenchBuffer(N);
    for (auto _ : state) {
        benchmark::DoNotOptimize(PeakValue(data, N, 1));
        benchmark::DoNotOptimize(BufferEnergy(data, N));
    }
    state.SetItemsProcessed(state.iterations() * 2LL * N);
}

BENCHMARK(BM_PlotBoth)->Name("Plots/ours")->Arg(1 << 16)->Arg(1 << 24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotYardstickPeakEnergy)->Name("Plots/ref")->Arg(1 << 16)->Arg(1 << 24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sonavir
