#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "signal/WinFFT.h"

using namespace sonavir;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

double& Sample(TSignalData& d, long long m) { return d[m % 2][m / 2]; }

TSignalData Zeros(int N)
{
    TSignalData d;
    d[0].assign(N, 0.0);
    d[1].assign(N, 0.0);
    return d;
}

TSignalData Random(int N, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    TSignalData d = Zeros(N);
    for (auto& row : d)
        for (auto& v : row) v = dist(gen);
    return d;
}

// cos and sin of pi i / N for i in 0 .. 2N-1, so the direct sums below can
// index exact angles instead of accumulating them.
struct UnitCircle {
    std::vector<long double> c, s;
    explicit UnitCircle(int N) : c(2 * N), s(2 * N)
    {
        for (int i = 0; i < 2 * N; ++i) {
            c[i] = std::cos(kPi * i / N);
            s[i] = std::sin(kPi * i / N);
        }
    }
};

// The spectrum of the buffer's waveform, straight from the defining sums.
TSignalData DirectSpectrum(TSignalData x, int N)
{
    const UnitCircle u(N);
    TSignalData out = Zeros(N);
    for (int k = 0; k < N; ++k) {
        long double re = 0, im = 0;
        for (long long m = 0; m < 2LL * N; ++m) {
            const long double v = Sample(x, m);
            const long long i = (m * k) % (2LL * N);
            re += v * u.c[i];
            im += v * u.s[i];
        }
        out[0][k] = static_cast<double>(re / (2 * N));
        out[1][k] = static_cast<double>(im / (2 * N));
    }
    long double alt = 0;
    for (long long m = 0; m < 2LL * N; ++m) alt += (m % 2 ? -1.0L : 1.0L) * Sample(x, m);
    out[1][0] = static_cast<double>(-alt / (2 * N));
    return out;
}

// The waveform of a spectrum, straight from the inverse sum.
TSignalData DirectWaveform(const TSignalData& S, int N)
{
    const UnitCircle u(N);
    TSignalData out = Zeros(N);
    for (long long m = 0; m < 2LL * N; ++m) {
        long double v = S[0][0] - (m % 2 ? -1.0L : 1.0L) * S[1][0];
        for (int k = 1; k < N; ++k) {
            const long long i = (m * k) % (2LL * N);
            v += 2 * (S[0][k] * u.c[i] + S[1][k] * u.s[i]);
        }
        Sample(out, m) = static_cast<double>(v);
    }
    return out;
}

long double MaxDiff(const TSignalData& a, const TSignalData& b, int N)
{
    long double worst = 0;
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < N; ++i) worst = std::max(worst, std::fabs((long double)a[r][i] - b[r][i]));
    return worst;
}

// Every column but `keep` is zero (within tol) and column keep is (re, im).
void ExpectOnlyColumn(const TSignalData& d, int N, int keep, double re, double im, double tol)
{
    for (int k = 0; k < N; ++k) {
        EXPECT_NEAR(d[0][k], k == keep ? re : 0.0, tol) << "column " << k << " of " << N;
        EXPECT_NEAR(d[1][k], k == keep ? im : 0.0, tol) << "column " << k << " of " << N;
    }
}

}  // namespace

TEST(WinFFT, ConstantAndAlternatingWaveformsLandInColumnZero)
{
    for (int N : {2, 4, 8, 64}) {
        TSignalData d = Zeros(N);
        for (int m = 0; m < 2 * N; ++m) Sample(d, m) = 1;
        FFT(d, N, 1);
        ExpectOnlyColumn(d, N, 0, 1.0, 0.0, 1e-15);

        d = Zeros(N);
        for (int m = 0; m < 2 * N; ++m) Sample(d, m) = m % 2 ? -1 : 1;
        FFT(d, N, 1);
        ExpectOnlyColumn(d, N, 0, 0.0, -1.0, 1e-15);
    }
}

TEST(WinFFT, SingleCosinesAndSinesLandInTheirBins)
{
    for (int N : {2, 8, 32}) {
        for (int k = 1; k < N; ++k) {
            TSignalData c = Zeros(N), s = Zeros(N);
            for (int m = 0; m < 2 * N; ++m) {
                Sample(c, m) = static_cast<double>(std::cos(kPi * ((m * k) % (2 * N)) / N));
                Sample(s, m) = static_cast<double>(std::sin(kPi * ((m * k) % (2 * N)) / N));
            }
            FFT(c, N, 1);
            ExpectOnlyColumn(c, N, k, 0.5, 0.0, 1e-15);
            FFT(s, N, 1);
            ExpectOnlyColumn(s, N, k, 0.0, 0.5, 1e-15);
        }
    }
}

