#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "signal/Envelope.h"
#include "signal/Generators.h"
#include "signal/TimeScale.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;
using sonavir::testsupport::FailureOf;

namespace {

constexpr double kPi = std::numbers::pi;

double At(const TSignalData& d, long long m) { return d[m & 1][m >> 1]; }

// The generator's pulse moved to start at sample `at`.
TSignalData PulseAt(bool lfm, const TModelParams& p, int N, int M, int at)
{
    TSignalData g, d;
    AllocateSignal(g, N);
    AllocateSignal(d, N);
    (lfm ? LfmPulse : RadioPulse)(g, N, M, p);
    for (int m = 0; m < 2 * M; ++m) d[(m + at) & 1][(m + at) >> 1] = At(g, m);
    return d;
}

// The unwrapped phase of the analytic signal of a spectrum (layout of FFT(+1)):
// z[m] = S_0 + sum_{k=1}^{N-1} 2 conj(S_k) e^{+j pi m k / N}, a cosine turns
// into e^{+j w t}.
std::vector<double> AnalyticPhase(const TSignalData& s, int N)
{
    std::vector<double> re(2 * N, 0.0), im(2 * N, 0.0);
    re[0] = s[0][0];
    for (int k = 1; k < N; ++k) re[k] = 2 * s[0][k], im[k] = -2 * s[1][k];
    ComplexFFT(re.data(), im.data(), 2 * N, -1);
    std::vector<double> phase(2 * N);
    for (int m = 0; m < 2 * N; ++m) {
        phase[m] = std::atan2(im[m], re[m]);
        if (m > 0) phase[m] += 2 * kPi * std::nearbyint((phase[m - 1] - phase[m]) / (2 * kPi));
    }
    return phase;
}

}  // namespace

TEST(TimeScale, MovingTargetScalesFrequencyAndDuration)
{
    // Against y(t) = x(eta t): a carrier at F0 comes back at eta F0, an LFM
    // sweep at eta (F0 -+ FD), each lasting Tc / eta. Frequencies from the
    // phase of the analytic signal (a quadratic through three points),
    // durations between the half-amplitude points of the envelope.
    const TModelParams p;  // F0 10300, FD 1024, Tc 0.01, Dt 1/49392
    const int M = HalfSampleCount(p.Tc, p.Dt), N = TransformSize(M), at = 64;
    const double dt = static_cast<double>(p.Dt);
    for (const bool lfm : {false, true})
        for (const double V : {100.0, -100.0}) {
            const double eta = static_cast<double>(DopplerScale(V));
            TSignalData s = PulseAt(lfm, p, N, M, at);
            FFT(s, N, 1);
            EXPECT_FALSE(TimeScale(s, N, eta, at));
            TSignalData y = s, env;
            FFT(y, N, -1);
            Envelope(y, N, env);
            long long a = 0, b = 2 * N - 1;
            while (At(env, a + 1) < 0.5) ++a;
            while (At(env, b - 1) < 0.5) --b;
            const double start = a + (0.5 - At(env, a)) / (At(env, a + 1) - At(env, a));
            const double end = b - (0.5 - At(env, b)) / (At(env, b - 1) - At(env, b));
            EXPECT_NEAR(end - start, 2 * M / eta, 0.5) << lfm << " " << V;

            // f(t) = centre + rate (t - t2) through the phase at t2 - h, t2, t2 + h.
            const std::vector<double> phase = AnalyticPhase(s, N);
            const double D = 2 * M / eta;
            const long long i2 = std::llround(at + D / 2), h = std::llround(0.3 * D);
            const double span = h * dt;
            const double centre = (phase[i2 + h] - phase[i2 - h]) / (2 * kPi * 2 * span);
            const double rate = (phase[i2 + h] + phase[i2 - h] - 2 * phase[i2]) / (2 * kPi * span * span);
            const double sweep = lfm ? static_cast<double>(p.FD) : 0;
            EXPECT_NEAR(centre + rate * (at - i2) * dt, eta * (p.F0 - sweep), 1.0) << lfm << " " << V;
            EXPECT_NEAR(centre + rate * (at + D - i2) * dt, eta * (p.F0 + sweep), 1.0) << lfm << " " << V;
        }
}

TEST(TimeScale, TailPastTheRecordIsCutNotWrapped)
{
    TModelParams p;
    const int M = HalfSampleCount(p.Tc, p.Dt), N = TransformSize(M);
    TSignalData s = PulseAt(false, p, N, M, 2 * N - 2 * M - 10);
    FFT(s, N, 1);
    const TSignalData kept = s;
    EXPECT_FALSE(TimeScale(s, N, 1));
    EXPECT_EQ(s, kept);  // eta = 1: no work at all
    EXPECT_TRUE(TimeScale(s, N, DopplerScale(-100)));
    FFT(s, N, -1);
    double front = 0;
    for (int m = 20; m < 2 * N - 2 * M - 10; ++m) front = std::max(front, std::fabs(At(s, m)));
    EXPECT_LT(front, 0.05);  // a wrapped tail would be a carrier of amplitude 1

    EXPECT_EQ(FailureOf([] { DopplerScale(1500); }), "Floating point division by zero");
    EXPECT_EQ(FailureOf([] { DopplerScale(-1600); }), "Invalid floating point operation");
    EXPECT_EQ(FailureOf([&] { TimeScale(s, N, 0); }), "Invalid floating point operation");
}
