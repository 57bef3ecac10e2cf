// The largest run the parameters window offers in practice: an 8 s LFM pulse
// with deviation 6024 Hz at sampling coefficient 64 (N = 2^24), carried to
// the receiving antenna with the filter matched to the echo and every stage
// on. Reported against one forward + inverse transform pair of the same N,
// measured in the same process, and with the peak resident memory. Beside it,
// the energy ledger of the same settings against that whole run, and the
// envelope and pulse-compression measures of its waveform against one
// transform of the same N.

#include <benchmark/benchmark.h>


#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "bench/BenchRatio.h"
#include "bench/LegacyRun.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/Ledger.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PulseCompression.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/WinFFT.h"

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A /proc/self/status figure in KiB, or -1.
long StatusKiB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Starts a fresh peak: the high-water mark drops to the current size.
bool ResetPeak()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

// The main window object with the large run's settings.
struct LargeRunState {
    sonavir::ModelParameters params;
    sonavir::PictureSettings settings;
    sonavir::Picture picture;
    sonavir::MainState state{params, settings, picture};

    // The duration sets the size: 0,03 s gives 2^16, 0,5 s 2^20, 8 s 2^24.
    explicit LargeRunState(const char* tc = "8")
    {
        params.SetSignalItem(sonavir::kLfmPulse);
        params.SetFDText("6024");
        params.SetTcText(tc);
        params.SetKofDiscretItem(4);  // "64"
        params.filterOn = true;
        state.SetFilterMode(true);
        state.SelectModel(0);
        state.SelectPath(7);
    }
    int Size() const { return sonavir::TransformSize(sonavir::HalfSampleCount(params.p.Tc, params.p.Dt)); }
};

// Times one iteration's work as the manual time.
template <typename Work>
void Timed(benchmark::State& st, Work work)
{
    const auto t0 = Clock::now();
    work();
    st.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
}

// The whole of Start, picture included, with the peak resident memory.
void LargeRun(benchmark::State& st)
{
    LargeRunState run;
    long peakKiB = -1, baseKiB = -1;
    for (auto _ : st) {
        baseKiB = StatusKiB("VmRSS");
        const bool reset = ResetPeak();
        Timed(st, [&] { run.state.Start(); });
        if (reset) peakKiB = std::max(peakKiB, StatusKiB("VmHWM"));
    }
    st.counters["N"] = run.state.SignalSize;
    if (peakKiB >= 0) {
        st.counters["peak_MiB"] = peakKiB / 1024.0;
        st.counters["peak_above_start_MiB"] = (peakKiB - baseKiB) / 1024.0;
    }
    if (run.state.SignalSize != (1 << 24)) st.SkipWithError("the run did not size as expected");
}

// Yardsticks: transforms of the same N, forward and inverse or forward only.
void Transforms(benchmark::State& st, bool inverseToo)
{
    const int N = LargeRunState().Size();
    sonavir::TSignalData data;
    sonavir::AllocateSignal(data, N);
    for (auto _ : st) {
        for (int i = 0; i < N / 2; ++i) data[0][i] = data[1][i] = (i % 7) - 3;
        Timed(st, [&] {
            sonavir::FFT(data, N, +1);
            if (inverseToo) sonavir::FFT(data, N, -1);
        });
        benchmark::DoNotOptimize(data[0][1]);
    }
    st.counters["N"] = N;
}

// The ledger of the large run's settings: all eight stages, one pass.
void LargeLedger(benchmark::State& st)
{
    LargeRunState run;
    sonavir::Ledger ledger;
    for (auto _ : st) {
        Timed(st, [&] { ledger = sonavir::ComputeLedger(run.state); });
        benchmark::DoNotOptimize(ledger.rows[7].energy);
    }
    st.counters["N"] = ledger.N;
}

// Envelope and measures of the waveform the large run drew (run once, untimed).
void LargeMeasures(benchmark::State& st)
{
    LargeRunState run;
    run.state.Start();
    if (!run.state.Shown()) {
        st.SkipWithError("the run kept no waveform");
        return;
    }
    sonavir::PulseCompression m;
    for (auto _ : st) {
        Timed(st, [&] { m = sonavir::MeasureShown(run.state); });
        benchmark::DoNotOptimize(m.envelope.peak);
    }
    st.counters["N"] = run.state.Shown()->N;
}

const char* DurationOf(int log2N) { return log2N <= 16 ? "0,03" : log2N <= 20 ? "0,5" : "8"; }