TEST(WinFFT, ForwardMatchesTheDirectSumsAndInverseTheInverseSum)
{
    const int N = 1 << 10;
    TSignalData x = Random(N, 7);
    const TSignalData want = DirectSpectrum(x, N);
    FFT(x, N, 1);
    long double peak = 0;
    for (int k = 0; k < N; ++k) peak = std::max(peak, std::hypot((long double)want[0][k], want[1][k]));
    EXPECT_LE(MaxDiff(x, want, N), 1e-13L * peak);

    const int n = 256;
    TSignalData S = Random(n, 8);
    const TSignalData wave = DirectWaveform(S, n);
    FFT(S, n, -1);
    EXPECT_LE(MaxDiff(S, wave, n), 1e-12L);
}

TEST(WinFFT, RoundTripReproducesTheWaveform)
{
    for (int N = 1; N <= 1 << 12; N *= 2) {
        const TSignalData x = Random(N, N);
        TSignalData d = x;
        FFT(d, N, 1);
        FFT(d, N, -1);
        EXPECT_LE(MaxDiff(d, x, N), 1e-14L) << N;
    }
    const int N = 1 << 20;
    const TSignalData x = Random(N, 3);
    TSignalData d = x;
    FFT(d, N, 1);
    FFT(d, N, -1);
    EXPECT_LE(MaxDiff(d, x, N), 1e-11L * PeakValue(x, N, 1));
}

TEST(WinFFT, SizesBeyondTwoToTheNineteenStillTransform)
{
    // A single bin at 2^21 checks the angles of the deepest stages directly,
    // which a round trip alone could miss.
    const int N = 1 << 21, k = 123457;
    TSignalData d = Zeros(N);
    for (long long m = 0; m < 2LL * N; ++m)
        Sample(d, m) = static_cast<double>(std::cos(kPi * ((m * k) % (2LL * N)) / N));
    const TSignalData x = d;
    FFT(d, N, 1);
    EXPECT_NEAR(d[0][k], 0.5, 1e-12);
    EXPECT_NEAR(d[1][k], 0.0, 1e-12);
    long double leak = 0;
    for (int i = 0; i < N; ++i)
        if (i != k) leak = std::max(leak, std::hypot((long double)d[0][i], d[1][i]));
    EXPECT_LT(leak, 1e-12L);
    FFT(d, N, -1);
    EXPECT_LE(MaxDiff(d, x, N), 1e-11L);
}

TEST(WinFFT, SingleColumnBufferHoldsTheTwoSampleTransform)
{
    TSignalData d = Zeros(1);
    d[0][0] = 3;
    d[1][0] = 1;
    FFT(d, 1, 1);
    EXPECT_DOUBLE_EQ(d[0][0], 2.0);   // mean of the two samples
    EXPECT_DOUBLE_EQ(d[1][0], -1.0);  // negated Nyquist value
    FFT(d, 1, -1);
    EXPECT_DOUBLE_EQ(d[0][0], 3.0);
    EXPECT_DOUBLE_EQ(d[1][0], 1.0);
}

TEST(WinFFT, PeakValueModes)
{
    TSignalData d = Zeros(4);
    d[0] = {3, -1, 0.5, 2};
    d[1] = {4, 0, -7, 1};
    EXPECT_EQ(PeakValue(d, 4, 0), 3.0L);
    EXPECT_EQ(PeakValue(d, 4, 1), 7.0L);
    EXPECT_NEAR(PeakValue(d, 4, 2), std::sqrt(0.25L + 49), 1e-18);
    // Column 0 is one complex value: modulus 5, not its parts.
    d[1][2] = 0;
    EXPECT_EQ(PeakValue(d, 4, 2), 5.0L);
    // Only the first N columns count.
    EXPECT_EQ(PeakValue(d, 2, 1), 4.0L);
    TSignalData neg = Zeros(2);
    neg[0] = {-9, 1};
    EXPECT_EQ(PeakValue(neg, 2, 0), 9.0L);
}

TEST(WinFFT, EnergyAccumulatesInExtendedPrecision)
{
    // In doubles 1e16 + 1 is 1e16, so every unit below would be lost.
    const int N = 1024;
    TSignalData d = Zeros(N + 1);
    d[0][0] = 1e8;
    for (int i = 1; i < N; ++i) d[0][i] = 1;
    for (int i = 0; i < N; ++i) d[1][i] = -1;
    d[1][N] = 1e9;  // beyond N: not counted
    EXPECT_EQ(BufferEnergy(d, N), 1e16L + (N - 1) + N);
}

TEST(WinFFT, ScaleBufferTouchesOnlyTheFirstNColumns)
{
    TSignalData d = Zeros(3);
    d[0] = {1, -2, 5};
    d[1] = {0.5, 4, 5};
    ScaleBuffer(d, 2, 0.25L);
    EXPECT_EQ(d[0], (TSignalRow{0.25, -0.5, 5}));
    EXPECT_EQ(d[1], (TSignalRow{0.125, 1, 5}));
}
