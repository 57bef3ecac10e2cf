#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

#include "signal/Errors.h"
#include "signal/MatchedFilter.h"
#include "tests/support/DirectModels.h"

using namespace sonavir;

namespace {

constexpr long double kDt = 1.0L / 49392;

// A short carrier burst starting at sample `at`.
TSignalData Burst(int N, int at, long double& energy)
{
    TSignalData d;
    AllocateSignal(d, N);
    energy = 0;
    for (int m = 0; m < 40; ++m) {
        const double x = std::sin(2 * std::numbers::pi * 0.23 * m) * std::sin(std::numbers::pi * m / 40);
        d[(at + m) % 2][(at + m) / 2] = x;
        energy += x * x;
    }
    return d;
}

int PeakSample(const TSignalData& d, int N)
{
    int best = 0;
    for (int m = 1; m < 2 * N; ++m)
        if (d[m % 2][m / 2] > d[best % 2][best / 2]) best = m;
    return best;
}

}  // namespace

TEST(MatchedFilter, PeaksAtHalfTheRecordWithEnergyOverTwoN)
{
    const int N = 256;
    long double E;
    TSignalData ref = Burst(N, 0, E);
    FFT(ref, N, 1);
    TSignalData filter;
    AllocateSignal(filter, N);
    BuildMatchedFilter(ref, N, kDt, filter);

    for (int delay : {0, 17, 100}) {
        long double unused;
        TSignalData echo = Burst(N, delay, unused);
        FFT(echo, N, 1);
        ApplyMatchedFilter(echo, N, filter);
        FFT(echo, N, -1);
        EXPECT_EQ(PeakSample(echo, N), N + delay);
        const int at = N + delay;
        EXPECT_NEAR(echo[at % 2][at / 2], E / (2 * N), 1e-3 * E / (2 * N)) << delay;
    }
}

TEST(MatchedFilter, ResponseIsTheConjugateDelayedByHalfTheRecord)
{
    const int N = 8;
    TSignalData S, F;
    AllocateSignal(S, N);
    AllocateSignal(F, N);
    for (int i = 0; i < N; ++i) {
        S[0][i] = 1 + i;
        S[1][i] = 0.5 - i;
    }
    BuildMatchedFilter(S, N, kDt, F);
    for (int i = 0; i < N; ++i) {
        const double sign = i % 2 ? -1 : 1;  // e^{-j pi i}
        EXPECT_NEAR(F[0][i], sign * S[0][i], 1e-15);
        EXPECT_NEAR(F[1][i], -sign * S[1][i], 1e-15);
    }
    // Applying is a plain complex product; the reference is only read.
    const TSignalData kept = F;
    TSignalData D = S;
    ApplyMatchedFilter(D, N, F);
    EXPECT_EQ(F, kept);
    for (int i = 0; i < N; ++i) {
        const std::complex<double> expected = std::complex<double>(S[0][i], S[1][i]) *
                                              std::complex<double>(F[0][i], F[1][i]);
        EXPECT_NEAR(D[0][i], expected.real(), 1e-13);
        EXPECT_NEAR(D[1][i], expected.imag(), 1e-13);
    }
}

TEST(MatchedFilter, LongResponseMatchesTheColumnByColumnFormula)
{
    const int N = 1 << 18;
    TSignalData S, fast, slow;
    AllocateSignal(S, N);
    AllocateSignal(fast, N);
    AllocateSignal(slow, N);
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < N; ++i) {
        S[0][i] = u(gen);
        S[1][i] = u(gen);
    }
    BuildMatchedFilter(S, N, kDt, fast);
    direct::MatchedFilter(S, N, kDt, slow);
    for (int i = 0; i < N; ++i) {
        // The delay's phase reaches pi N here; its own rounding is ~1e-12.
        ASSERT_NEAR(fast[0][i], slow[0][i], 1e-11) << i;
        ASSERT_NEAR(fast[1][i], slow[1][i], 1e-11) << i;
    }
}

TEST(MatchedFilter, FaultsAreReported)
{
    const int N = 4;
    TSignalData S, F;
    AllocateSignal(S, N);
    AllocateSignal(F, N);
    EXPECT_THROW(
        {
            try {
                BuildMatchedFilter(S, N, 0, F);
            } catch (const SonavirError& e) {
                EXPECT_STREQ(e.what(), "Floating point division by zero");
                throw;
            }
        },
        SonavirError);
    S[0][1] = 1e200;
    F[0][1] = 1e200;
    EXPECT_THROW(ApplyMatchedFilter(S, N, F), SonavirError);
    EXPECT_TRUE(std::isfinite(S[0][1]));
}
