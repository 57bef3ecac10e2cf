#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "signal/SphereScattering.h"
#include "signal/Threads.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;
using testsupport::FailureOf;

namespace {
constexpr long double kPi = std::numbers::pi_v<long double>;
}

// Rayleigh: the fixed rigid sphere scatters as a monopole (1/3) and a dipole
// (1/2) in phase backward, f = -(5/3)(ka)^2 (1 + O((ka)^2)).
TEST(RigidSphere, RayleighLawAtSmallKa)
{
    for (long double ka : {1e-12L, 1e-4L, 1e-3L, 1e-2L}) {
        const std::complex<long double> ratio = RigidSphereFormFunction(ka) / (-(5.0L / 3) * ka * ka);
        EXPECT_LT(std::abs(ratio - 1.0L), 2 * ka * ka + 1e-18L) << ka;
    }
}

// Geometric optics: the front face's echo, e^{-2ika} with the rigid wall's
// reflection factor +1, the correction falling as 1/ka; TS -> 10 lg(a^2 / 4).
TEST(RigidSphere, GeometricLimitAtLargeKa)
{
    for (long double ka : {200.0L, 2000.0L}) {
        const std::complex<long double> g = RigidSphereFormFunction(ka) * std::polar(1.0L, 2 * ka);
        EXPECT_LT(std::abs(g - 1.0L), 2 / ka) << ka;
    }
    const long double a = 0.5, f = 2000 * 1500 / (2 * kPi * a);
    EXPECT_NEAR(RigidSphereTs(f, a), 10 * std::log10(a * a / 4), 1e-3);
}

// Published values: the fixed rigid sphere of the benchmark of Jech et al.
// (J. Acoust. Soc. Am. 138, 3742-3764, 2015), a = 10 mm in water at
// 1477,3 m/s, TS to 0,01 dB from the Rayleigh region (ka = 0,51) through the
// first resonances (28 kHz the peak, 42 kHz the dip) to ka = 17.
TEST(RigidSphere, MatchesThePublishedBenchmark)
{
    struct Case {
        long double kHz, ts;
    };
    for (const Case c : {Case{12, -54.44}, Case{28, -46.11}, Case{42, -50.04}, Case{100, -47.73}, Case{200, -45.58},
                         Case{400, -45.84}})
        EXPECT_NEAR(RigidSphereTs(c.kHz * 1000, 0.01L, 1477.3L), c.ts, 0.0051) << c.kHz << " kHz";
}

// The columns against the reference at their own ka, where the fit serves
// (dense columns) and where each column sums the series (sparse ones), from
// ka = 1e-4 to 2000 (the fit keeps within 3e-12, the double sum within 1e-11
// at 2000); and the same bits on one thread as on three.
TEST(RigidSphere, ColumnsMatchTheReferenceSeries)
{
    struct Case {
        int N;
        long double kaStep;
    };
    for (const Case& cs : {Case{1 << 16, 1e-4L}, Case{1 << 16, 2000.0L / (1 << 16)}, Case{1 << 12, 0.49L}}) {
        const long double a = 0.3, c = 1500, Dt = kPi * a / (cs.N * cs.kaStep * c);
        std::vector<double> re(cs.N, 7), im(cs.N, 7);
        {
            const WorkThreadsScope one(1);
            RigidSphereColumns(cs.N, Dt, a, c, re.data(), im.data());
        }
        EXPECT_EQ(re[0], 0);
        EXPECT_EQ(im[0], 0);
        double worst = 0;
        for (int k = 1; k < cs.N; k = k < 64 ? k + 1 : k * 21 / 20 + 1) {
            const std::complex<long double> expected = a / 2 * RigidSphereFormFunction(k * cs.kaStep);
            const std::complex<long double> got(re[k], im[k]);
            worst = std::max(worst, static_cast<double>(std::abs(got - expected) / std::abs(expected)));
        }
        EXPECT_LT(worst, 3e-11) << cs.N << " " << cs.kaStep;
        std::vector<double> re3(cs.N), im3(cs.N);
        {
            const WorkThreadsScope three(3);
            RigidSphereColumns(cs.N, Dt, a, c, re3.data(), im3.data());
        }
        EXPECT_EQ(re3, re);
        EXPECT_EQ(im3, im);
        std::vector<double> reNeg(cs.N), imNeg(cs.N);
        RigidSphereColumns(cs.N, -Dt, a, c, reNeg.data(), imNeg.data());
        EXPECT_EQ(reNeg[cs.N / 3], re[cs.N / 3]);
        EXPECT_EQ(imNeg[cs.N / 3], -im[cs.N / 3]);
    }
}

TEST(RigidSphere, AbsurdInputFailsWithTheStandardMessages)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    std::vector<double> re(8), im(8);
    EXPECT_EQ(FailureOf([&] { RigidSphereColumns(8, 0, 0.1L, 1500, re.data(), im.data()); }), msg::kDivByZero);
    EXPECT_EQ(FailureOf([&] { RigidSphereColumns(8, 1e-5L, 0.1L, 0, re.data(), im.data()); }), msg::kDivByZero);
    EXPECT_EQ(FailureOf([&] { RigidSphereColumns(8, 1e-5L, nan, 1500, re.data(), im.data()); }), msg::kInvalidOp);
    EXPECT_EQ(FailureOf([&] { RigidSphereColumns(8, 1e-300L, 1e300L, 1, re.data(), im.data()); }), msg::kOverflow);
    EXPECT_EQ(FailureOf([] { RigidSphereTs(0, 0.1L); }), msg::kDivByZero);
    EXPECT_EQ(FailureOf([] { RigidSphereTs(1e4, -0.1L); }), msg::kInvalidOp);
    EXPECT_EQ(FailureOf([&] { RigidSphereFormFunction(nan); }), msg::kInvalidOp);
}
