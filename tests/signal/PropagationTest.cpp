#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "signal/Errors.h"
#include "signal/Propagation.h"
#include "signal/SonarPath.h"
#include "tests/support/DirectModels.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

using Model = std::function<void(bool, TSignalData&, int, const TModelParams&)>;

std::complex<double> At(const TSignalData& d, int i) { return {d[0][i], d[1][i]}; }

using testsupport::FailureOf;

TSignalData Response(const Model& model, int N, const TModelParams& p)
{
    TSignalData K;
    AllocateSignal(K, N);
    model(false, K, N, p);
    return K;
}

// An impulse at sample `at` of 2N, through the model, back to a waveform.
TSignalData ImpulseThrough(const Model& model, int N, const TModelParams& p, int at)
{
    TSignalData d;
    AllocateSignal(d, N);
    d[at % 2][at / 2] = 1;
    FFT(d, N, 1);
    model(true, d, N, p);
    FFT(d, N, -1);
    return d;
}

// `nyquist` is what the kept Nyquist value adds to each sample, times (-1)^m.
void ExpectImpulseAt(const TSignalData& d, int N, int at, double nyquist = 0)
{
    for (int m = 0; m < 2 * N; ++m) {
        const double expected = (m == at ? 1.0 : 0.0) + (m % 2 ? -nyquist : nyquist);
        ASSERT_NEAR(d[m % 2][m / 2], expected, 1e-12) << "sample " << m;
    }
}

}  // namespace

TEST(Power, GoesThroughTheLogarithmAndReportsFaults)
{
    EXPECT_NEAR(Power(2, 10), 1024, 1e-15 * 1024);
    EXPECT_NEAR(Power(10, -2), 0.01, 1e-19);
    EXPECT_NEAR(Power(0.06, 3), 0.000216, 1e-18);
    EXPECT_EQ(Power(10, -6000), 0);  // underflow is quiet
    EXPECT_EQ(FailureOf([] { Power(0, 3); }), "Floating point division by zero");
    EXPECT_EQ(FailureOf([] { Power(-1, 2); }), "Invalid floating point operation");
    EXPECT_EQ(FailureOf([] { Power(10, 6000); }), "Floating point overflow");
}

TEST(WaterMedium, NoRangeIsThePureTwoSampleAdvance)
{
    TModelParams p;
    p.R = 0;
    ExpectImpulseAt(ImpulseThrough(WaterMedium, 16, p, 5), 16, 3);
    ExpectImpulseAt(ImpulseThrough(WaterMedium, 16, p, 0), 16, 30);  // circular
}

TEST(WaterMedium, AbsorptionByTheRelaxationFormula)
{
    TModelParams p;  // 23 degrees, 35 per mille, 1 km
    const int N = 1024;
    p.Dt = 1.0L / 80000;  // column 256 is 10 kHz
    const TSignalData K = Response(WaterMedium, N, p);
    EXPECT_EQ(At(K, 0), std::complex<double>(1, 0));

    // Written out independently in double precision.
    const double fT = 21.9 * std::pow(10.0, 6 - 1520.0 / 296);
    auto gain = [&](double f) {
        const double alpha = (35 * 0.0203 * fT * f * f / (fT * fT + f * f) + 0.0293 * f * f / fT) *
                             (1 - 6.54e-4);
        return std::pow(10.0, -alpha / 10);
    };
    EXPECT_NEAR(std::abs(At(K, 256)), gain(10), 1e-13);
    EXPECT_NEAR(std::abs(At(K, 256)), 0.8996, 1e-4);  // about 0.46 dB/km at 10 kHz
    EXPECT_NEAR(std::abs(At(K, 1000)), gain(1000 / 25.6), 1e-13);
    for (int i = 1; i < N; ++i) ASSERT_LT(std::abs(At(K, i)), std::abs(At(K, i - 1))) << i;
    // Phase of a two-sample advance: -2 pi i / N.
    EXPECT_NEAR(std::arg(At(K, 256)), -std::numbers::pi / 2, 1e-12);
}

