// The column loops run in double precision with an extended fallback; these
// cases push them where double precision is weakest (a resonance right on a
// column, resonances below zero, unusual seabed orders, constants beyond the
// range of a double) and compare with the column-by-column formulas.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <random>
#include <string>

#include "signal/Antenna.h"
#include "signal/Propagation.h"
#include "tests/support/DirectModels.h"

using namespace sonavir;

namespace {

using Model = std::function<void(bool, TSignalData&, int, const TModelParams&)>;

// Largest difference over all columns, relative to max(1, |reference|).
double WorstDifference(const Model& fast, const Model& slow, int N, const TModelParams& p, bool apply)
{
    const TSignalData spectrum = direct::RandomSpectrum(N, 7);
    TSignalData a = spectrum, b = spectrum;
    fast(apply, a, N, p);
    slow(apply, b, N, p);
    double worst = 0;
    for (int i = 0; i < N; ++i) {
        const double scale = std::max(1.0, std::abs(std::complex<double>(b[0][i], b[1][i])));
        worst = std::max({worst, std::abs(a[0][i] - b[0][i]) / scale, std::abs(a[1][i] - b[1][i]) / scale});
    }
    return worst;
}

Model Wide(const std::string& kw)
{
    return [kw](bool a, TSignalData& d, int N, const TModelParams& p) { WidebandAntenna(a, d, N, p, kw); };
}

Model WideDirect(const std::string& kw)
{
    return [kw](bool a, TSignalData& d, int N, const TModelParams& p) { direct::Wideband(a, d, N, p, kw); };
}

}  // namespace

TEST(FastColumns, AntennasHoldTheirAccuracyForAnyQualityAndSpread)
{
    const int N = 1 << 16;
    // Q 0.7 with spread 6,28 puts the lower resonance below zero.
    for (double Q : {0.7, 5.0, 40.0}) {
        for (const char* kw : {"3,14", "6,28"}) {
            TModelParams p;
            p.Q = Q;
            for (bool apply : {false, true}) {
                EXPECT_LT(WorstDifference(NarrowbandAntenna, direct::Narrowband, N, p, apply), 1e-15) << Q;
                EXPECT_LT(WorstDifference(Wide(kw), WideDirect(kw), N, p, apply), 1e-15) << Q << " " << kw;
            }
        }
    }
}

TEST(FastColumns, ResonanceExactlyOnAColumnKeepsItsPhase)
{
    const int N = 1 << 12;
    TModelParams p;
    p.Q = 40;
    const long double dw = 2 * direct::kPi / (N * p.Dt * 2);
    p.W0 = 1000 * dw;
    TSignalData K;
    AllocateSignal(K, N);
    NarrowbandAntenna(false, K, N, p);
    EXPECT_NEAR(K[0][1000], 1, 1e-15);
    EXPECT_NEAR(K[1][1000], 0, 1e-15);
    // Either side, x is tiny and of opposite signs: its cancellation must not
    // swamp it.
    TSignalData D;
    AllocateSignal(D, N);
    direct::Narrowband(false, D, N, p);
    for (int i : {999, 1001}) EXPECT_NEAR(K[1][i], D[1][i], 1e-16 + 1e-14 * std::abs(D[1][i])) << i;
    EXPECT_LT(K[1][999], 0);
    EXPECT_GT(K[1][1001], 0);
}

TEST(FastColumns, SeabedMatchesTheFormulaForEveryOrder)
{
    const int N = 1 << 16;
    for (double order : {1.0, 2.0, 0.5, 3.7, 0.0}) {
        TModelParams p;
        p.NOrder = order;
        p.GruntHeight = 3;
        for (bool apply : {false, true})
            EXPECT_LT(WorstDifference(SeabedLayer, direct::Seabed, N, p, apply), 1e-12) << order;
    }
}

TEST(FastColumns, ConstantsBeyondADoubleTakeTheExtendedWay)
{
    const int N = 1 << 10;
    TModelParams p;
    p.R = 0;
    p.Dt = 1e-330L;  // a step in frequency no double can hold
    EXPECT_LT(WorstDifference(WaterMedium, direct::Water, N, p, true), 1e-12);
}
