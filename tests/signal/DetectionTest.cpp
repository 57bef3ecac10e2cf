#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "signal/Detection.h"
#include "signal/Errors.h"

using namespace sonavir;

namespace {

// Q_1 from Simon's trigonometric integral (no Bessel function in it): the
// integrand is periodic and smooth, so the midpoint rule converges
// geometrically, and it is positive, so small values keep their digits.
long double SimonQ1(long double a, long double b)
{
    const long double pi = std::numbers::pi_v<long double>;
    const bool below = b > a;
    const long double z = below ? a / b : b / a, r = below ? b : a;
    const int n = 20000;
    long double s = 0;
    for (int i = 0; i < n; ++i) {
        const long double t = -pi + 2 * pi * (i + 0.5L) / n, sn = std::sin(t);
        const long double den = 1 + 2 * z * sn + z * z;
        s += (below ? 1 + z * sn : z * z + z * sn) / den * std::exp(-r * r / 2 * den);
    }
    return below ? s / n : 1 + s / n;
}

}  // namespace

TEST(MarcumQ, MatchesSimonsIntegralIntoTheTails)
{
    const long double points[][2] = {{1, 2},     {2, 1},   {3, 7.4L}, {0.5L, 7.4L}, {5, 5.5L},
                                     {10, 3},    {20, 30}, {38, 40},  {40, 38},     {1e-3L, 5},
                                     {0.1L, 40}, {30, 36}, {0, 3},    {7, 0}};
    for (const auto& p : points) {
        const long double q = MarcumQ1(p[0], p[1]);
        const long double ref = p[0] == 0 ? std::exp(-p[1] * p[1] / 2) : p[1] == 0 ? 1 : SimonQ1(p[0], p[1]);
        EXPECT_NEAR(q, ref, 1e-15L * ref + 1e-18L) << "a = " << p[0] << ", b = " << p[1];
    }
}

TEST(MarcumQ, HigherOrdersFollowTheBesselRecurrence)
{
    // Q_{M+1}(a, b) - Q_M(a, b) = (b/a)^M e^{-(a^2+b^2)/2} I_M(ab).
    const long double points[][2] = {{1, 2}, {3, 7.4L}, {5, 5.5L}, {10, 3}, {20, 30}};
    for (const auto& p : points)
        for (int M = 1; M <= 4; ++M) {
            const long double a = p[0], b = p[1];
            const long double step = std::pow(b / a, M) * std::exp(-(a - b) * (a - b) / 2) *
                                     std::cyl_bessel_il(M, a * b) * std::exp(-a * b);
            const long double q0 = MarcumQ(M, a, b);
            EXPECT_NEAR(MarcumQ(M + 1, a, b), q0 + step, 1e-15L * (q0 + step))
                << "M = " << M << ", a = " << a << ", b = " << b;
        }
}

TEST(Detection, RequiredSnrMeetsTheAnchors)
{
    // Pd 0.9 at Pfa 1e-6 needs 13.2 dB exactly (13.183490056794 published),
    // and Albersheim's single-pulse formula gives 13.1 dB.
    EXPECT_NEAR(RequiredSnrDb(0.9L, 1e-6L), 13.183490056794L, 1e-8L);
    EXPECT_NEAR(AlbersheimSnrDb(0.9L, 1e-6L), 13.1L, 0.02L);
    EXPECT_NEAR(DetectionProbability(std::pow(10.0L, 1.3183490056794L), 1e-6L), 0.9L, 1e-11L);
    EXPECT_NEAR(DetectionProbability(0, 1e-4L), 1e-4L, 1e-18L);
    // For n pulses Albersheim's formula keeps within 0.3 dB of the exact
    // square-law sum where its claim holds best.
    for (int n : {1, 10, 100, 1000})
        for (long double pd : {0.5L, 0.9L})
            for (long double pfa : {1e-3L, 1e-7L})
                EXPECT_NEAR(AlbersheimSnrDb(pd, pfa, n), RequiredSnrDb(pd, pfa, n), 0.3L)
                    << n << " pulses, pd " << pd << ", pfa " << pfa;
}

TEST(Detection, WilsonIntervalMatchesPublishedValues)
{
    // Newcombe (1998), the score method at 95 %.
    struct Case {
        long long k, n;
        double low, high;
    } const cases[] = {{81, 263, 0.2553, 0.3662}, {15, 148, 0.0624, 0.1605}, {0, 20, 0, 0.1611}, {1, 29, 0.0061, 0.1718}};
    for (const Case& c : cases) {
        const ProbabilityInterval w = WilsonInterval(c.k, c.n);
        EXPECT_NEAR(static_cast<double>(w.low), c.low, 5e-5) << c.k << "/" << c.n;
        EXPECT_NEAR(static_cast<double>(w.high), c.high, 5e-5) << c.k << "/" << c.n;
    }
    EXPECT_EQ(WilsonInterval(0, 20).low, 0);
    EXPECT_EQ(WilsonInterval(20, 20).high, 1);
}

TEST(Detection, ArgumentsOutsideTheirDomainFailWithTheMessages)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { DetectionProbability(10, 0); }, msg::kInvalidOp},
        {[] { DetectionProbability(10, 1); }, msg::kInvalidOp},
        {[nan] { DetectionProbability(10, nan); }, msg::kInvalidOp},
        {[] { DetectionProbability(-1, 1e-6L); }, msg::kInvalidOp},
        {[] { DetectionProbability(1, 1e-6L, 0); }, msg::kInvalidOp},
        {[] { MarcumQ1(-1, 2); }, msg::kInvalidOp},
        {[nan] { MarcumQ1(1, nan); }, msg::kInvalidOp},
        {[] { RayleighThreshold(1, 1.5L); }, msg::kInvalidOp},
        {[] { FalseAlarmProbability(1, 0); }, msg::kDivByZero},
        {[] { RequiredSnrDb(1e-7L, 1e-6L); }, msg::kInvalidOp},
        {[] { RequiredSnrDb(1, 1e-6L); }, msg::kInvalidOp},
        {[] { AlbersheimSnrDb(0.9L, 0); }, msg::kInvalidOp},
        {[] { AlbersheimSnrDb(1e-30L, 1e-3L); }, msg::kInvalidOp},  // lg of a negative value
        {[] { WilsonInterval(0, 0); }, msg::kInvalidOp},
        {[] { WilsonInterval(5, 4); }, msg::kInvalidOp},
    };
    for (const auto& [call, text] : cases) {
        try {
            call();
            ADD_FAILURE() << "no failure, expected " << text;
        } catch (const SonavirError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
}
