// Drawing both plots of a large run, whole or zoomed, and the readout under
// the cursor, against a plain pass over the same buffer (its peak and
// energy) as the yardstick; the dB view against the linear plots and one
// transform.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>

#include "display/Plotter.h"
#include "model/MainState.h"
#include "model/PlotReadout.h"
#include "signal/Envelope.h"

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

void PeakEnergyPass(benchmark::State& state, int N)
{
    const TSignalData& data = BenchBuffer(N);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SamplePeak(data, N));
        benchmark::DoNotOptimize(BufferEnergy(data, N));
    }
    state.SetItemsProcessed(state.iterations() * 2LL * N);
}

void BM_PlotYardstickPeakEnergy(benchmark::State& state) { PeakEnergyPass(state, int(state.range(0))); }

BENCHMARK(BM_PlotBoth)->Name("Plots/ours")->Arg(1 << 16)->Arg(1 << 24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotYardstickPeakEnergy)->Name("Plots/ref")->Arg(1 << 16)->Arg(1 << 24)->Unit(benchmark::kMillisecond);

// Both plots zoomed, as a zoom or a resize under one redraws them: spans of
// 64 samples, of three samples per pixel column, of most of the record.
constexpr int kLargeN = 1 << 24;

void PlotBothZoomed(benchmark::State& state, PlotSpan wave, PlotSpan spectrum)
{
    const TSignalData& data = BenchBuffer(kLargeN);
    Picture picture;
    const PictureSettings settings;
    for (auto _ : state) {
        picture.Fill(settings.PlotBackColor);
        DrawTimePlot(picture, settings, Axes(), data, kLargeN, "S(t)", wave);
        DrawSpectrumPlot(picture, settings, Axes(), data, kLargeN, "|S(jw)|", spectrum);
        benchmark::DoNotOptimize(picture.Surface().constBits());
    }
}

// The kept plots of a real run of N = 2^24 (the water model's view: its two
// plots without the signal's many transforms), made once.
struct LargeShownRun {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
    LargeShownRun()
    {
        params.SetFDText("6024");
        params.SetTcText("8");
        params.SetKofDiscretItem(4);  // "64"
        state.SelectModel(2);
        state.Start();
    }
};

LargeShownRun& LargeRun()
{
    static const std::unique_ptr<LargeShownRun> run = std::make_unique<LargeShownRun>();
    return *run;
}

// One mouse move each iteration, sweeping over both plots and off them.
void Readout(benchmark::State& state, bool cold)
{
    LargeShownRun& run = LargeRun();
    if (!run.state.PlotsOnPicture() || run.state.Shown()->N != kLargeN) {
        state.SkipWithError("the large run kept no plots");
        return;
    }
    PlotReadout readout;
    readout.Peak(run.state);
    int i = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            readout = PlotReadout();
            state.ResumeTiming();
        }
        const int x = 40 + (i * 37) % 740, y = (i * 53) % 484;
        benchmark::DoNotOptimize(readout.At(run.state, x, y));
        ++i;
    }
}

const bool registered = [] {
    const PlotSpan spans[][2] = {{{kLargeN + 11, 64}, {kLargeN / 2 + 5, 64}},
                                 {{kLargeN / 2 + 3, 3 * 710}, {kLargeN / 4 + 1, 3 * 710}},
                                 {{1 << 20, 2 * kLargeN - (1 << 21)}, {1 << 19, kLargeN - (1 << 20)}}};
    const char* names[] = {"zoom-64", "zoom-3-per-column", "zoom-most"};
    const std::string args = "/" + std::to_string(kLargeN) + "/";
    for (int i = 0; i < 3; ++i) {
        const PlotSpan wave = spans[i][0], spectrum = spans[i][1];
        benchmark::RegisterBenchmark(("Plots/ours" + args + names[i]).c_str(),
                                     [wave, spectrum](benchmark::State& st) { PlotBothZoomed(st, wave, spectrum); })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark(("Plots/ours" + args + "readout").c_str(),
                                 [](benchmark::State& st) { Readout(st, false); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Plots/ours" + args + "readout-first").c_str(),
                                 [](benchmark::State& st) { Readout(st, true); })
        ->Iterations(8)
        ->Unit(benchmark::kMillisecond);
    // The family's yardstick again under each name, so each pairs up.
    for (const char* name : {"zoom-64", "zoom-3-per-column", "zoom-most", "readout", "readout-first"})
        benchmark::RegisterBenchmark(("Plots/ref" + args + name).c_str(),
                                     [](benchmark::State& st) { PeakEnergyPass(st, kLargeN); })
            ->Unit(benchmark::kMillisecond);
    return true;
}();

// The dB view of both plots at N = 2^24 as a run draws it: the waveform's
// envelope from the spectrum the run holds (one transform) and the two plots
// drawn in dB, and the same with the pulse-compression measures of that
// envelope, against both linear plots and one transform of the same N.
// Manual time, so that refilling the transform's buffer stays out of the
// yardstick. (The buffer serves as waveform and as spectrum alike.)
template <typename Work>
void TimedIteration(benchmark::State& state, Work work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

void DbPlots(benchmark::State& state, bool measures)
{
    const TSignalData& data = BenchBuffer(kLargeN);
    Picture picture;
    PictureSettings settings;
    settings.SetDb(true);
    TSignalData envelope;
    for (auto _ : state) {
        TimedIteration(state, [&] {
            picture.Fill(settings.PlotBackColor);
            EnvelopeFromSpectrum(data, data, kLargeN, envelope);
            PlotExtras extras;
            extras.envelope = &envelope;
            DrawTimePlot(picture, settings, Axes(), data, kLargeN, "S(t)", {}, extras);
            DrawSpectrumPlot(picture, settings, Axes(), data, kLargeN, "|S(jw)|");
            if (measures) benchmark::DoNotOptimize(MeasureEnvelope(envelope, kLargeN, Axes().Dt).peak);
        });
        benchmark::DoNotOptimize(picture.Surface().constBits());
    }
}

void LinearPlotsAndTransform(benchmark::State& state)
{
    const TSignalData& data = BenchBuffer(kLargeN);
    Picture picture;
    const PictureSettings settings;
    TSignalData work;
    for (auto _ : state) {
        work = data;
        TimedIteration(state, [&] {
            picture.Fill(settings.PlotBackColor);
            DrawTimePlot(picture, settings, Axes(), data, kLargeN, "S(t)");
            DrawSpectrumPlot(picture, settings, Axes(), data, kLargeN, "|S(jw)|");
            FFT(work, kLargeN, +1);
        });
        benchmark::DoNotOptimize(work[0][1]);
    }
}

const bool registeredDb = [] {
    const std::string args = "/" + std::to_string(kLargeN);
    for (const bool measures : {false, true}) {
        const std::string family = measures ? "DbPlotsAndMeasures" : "DbPlots";
        benchmark::RegisterBenchmark((family + "/ours" + args).c_str(),
                                     [measures](benchmark::State& st) { DbPlots(st, measures); })
            ->Iterations(3)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((family + "/ref" + args).c_str(), LinearPlotsAndTransform)
            ->Iterations(3)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
}  // namespace sonavir
