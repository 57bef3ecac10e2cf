#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "signal/Absorption.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;
using testsupport::FailureOf;

// Values quoted for the Francois-Garrison equation at pH 8.1, with the
// paper's own sound speed, to the half decibel they are given to.
TEST(SeaAbsorption, MatchesQuotedValues)
{
    struct Case {
        long double f, T, S, D, expected;
    };
    const Case cases[] = {
        {10e3, 15, 35, 0, 1.0},      {50e3, 27, 35, 0, 11},       {100e3, 27, 35, 0, 36},
        {100e3, 14, 38.5, 0, 40},    {100e3, 14, 38.5, 2000, 30}, {100e3, 14, 38.5, 6000, 16},
    };
    for (const Case& c : cases) {
        const long double speed = FrancoisGarrisonSoundSpeed(c.T, c.S, c.D);
        EXPECT_NEAR(SeaAbsorptionDbPerKm(c.f, c.T, c.S, c.D, 8.1L, speed), c.expected, 0.5)
            << c.f << " Hz, " << c.T << " C, " << c.S << " per mille, " << c.D << " m";
    }
}

TEST(SeaAbsorption, ColumnsAreTheScalarFormAtTheirFrequencies)
{
    const SeaAbsorption water(10, 35, 500, 8, 1500);
    const int N = 1 << 16;
    const long double Dt = 1.0L / 400e3;
    std::vector<double> alpha(N, -1);
    water.Columns(N, Dt, alpha.data());
    EXPECT_EQ(alpha[0], 0);
    for (int k : {1, 7, 1000, 40000, N - 1}) {
        const long double f = k / (2 * N * Dt);
        EXPECT_NEAR(alpha[k], water(f), 1e-13 * water(f)) << k;
        EXPECT_EQ(water(-f), water(f));
    }
}

TEST(SeaAbsorption, AbsurdInputFailsWithTheStandardMessages)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    std::vector<double> alpha(4);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(-273, 35, 0, 8); }), msg::kDivByZero);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, 35, 0, 8, 0); }), msg::kDivByZero);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, -1, 0, 8); }), msg::kInvalidOp);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(nan, 35, 0, 8); }), msg::kInvalidOp);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, 35, 0, 8)(nan); }), msg::kInvalidOp);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, 35, 0, 8)(1e4000L); }), msg::kOverflow);
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, 35, 0, 8).Columns(4, 0, alpha.data()); }), msg::kDivByZero);
    // Beyond the range of a double the columns go the extended way and fail
    // before storing an infinity.
    EXPECT_EQ(FailureOf([&] { SeaAbsorption(10, 35, 0, 8).Columns(4, 1e-2000L, alpha.data()); }), msg::kOverflow);
    // Fresh water, no relaxation at all: finite at every frequency.
    EXPECT_EQ(SeaAbsorption(10, 0, 0, 8).BoricAcid(0), 0);
    EXPECT_GT(SeaAbsorption(10, 0, 0, 8)(1e5), 0);
}
