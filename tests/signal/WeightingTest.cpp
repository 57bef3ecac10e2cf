#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "signal/Weighting.h"

using namespace sonavir;

TEST(Weighting, LossMatchesTheTheoryOfEachWindow)
{
    // 10 lg((sum w)^2 / (L sum w^2)) of the continuous windows; Taylor's from
    // its coefficients (nbar 4, -35 dB): 10 lg(1 / (1 + 2 sum F_m^2)).
    const struct {
        WindowKind kind;
        double db;
    } cases[] = {{WindowKind::None, 0},          {WindowKind::Hamming, -1.344}, {WindowKind::Hann, -1.761},
                 {WindowKind::Blackman, -2.372}, {WindowKind::Taylor, -0.914}};
    for (const auto& c : cases)
        for (long long L : {7LL, 494LL, 40001LL})
            EXPECT_NEAR(WeightingLossDb(c.kind, L), c.db, 1e-3) << static_cast<int>(c.kind) << " L " << L;
}

TEST(Weighting, TaylorSpectrumHoldsItsSidelobesAtMinus35Db)
{
    // The window's own spectrum, zero-padded: the first null where Taylor's
    // dilated pattern puts it, sigma sqrt(A^2 + 1/4) bins, and no sidelobe
    // above the design level.
    const int L = 1000, P = 1 << 16;
    const std::vector<double> w = WindowSamples(WindowKind::Taylor, L);
    std::vector<double> re(P, 0.0), im(P, 0.0);
    std::copy(w.begin(), w.end(), re.begin());
    ComplexFFT(re.data(), im.data(), P, 1);
    std::vector<double> mag(P / 2);
    for (int k = 0; k < P / 2; ++k) mag[k] = std::hypot(re[k], im[k]);
    int null = 1;
    while (mag[null + 1] < mag[null]) ++null;
    const double A = std::acosh(std::pow(10.0, 35.0 / 20)) / std::numbers::pi;
    const double sigma2 = 16 / (A * A + 3.5 * 3.5);
    EXPECT_NEAR(null * double(L) / P, std::sqrt(sigma2 * (A * A + 0.25)), 0.01);
    double side = 0;
    for (int k = null; k < P / 2; ++k) side = std::max(side, mag[k]);
    EXPECT_NEAR(20 * std::log10(side / mag[0]), -35, 0.3);
}

TEST(Weighting, WindowCoversThePulseOnly)
{
    const int N = 64, M = 20;
    TSignalData d;
    AllocateSignal(d, N);
    for (auto& row : d) std::fill(row.begin(), row.end(), 2.0);
    const TSignalData kept = d;
    ApplyWindow(d, N, M, WindowKind::None);
    EXPECT_EQ(d, kept);
    ApplyWindow(d, N, M, WindowKind::Hann);
    for (int m = 0; m < 2 * N; ++m) {
        const double expected =
            m < 2 * M ? 2 * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * (m + 0.5) / (2 * M))) : 2.0;
        EXPECT_NEAR(d[m % 2][m / 2], expected, 1e-15) << m;
    }
}