TEST(WaterMedium, ExtremeRangesUnderflowQuietlyOrOverflowLoudly)
{
    TModelParams p;
    const int N = 4096;
    p.R = 1e9;
    const TSignalData K = Response(WaterMedium, N, p);
    EXPECT_EQ(At(K, 0), std::complex<double>(1, 0));
    EXPECT_EQ(At(K, N - 1), std::complex<double>(0, 0));

    p.R = -1e6;  // a negative typed range amplifies without bound
    TSignalData d;
    AllocateSignal(d, N);
    EXPECT_EQ(FailureOf([&] { WaterMedium(false, d, N, p); }), "Floating point overflow");
    for (int i = 0; i < N; ++i) ASSERT_TRUE(std::isfinite(d[0][i]) && std::isfinite(d[1][i]));
    p.R = 1;
    // A temperature typed to the top of the integer range: the kelvin sum
    // must not wrap round to a negative number.
    p.Temperature = std::numeric_limits<std::int32_t>::max();
    p.R = 3e5;
    const TSignalData hot = Response(WaterMedium, N, p);
    const long double fT = 21.9L * std::pow(10.0L, 6 - 1520.0L / (2147483647.0L + 273));
    const long double f = 1000.0L / (2 * N * p.Dt) / 1000;  // column 1000, kHz
    const long double alpha = f * f * (35 * 0.0203L * fT / (fT * fT + f * f) + 0.0293L / fT) * (1 - 6.54e-4L);
    EXPECT_NEAR(std::abs(At(hot, 1000)), static_cast<double>(std::pow(10.0L, -p.R * alpha / 10)), 1e-12);
    p.R = 1;
    p.Temperature = -273;
    EXPECT_EQ(FailureOf([&] { WaterMedium(false, d, N, p); }), "Floating point division by zero");
}

TEST(SeabedLayer, GainFollowsThicknessCoefficientAndOrder)
{
    TModelParams p;
    const int N = 1024;
    p.GruntHeight = 0;
    // Gain 1 and a one-sample advance, except that column 0 carries no
    // phase: the Nyquist part keeps the sign of the unshifted impulse.
    ExpectImpulseAt(ImpulseThrough(SeabedLayer, N, p, 5), N, 4, -1.0 / N);
    p.GruntHeight = 10;
    p.GruntKoef = 0;
    TSignalData K = Response(SeabedLayer, N, p);
    for (int i = 0; i < N; ++i) ASSERT_NEAR(std::abs(At(K, i)), 1, 1e-15);

    p.GruntKoef = 0.5;
    p.NOrder = 0;
    K = Response(SeabedLayer, N, p);
    EXPECT_EQ(At(K, 0), std::complex<double>(1, 0));
    for (int i = 1; i < N; ++i) ASSERT_NEAR(std::abs(At(K, i)), std::pow(10.0, -0.25), 1e-15);

    // Order 2: 0.5 dB per m per kHz^2 over 0.1 m at 10 kHz is 5 dB.
    p.NOrder = 2;
    p.GruntHeight = 0.1;
    p.Dt = 1.0L / 80000;
    K = Response(SeabedLayer, N, p);
    EXPECT_NEAR(std::abs(At(K, 256)), std::pow(10.0, -5.0 / 20), 1e-15);

    // An absurd order: f^n passes the range of a double at the upper
    // columns, but the attenuation only underflows to a gain of 0, and a
    // layer without thickness still passes everything.
    p.Dt = 1.0L / 49392;
    p.NOrder = 400;
    K = Response(SeabedLayer, N, p);
    EXPECT_NEAR(std::abs(At(K, 1)), 1, 1e-12);  // 12 Hz: f^n vanishes
    for (int i = N / 2; i < N; ++i) ASSERT_EQ(At(K, i), std::complex<double>(0, 0)) << i;
    p.GruntHeight = 0;
    K = Response(SeabedLayer, N, p);
    for (int i = 0; i < N; ++i) ASSERT_NEAR(std::abs(At(K, i)), 1, 1e-15) << i;
    p.NOrder = 1e6;  // beyond even the extended range
    EXPECT_EQ(FailureOf([&] { SeabedLayer(false, K, N, p); }), "Floating point overflow");
    p.NOrder = 2;
    p.GruntHeight = 0.1;

    p.Dt = -p.Dt;  // negative frequencies have no power
    EXPECT_EQ(FailureOf([&] { SeabedLayer(false, K, N, p); }), "Invalid floating point operation");
}

