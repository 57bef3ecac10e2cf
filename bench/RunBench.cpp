// The largest run the parameters window offers in practice: an 8 s LFM pulse
// with deviation 6024 Hz at sampling coefficient 64 (N = 2^24), carried to
// the receiving antenna with the filter matched to the echo and every stage
// on. Reported against one forward + inverse transform pair of the same N,
// measured in the same process, and with the peak resident memory.

#include <benchmark/benchmark.h>


#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "bench/BenchRatio.h"
#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
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

void SetUpLargeRun(sonavir::ModelParameters& params, sonavir::MainState& state)
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

int LargeRunSize()
{
    sonavir::ModelParameters params;
    sonavir::PictureSettings settings;
    sonavir::Picture picture;
    sonavir::MainState state(params, settings, picture);
    SetUpLargeRun(params, state);
    return sonavir::TransformSize(sonavir::HalfSampleCount(params.p.Tc, params.p.Dt));
}

// The whole of Start, picture included, with the peak resident memory.
void LargeRun(benchmark::State& st)
{
    sonavir::ModelParameters params;
    sonavir::PictureSettings settings;
    sonavir::Picture picture;
    sonavir::MainState state(params, settings, picture);
    SetUpLargeRun(params, state);

    long peakKiB = -1, baseKiB = -1;
    for (auto _ : st) {
        baseKiB = StatusKiB("VmRSS");
        const bool reset = ResetPeak();
        const auto t0 = Clock::now();
        state.Start();
        st.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (reset) peakKiB = std::max(peakKiB, StatusKiB("VmHWM"));
    }
    st.counters["N"] = state.SignalSize;
    if (peakKiB >= 0) {
        st.counters["peak_MiB"] = peakKiB / 1024.0;
        st.counters["peak_above_start_MiB"] = (peakKiB - baseKiB) / 1024.0;
    }
    if (state.SignalSize != (1 << 24)) st.SkipWithError("the run did not size as expected");
}

// Yardstick: one forward and one inverse transform of the same N.
void TransformPair(benchmark::State& st)
{
    const int N = LargeRunSize();
    sonavir::TSignalData data;
    sonavir::AllocateSignal(data, N);
    for (int i = 0; i < N / 2; ++i) data[0][i] = data[1][i] = (i % 7) - 3;
    for (auto _ : st) {
        const auto t0 = Clock::now();
        sonavir::FFT(data, N, +1);
        sonavir::FFT(data, N, -1);
        st.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(data[0][1]);
    }
    st.counters["N"] = N;
}

const bool registered = [] {
    auto [ours, ref] = sonavir::bench::RegisterRatioPair("LargeRunVsTransformPair", LargeRun, TransformPair);
    for (auto* b : {ours, ref}) b->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);
    return true;
}();

}  // namespace
