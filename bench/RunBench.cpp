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
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/Ledger.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PulseCompression.h"
#include "signal/WinFFT.h"

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

    LargeRunState()
    {
        params.SetSignalItem(sonavir::kLfmPulse);
        params.SetFDText("6024");
        params.SetTcText("8");
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

const bool registered = [] {
    const auto pair = [](benchmark::State& st) { Transforms(st, true); };
    const auto one = [](benchmark::State& st) { Transforms(st, false); };
    auto [ours, ref] = sonavir::bench::RegisterRatioPair("LargeRunVsTransformPair", LargeRun, pair);
    auto [ledger, run] = sonavir::bench::RegisterRatioPair("LedgerVsLargeRun", LargeLedger, LargeRun);
    auto [measures, fft] = sonavir::bench::RegisterRatioPair("MeasuresVsTransform", LargeMeasures, one);
    for (auto* b : {ours, ref, ledger, run, measures, fft})
        b->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);
    return true;
}();

}  // namespace
