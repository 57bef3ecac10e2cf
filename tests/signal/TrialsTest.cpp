#include <gtest/gtest.h>

#include <cmath>
#include <atomic>
#include <functional>
#include <numbers>

#include "signal/Detection.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "signal/MatchedFilter.h"
#include "signal/Noise.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/Trials.h"

using namespace sonavir;

namespace {

// A Hann-shaped tone burst of 128 samples at the start of the record, its
// spectrum, the matched filter built from it, and an echo of `amplitude`
// times the probe (whose filtered peak lies at sample N).
struct Scene {
    explicit Scene(int n, long double amplitude) : N(n)
    {
        AllocateSignal(probe, N);
        for (int m = 0; m < 128; ++m)
            probe[m % 2][m / 2] = std::sin(0.9 * m) * std::pow(std::sin(std::numbers::pi * (m + 0.5) / 128), 2);
        spectrum = probe;
        FFT(spectrum, N, +1);
        AllocateSignal(filter, N);
        BuildMatchedFilter(spectrum, N, 1e-4L, filter);
        echo = spectrum;
        ScaleBuffer(echo, N, amplitude);
    }
    TrialSetup Setup(bool withEcho, long double sigma, long long K, std::uint32_t seed) const
    {
        return {N, &filter, withEcho ? &echo : nullptr, sigma, N, N + 1, {}, K, seed};
    }
    int N;
    TSignalData probe, spectrum, filter, echo;
};

// The seed from which draw number k (1-based) meets the zero state.
std::uint32_t SeedReachingZeroAt(std::uint64_t k)
{
    std::uint32_t s = 0;
    for (std::uint64_t i = 0; i < k; ++i) s = (s - 1u) * 3645876429u;  // 134775813^-1 mod 2^32
    return s;
}

}  // namespace

TEST(Trials, EnvelopeIsTheProgramsOwnChainAndIndependentOfThreads)
{
    const Scene scene(256, 0.3L);
    const int N = scene.N;
    // Trial 5 of an ordinary seed; trial 0 of one whose 41st draw (a first
    // draw of column 10) meets the zero state.
    for (const auto& [seed, i] : {std::pair<std::uint32_t, long long>{77u, 5}, {SeedReachingZeroAt(41), 0}}) {
        TrialSetup s = scene.Setup(true, 0.05L, 8, seed);
        TSignalData got, wave = scene.echo, env;
        TrialEnvelope(s, i, got);
        FFT(wave, N, -1);
        AddNormalNoise(wave, N, SamplePeak(wave, N) / s.sigma, TrialSeed(seed, N, i));
        FFT(wave, N, +1);
        ApplyMatchedFilter(wave, N, scene.filter);
        FFT(wave, N, -1);
        Envelope(wave, N, env);
        const double top = static_cast<double>(SamplePeak(env, N));
        for (int m = 0; m < 2 * N; ++m) ASSERT_NEAR(got[m % 2][m / 2], env[m % 2][m / 2], 1e-12 * top) << m;

        s.thresholds = {0.2L * top, 0.05L * top};
        const auto run = [&s](int threads, bool refuse) {
            SetWorkThreads(threads);
            RefuseThreads(refuse);
            TrialResults r = RunTrials(s);
            RefuseThreads(false);
            SetWorkThreads(0);
            return r;
        };
        const TrialResults one = run(1, false), two = run(2, false), refused = run(2, true);
        EXPECT_EQ(one.gateMax[static_cast<std::size_t>(i)], got[0][N / 2]);
        for (const TrialResults* r : {&two, &refused}) {
            EXPECT_EQ(r->gateMax, one.gateMax);
            EXPECT_EQ(r->cellsAbove, one.cellsAbove);
        }
        EXPECT_LT(one.cellsAbove[0], one.cellsAbove[1]);
    }
}

TEST(Trials, DetectionsAndFalseAlarmsFollowMarcumsQ)
{
    // The echo's filtered peak from the probe's energy (Parseval in the time
    // domain), the noise's Rayleigh parameter from the filter.
    const long long K = 4000;
    const long double pfa = 1e-2L, sigma = 1;
    const Scene unit(512, 1);
    const long double sigmaEnv = FilteredNoiseSigma(unit.filter, unit.N, sigma);
    const long double T = RayleighThreshold(sigmaEnv, pfa);
    const long double peakPerAmplitude = BufferEnergy(unit.probe, unit.N) / (2 * unit.N);
    const auto within = [K](long long hits, long double p, const char* what) {
        const ProbabilityInterval w = WilsonInterval(hits, K, 3.2905L);  // 99.9 %
        EXPECT_TRUE(w.low <= p && p <= w.high) << what << ": " << hits << " of " << K << ", theory " << p;
    };
    for (long double snrDb : {6.0L, 9.0L, 12.0L}) {
        const long double snr = std::pow(10.0L, snrDb / 10);
        const Scene scene(512, std::sqrt(2 * snr) * sigmaEnv / peakPerAmplitude);
        const TrialResults r = RunTrials(scene.Setup(true, sigma, K, 1234u));
        within(CountAbove(r.gateMax, T), DetectionProbability(snr, pfa), "Pd");
    }
    TrialSetup noise = unit.Setup(false, sigma, K, 99u);
    noise.thresholds = {T};
    const TrialResults r = RunTrials(noise);
    within(CountAbove(r.gateMax, T), pfa, "Pfa");
    // Neighbouring cells are correlated, so the cell count's spread is wider
    // than a binomial one of that many cells.
    EXPECT_NEAR(static_cast<double>(r.cellsAbove[0]) / r.cellsOutside, pfa, 0.1 * pfa);
    EXPECT_NEAR(*r.sigmaEnvMeasured, sigmaEnv, 0.01L * sigmaEnv);
}

TEST(Trials, StopsAtACheckpointAndRefusesBadSetups)
{
    const Scene scene(256, 1);
    RunControl control;
    std::atomic<int> seen{0};
    control.onCheckpoint = [&] {
        if (++seen == 3) control.RequestStop();
    };
    {
        const RunScope scope(&control);
        EXPECT_THROW(RunTrials(scene.Setup(false, 1, 1000, 1u)), RunStopped);
    }
    EXPECT_LT(seen, 20);
    const std::function<void(TrialSetup&)> faults[] = {
        [](TrialSetup& s) { s.sigma = -1; },        [](TrialSetup& s) { s.gateLast = s.gateFirst; },
        [](TrialSetup& s) { s.gateLast = 2 * s.N + 1; }, [](TrialSetup& s) { s.trials = 0; },
        [](TrialSetup& s) { s.trials = MaxTrials(s.N) + 1; }, [](TrialSetup& s) { s.N = 200; },
        [](TrialSetup& s) { s.thresholds = {-1}; },
    };
    for (const auto& fault : faults) {
        TrialSetup s = scene.Setup(true, 1, 10, 1u);
        fault(s);
        try {
            RunTrials(s);
            ADD_FAILURE() << "accepted";
        } catch (const SonavirError& e) {
            EXPECT_STREQ(e.what(), msg::kInvalidOp);
        }
    }
}
