// Drawing both plots of a large run, against a plain pass over the same
// buffer (its peak and energy) as the yardstick.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

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

// The labels need fonts, and fonts need an application object.
void EnsureGuiApplication()
{
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "sonavir_bench";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

void BM_PlotBoth(benchmark::State& state)
{
    EnsureGuiApplication();
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
