#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "signal/Errors.h"
#include "signal/Noise.h"
#include "tests/support/DirectModels.h"

using namespace sonavir;

namespace {

TSignalData ExpectedNoise(const TSignalData& in, int N, long double sigma, std::uint32_t seed)
{
    TSignalData out = in;
    direct::AddNoise(out, N, sigma, seed);
    return out;
}

// The generator computes its logarithm and cosine in double precision: equal
// to the extended formula up to a few units in the last place of sigma.
void ExpectNoise(const TSignalData& got, const TSignalData& in, int N, long double sigma, std::uint32_t seed)
{
    const TSignalData expected = ExpectedNoise(in, N, sigma, seed);
    for (int m = 0; m < 2 * N; ++m) {
        const double e = expected[m % 2][m / 2];
        ASSERT_NEAR(got[m % 2][m / 2], e, 1e-14 * static_cast<double>(sigma) + 1e-15 * std::abs(e))
            << "sample " << m << " seed " << seed;
    }
}

TSignalData Pulse(int N)
{
    TSignalData d;
    AllocateSignal(d, N);
    for (int j = 0; j < N / 4; ++j) {
        d[0][j] = std::sin(0.3 * j);
        d[1][j] = -0.5 * std::cos(0.7 * j);
    }
    return d;
}

// The seed from which draw number k (1-based) hits the zero state.
std::uint32_t SeedReachingZeroAt(std::uint64_t k)
{
    const std::uint32_t inverse = 3645876429u;  // 134775813^-1 mod 2^32
    std::uint32_t s = 0;
    for (std::uint64_t i = 0; i < k; ++i) s = (s - 1u) * inverse;
    return s;
}

}  // namespace

TEST(LcgSource, FollowsTheLinearCongruentialRule)
{
    LcgSource s(0);
    EXPECT_EQ(s.Next(), 1 / 4294967296.0L);
    EXPECT_EQ(s.State(), 1u);
    s.Next();
    EXPECT_EQ(s.State(), 134775814u);
    EXPECT_EQ(s.Next(), 3698175007u / 4294967296.0L);
    s.Next();
    EXPECT_EQ(s.State(), 870078620u);
    EXPECT_EQ(SeedReachingZeroAt(1), 649090867u);
}

TEST(AddNormalNoise, DrawsMagnitudeThenAngleInWaveformOrder)
{
    const int N = 64;
    const TSignalData in = Pulse(N);
    const long double peak = SamplePeak(in, N);
    TSignalData d = in;
    AddNormalNoise(d, N, 5, 12345u);
    ExpectNoise(d, in, N, peak / 5, 12345u);
    // A fixed seed repeats; signal-to-noise 0.1 is ten times the peak.
    TSignalData again = in;
    AddNormalNoise(again, N, 5, 12345u);
    EXPECT_EQ(again, d);
    again = in;
    AddNormalNoise(again, N, 0.1L, 12345u);
    ExpectNoise(again, in, N, peak * 10, 12345u);
}

TEST(AddNormalNoise, LongBuffersSplitWithoutChangingTheSequence)
{
    const int N = 1 << 16;
    const TSignalData in = Pulse(N);
    const long double sigma = SamplePeak(in, N) / 2;
    for (std::uint32_t seed : {7u, 4000000000u}) {
        TSignalData d = in;
        AddNormalNoise(d, N, 2, seed);
        ExpectNoise(d, in, N, sigma, seed);
    }
}

TEST(AddNormalNoise, ZeroDrawIsTakenAgain)
{
    // First draw of all, and a magnitude draw deep inside a long buffer.
    for (std::uint64_t k : {1ULL, 2ULL * 70001 + 1}) {
        const int N = k == 1 ? 8 : 1 << 16;
        const std::uint32_t seed = SeedReachingZeroAt(k);
        const TSignalData in = Pulse(N);
        TSignalData d = in;
        AddNormalNoise(d, N, 1, seed);
        ExpectNoise(d, in, N, SamplePeak(in, N), seed);
    }
    // On an angle draw the zero is an ordinary value.
    const int N = 8;
    TSignalData d = Pulse(N);
    AddNormalNoise(d, N, 1, SeedReachingZeroAt(2));
    ExpectNoise(d, Pulse(N), N, SamplePeak(Pulse(N), N), SeedReachingZeroAt(2));
}

TEST(AddNormalNoise, StandardDeviationIsThePeakOverTheRatio)
{
    const int N = 1 << 16;
    TSignalData d;
    AllocateSignal(d, N);
    d[0][0] = 2;  // peak 2, ratio 5: sigma 0.4
    AddNormalNoise(d, N, 5, 99u);
    long double sum = 0, squares = 0;
    for (int m = 1; m < 2 * N; ++m) {
        const long double x = d[m % 2][m / 2];
        sum += x;
        squares += x * x;
    }
    const long double n = 2 * N - 1;
    const long double mean = sum / n;
    const long double sd = std::sqrt(squares / n - mean * mean);
    // About 131000 values: the estimates sit well inside these bounds.
    EXPECT_NEAR(sd, 0.4, 0.4 * 0.03);
    EXPECT_NEAR(mean, 0, 0.4 * 0.02);
}

TEST(AddNormalNoise, SilentSignalGetsNoNoise)
{
    const int N = 256;
    TSignalData d;
    AllocateSignal(d, N);
    AddNormalNoise(d, N, 5);  // clock seed
    for (int i = 0; i < N; ++i) ASSERT_TRUE(d[0][i] == 0 && d[1][i] == 0);
}

TEST(NormalizeEnergy, ScalesToTheGivenEnergy)
{
    const int N = 128;
    const TSignalData in = Pulse(N);
    TSignalData d = in;
    NormalizeEnergy(d, N, 3.5L);
    EXPECT_NEAR(BufferEnergy(d, N), 3.5L, 1e-14);
    const double factor = d[0][1] / in[0][1];
    for (int i = 0; i < N; ++i) ASSERT_NEAR(d[1][i], in[1][i] * factor, 1e-15);

    TSignalData tiny;
    AllocateSignal(tiny, N);
    tiny[1][3] = 1e-300;
    NormalizeEnergy(tiny, N, 1e300L);
    EXPECT_NEAR(tiny[1][3], 1e150, 1e136);

    TSignalData silent;
    AllocateSignal(silent, N);
    NormalizeEnergy(silent, N, 1);
    EXPECT_EQ(BufferEnergy(silent, N), 0);
}
