#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "signal/Antenna.h"
#include "signal/Errors.h"
#include "tests/support/DirectModels.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

std::complex<double> At(const TSignalData& d, int i) { return {d[0][i], d[1][i]}; }

long double Step(int N, const TModelParams& p) { return 2 * kPi / (N * p.Dt * 2); }

template <typename F>
void ExpectSameResponse(const TSignalData& a, const TSignalData& b, int N, double tol, F&& what)
{
    for (int i = 0; i < N; ++i) {
        const double scale = std::max(1.0, std::abs(At(b, i)));
        ASSERT_NEAR(a[0][i], b[0][i], tol * scale) << what << " column " << i;
        ASSERT_NEAR(a[1][i], b[1][i], tol * scale) << what << " column " << i;
    }
}

}  // namespace

TEST(NarrowbandAntenna, UnitGainAtResonanceAndHalfPowerWhereXIsOne)
{
    TModelParams p;
    const int N = 1024;
    const int k = 300;
    p.W0 = k * Step(N, p);
    TSignalData K;
    AllocateSignal(K, N);
    K[0][0] = 7;
    K[1][0] = 7;
    NarrowbandAntenna(false, K, N, p);
    EXPECT_EQ(At(K, 0), std::complex<double>(0, 0));
    EXPECT_NEAR(K[0][k], 1, 1e-15);
    EXPECT_NEAR(K[1][k], 0, 1e-15);
    // Below resonance the phase is negative, above it positive.
    EXPECT_LT(K[1][k - 10], 0);
    EXPECT_GT(K[1][k + 10], 0);

    // Put a column where x = Qe (w/wr - wr/w) = 1, Qe = 110/21 for Q = 5:
    // there K = 1 / (1 - j) and |K| = 1/sqrt 2.
    const long double Qe = 110.0L / 21;
    const long double ratio = (1 / Qe + std::sqrt(1 / (Qe * Qe) + 4)) / 2;
    p.W0 = k * Step(N, p) / ratio;
    NarrowbandAntenna(false, K, N, p);
    EXPECT_NEAR(std::abs(At(K, k)), 1 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(K[0][k], 0.5, 1e-12);
    EXPECT_NEAR(K[1][k], 0.5, 1e-12);
}

TEST(NarrowbandAntenna, ApplyMultipliesEveryColumnIncludingTheFirst)
{
    TModelParams p;
    const int N = 512;
    TSignalData K, ones, spectrum = direct::RandomSpectrum(N, 1);
    AllocateSignal(K, N);
    AllocateSignal(ones, N);
    std::fill(ones[0].begin(), ones[0].end(), 1.0);
    NarrowbandAntenna(false, K, N, p);
    NarrowbandAntenna(true, ones, N, p);
    EXPECT_EQ(ones, K);

    const TSignalData before = spectrum;
    NarrowbandAntenna(true, spectrum, N, p);
    EXPECT_EQ(At(spectrum, 0), std::complex<double>(0, 0));
    for (int i = 1; i < N; ++i) {
        const auto expected = At(before, i) * At(K, i);
        ASSERT_NEAR(spectrum[0][i], expected.real(), 1e-15);
        ASSERT_NEAR(spectrum[1][i], expected.imag(), 1e-15);
    }
}

TEST(WidebandAntenna, SumsThreeResonancesWithTheUpperOneCutToWholeRadians)
{
    TModelParams p;  // F0 10300, Q 5
    const int N = 4096;
    TSignalData wide, part, sum, uncut;
    for (auto* d : {&wide, &part, &sum, &uncut}) AllocateSignal(*d, N);
    WidebandAntenna(false, wide, N, p, "3,14");

    const long double spread = 3.14L * 10300 / 5;
    const long double w2 = 2 * kPi * 10300 + spread;
    ASSERT_NE(std::trunc(w2), w2);
    for (long double wr : {p.W0, p.W0 - spread, std::trunc(w2)}) {
        TModelParams q = p;
        q.W0 = wr;
        NarrowbandAntenna(false, part, N, q);
        for (int i = 0; i < N; ++i) {
            sum[0][i] += part[0][i];
            sum[1][i] += part[1][i];
        }
        if (wr != p.W0 && wr != p.W0 - spread) {
            q.W0 = w2;
            NarrowbandAntenna(false, part, N, q);
        }
        for (int i = 0; i < N; ++i) {
            uncut[0][i] += part[0][i];
            uncut[1][i] += part[1][i];
        }
    }
    ExpectSameResponse(wide, sum, N, 1e-14, "three resonances");
    // The cut of the upper resonance is visible near it.
    double largest = 0;
    for (int i = 0; i < N; ++i) largest = std::max(largest, std::abs(At(wide, i) - At(uncut, i)));
    EXPECT_GT(largest, 1e-6);
}

TEST(Antennas, LongRunsMatchTheColumnByColumnFormula)
{
    TModelParams p;
    const int N = 1 << 17;  // long enough to be split across threads
    const TSignalData spectrum = direct::RandomSpectrum(N, 2);
    for (bool apply : {false, true}) {
        TSignalData fast = spectrum, slow = spectrum;
        NarrowbandAntenna(apply, fast, N, p);
        direct::Narrowband(apply, slow, N, p);
        ExpectSameResponse(fast, slow, N, 1e-15, "narrow-band");
        fast = spectrum;
        slow = spectrum;
        WidebandAntenna(apply, fast, N, p, "6,28");
        direct::Wideband(apply, slow, N, p, "6,28");
        ExpectSameResponse(fast, slow, N, 1e-15, "wide-band");
    }
}

TEST(Antennas, FailuresLeaveTheBufferUntouched)
{
    TModelParams p;
    const int N = 256;
    TSignalData data = direct::RandomSpectrum(N, 3);
    const TSignalData before = data;
    EXPECT_EQ(testsupport::FailureOf([&] { WidebandAntenna(true, data, N, p, "3.14"); }),
              "'3.14' is not a valid floating point value");
    EXPECT_EQ(testsupport::FailureOf([&] { WidebandAntenna(true, data, N, p, ""); }),
              "'' is not a valid floating point value");
    // Kw F0 / Q equal to W0 puts the lower resonance at 0 rad/s.
    TModelParams zero = p;
    zero.W0 = 1000;
    zero.F0 = 100;
    EXPECT_EQ(testsupport::FailureOf([&] { WidebandAntenna(true, data, N, zero, "50"); }),
              "Floating point division by zero");
    zero.W0 = 0;
    EXPECT_EQ(testsupport::FailureOf([&] { NarrowbandAntenna(true, data, N, zero); }),
              "Floating point division by zero");
    TModelParams noStep = p;
    noStep.Dt = 0;
    EXPECT_EQ(testsupport::FailureOf([&] { NarrowbandAntenna(false, data, N, noStep); }),
              "Floating point division by zero");
    EXPECT_EQ(data, before);

    // A negative lower resonance is computed without complaint.
    WidebandAntenna(false, data, N, p, "20");
    for (int i = 0; i < N; ++i) ASSERT_TRUE(std::isfinite(data[0][i]) && std::isfinite(data[1][i]));
}

TEST(Antennas, OverflowingProductIsReportedAndNeverStored)
{
    TModelParams p;
    const int N = 64;
    TSignalData data;
    AllocateSignal(data, N);
    std::fill(data[0].begin(), data[0].end(), 1.7e308);
    std::fill(data[1].begin(), data[1].end(), 1.7e308);
    try {
        WidebandAntenna(true, data, N, p, "3,14");
        FAIL() << "no failure";
    } catch (const SonavirError& e) {
        EXPECT_STREQ(e.what(), "Floating point overflow");
    }
    for (int i = 0; i < N; ++i) ASSERT_TRUE(std::isfinite(data[0][i]) && std::isfinite(data[1][i]));
}