// Start through the run as a value, against the same Start as it was before
// (bench/LegacyRun.h), picture included, at N = 2^range(0).
void RunAsValue(benchmark::State& st, bool legacy)
{
    LargeRunState run(DurationOf(static_cast<int>(st.range(0))));
    for (auto _ : st)
        Timed(st, [&] {
            if (legacy)
                sonavir::legacy::Start(run.params, run.settings, run.picture, 0, 7);
            else
                run.state.Start();
        });
    st.counters["N"] = run.Size();
}

// Start in the sonar equation's levels against the same Start in the
// teaching levels, at N = 2^range(0), with the receiver's noise or without,
// after a first Start of each.
void SonarRun(benchmark::State& st, bool sonar, bool noise)
{
    LargeRunState run(DurationOf(static_cast<int>(st.range(0))));
    if (sonar) run.params.SetLevelModel(sonavir::kSonarEquation);
    run.params.noiseOn = noise;
    run.state.noiseSeed = 1;
    // Untimed: the first run of a record works out the sphere's factor and the
    // absorption, which the next runs of the same record keep.
    run.state.Start();
    for (auto _ : st) Timed(st, [&] { run.state.Start(); });
    st.counters["N"] = run.Size();
}

// The 2^24 run on `threads` threads.
void RunOnThreads(benchmark::State& st, int threads)
{
    LargeRunState run;
    sonavir::SetWorkThreads(threads);
    for (auto _ : st) Timed(st, [&] { run.state.Start(); });
    sonavir::SetWorkThreads(0);
}

// How long a stop takes to end the 2^24 run, asked half a second in (and
// later, the next time round): the manual time is the latency itself.
void StopLatency(benchmark::State& st)
{
    LargeRunState run;
    const sonavir::RunRequest request = run.state.Request();
    double worst = 0;
    int round = 0;
    for (auto _ : st) {
        sonavir::RunControl control;
        sonavir::RunResult result;
        std::thread worker([&] { result = sonavir::RunEcho(request, control); });
        std::this_thread::sleep_for(std::chrono::milliseconds(500 + 700 * (round++ % 3)));
        const auto t0 = Clock::now();
        control.RequestStop();
        worker.join();
        const double latency = std::chrono::duration<double>(Clock::now() - t0).count();
        worst = std::max(worst, latency);
        st.SetIterationTime(latency);
        if (!result.stopped) st.SkipWithError("the run ended before the stop");
    }
    st.counters["worst_s"] = worst;
}

const bool registered = [] {
    const auto pair = [](benchmark::State& st) { Transforms(st, true); };
    const auto one = [](benchmark::State& st) { Transforms(st, false); };
    auto [ours, ref] = sonavir::bench::RegisterRatioPair("LargeRunVsTransformPair", LargeRun, pair);
    auto [ledger, run] = sonavir::bench::RegisterRatioPair("LedgerVsLargeRun", LargeLedger, LargeRun);
    auto [measures, fft] = sonavir::bench::RegisterRatioPair("MeasuresVsTransform", LargeMeasures, one);
    for (auto* b : {ours, ref, ledger, run, measures, fft})
        b->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);
    auto [value, before] = sonavir::bench::RegisterRatioPair(
        "RunAsValueVsBefore", [](benchmark::State& st) { RunAsValue(st, false); },
        [](benchmark::State& st) { RunAsValue(st, true); });
    for (auto* b : {value, before}) b->Arg(16)->Arg(20)->Arg(24)->UseManualTime()->Unit(benchmark::kMillisecond);
    value->Iterations(3);
    before->Iterations(3);
    for (const bool noise : {false, true}) {
        auto [sonar, teaching] = sonavir::bench::RegisterRatioPair(
            noise ? "SonarRunVsTeachingRunNoisy" : "SonarRunVsTeachingRun",
            [noise](benchmark::State& st) { SonarRun(st, true, noise); },
            [noise](benchmark::State& st) { SonarRun(st, false, noise); });
        for (auto* b : {sonar, teaching})
            b->Arg(16)->Arg(20)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    auto [twoThreads, oneThread] = sonavir::bench::RegisterRatioPair(
        "TwoThreadsVsOne", [](benchmark::State& st) { RunOnThreads(st, 2); },
        [](benchmark::State& st) { RunOnThreads(st, 1); });
    for (auto* b : {twoThreads, oneThread}) b->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("StopLatency", StopLatency)->Iterations(3)->UseManualTime()->Unit(
        benchmark::kMillisecond);
    return true;
}();

}  // namespace