TEST(SphereTarget, GrowsWithTheSquareOfFrequencyAndTheCubeOfTheRadius)
{
    TModelParams p;
    const int N = 2048;
    const TSignalData K = Response(SphereTarget, N, p);
    EXPECT_EQ(At(K, 0), std::complex<double>(0, 0));
    const double k1 = std::abs(At(K, 1));
    const double w1 = std::numbers::pi / (N * static_cast<double>(p.Dt));
    EXPECT_NEAR(k1, 65.8 * 0.000216 * (w1 / 1500) * (w1 / 1500), 1e-12 * k1);
    for (int i = 2; i < N; ++i) ASSERT_NEAR(std::abs(At(K, i)) / k1, double(i) * i, 1e-12 * i * i);
    p.Radius = 0.12;
    EXPECT_NEAR(std::abs(At(Response(SphereTarget, N, p), 7)), 8 * std::abs(At(K, 7)), 1e-12);

    p.Radius = 0;
    EXPECT_EQ(FailureOf([&] { Response(SphereTarget, N, p); }), "Floating point division by zero");
    p.Radius = -0.06;
    EXPECT_EQ(FailureOf([&] { Response(SphereTarget, N, p); }), "Invalid floating point operation");
}

TEST(PropagationModels, LongRunsMatchTheColumnByColumnFormula)
{
    TModelParams p;
    p.R = 3;
    p.NOrder = 1.5;
    const int N = 1 << 18;
    TSignalData spectrum;
    AllocateSignal(spectrum, N);
    std::mt19937 gen(4);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < N; ++i) {
        spectrum[0][i] = u(gen);
        spectrum[1][i] = u(gen);
    }
    const std::pair<Model, Model> models[] = {{WaterMedium, direct::Water},
                                              {SeabedLayer, direct::Seabed},
                                              {SphereTarget, direct::Sphere}};
    for (const auto& [fast, slow] : models) {
        for (bool apply : {false, true}) {
            TSignalData a = spectrum, b = spectrum;
            fast(apply, a, N, p);
            slow(apply, b, N, p);
            for (int i = 0; i < N; ++i) {
                const double tol = 1e-12 * std::max(1.0, std::abs(At(b, i)));
                ASSERT_NEAR(a[0][i], b[0][i], tol) << "column " << i;
                ASSERT_NEAR(a[1][i], b[1][i], tol) << "column " << i;
            }
        }
    }
}

// The sonar equation's water, one way: an impulse comes out scaled by the
// transmission loss TL = 20 lg(R / 1 m) + alpha R of the textbooks, with
// alpha in dB/km the same in every column.
TEST(SonarWater, ImpulseLosesTheTransmissionLoss)
{
    struct Case {
        long double range, alpha;  // m, dB/km
    };
    const int N = 256, at = 37;
    for (const Case c : {Case{1, 0}, Case{1000, 0}, Case{5000, 0}, Case{1000, 3}, Case{2500, 40}}) {
        const std::vector<double> alpha(N, static_cast<double>(c.alpha));
        TSignalData d;
        AllocateSignal(d, N);
        d[at % 2][at / 2] = 1;
        FFT(d, N, 1);
        SpreadingAndAbsorption(true, d, N, alpha.data(), c.alpha, c.range);
        FFT(d, N, -1);
        const long double tl = 20 * std::log10(c.range) + c.alpha * c.range / 1000;
        const double gain = static_cast<double>(std::pow(10.0L, -tl / 20));
        for (int m = 0; m < 2 * N; ++m)
            ASSERT_NEAR(d[m % 2][m / 2], m == at ? gain : 0.0, 1e-12 * gain) << c.range << " m, sample " << m;
    }
    std::vector<double> alpha(4, 0);
    TSignalData d;
    AllocateSignal(d, 4);
    EXPECT_EQ(FailureOf([&] { SpreadingAndAbsorption(true, d, 4, alpha.data(), 0, 0); }), msg::kDivByZero);
}
