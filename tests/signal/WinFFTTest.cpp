#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>

#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/WinFFT.h"
#include "tests/support/FailureOf.h"

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

// The textbook algorithm, step by step in extended precision: packed
// complex radix-2 transform with running rotors, then the real-spectrum
// split. Slow, but independent of the blocking and tables of the real one.
void ReferenceFFT(TSignalData& d, int N, int dir)
{
    int n = 0;
    while ((1 << n) < N) ++n;
    std::vector<long double> re(d[0].begin(), d[0].begin() + N), im(d[1].begin(), d[1].begin() + N);
    std::vector<long double> c(n + 1), s(n + 1);
    c[0] = -1;
    s[0] = 0;
    for (int k = 1; k <= n; ++k) {
        c[k] = std::sqrt((c[k - 1] + 1) / 2);
        s[k] = k == 1 ? 1.0L : s[k - 1] / (2 * c[k]);
    }
    auto complexPart = [&] {
        for (int i = 1, j = N / 2; i <= N - 2; ++i) {
            if (i < j) std::swap(re[i], re[j]), std::swap(im[i], im[j]);
            int k = N / 2;
            for (; k <= j; k /= 2) j -= k;
            j += k;
        }
        for (int st = 0; st < n; ++st) {
            const int L = 1 << st;
            long double wr = 1, wi = 0;
            for (int q = 0; q < L; ++q) {
                for (int a = q; a < N; a += 2 * L) {
                    const int b = a + L;
                    const long double tr = re[b] * wr + im[b] * wi, ti = im[b] * wr - re[b] * wi;
                    re[b] = re[a] - tr, im[b] = im[a] - ti;
                    re[a] += tr, im[a] += ti;
                }
                const long double nr = wr * c[st] - wi * dir * s[st];
                wi = wr * dir * s[st] + wi * c[st];
                wr = nr;
            }
        }
    };
    auto realPart = [&] {
        if (dir == -1)
            for (auto& v : im) v = -v;
        const long double cs = c[n], sn = dir * s[n];
        long double wr = dir, wi = 0;
        for (int i = 1; i < N / 2; ++i) {
            const int j = N - i;
            const long double h1r = re[i] + re[j], h1i = im[i] - im[j], h2r = im[i] + im[j], h2i = re[j] - re[i];
            const long double nr = wr * cs - wi * sn;
            wi = wi * cs + wr * sn;
            wr = nr;
            const long double tr = h2r * wr + h2i * wi, ti = h2i * wr - h2r * wi;
            re[i] = h1r + tr, im[i] = h1i + ti, re[j] = h1r - tr, im[j] = ti - h1i;
        }
        const long double e = re[0], f = im[0];
        re[0] = e + f, im[0] = e - f;
        re[N / 2] *= 2, im[N / 2] *= -2;
        if (dir == 1) {
            re[0] *= 2, im[0] *= 2;
            for (auto& v : im) v = -v;
        }
    };
    if (dir == 1) {
        for (int i = 0; i < N; ++i) re[i] /= 4 * N, im[i] /= 4 * N;
        complexPart();
        realPart();
    } else {
        realPart();
        complexPart();
    }
    for (int i = 0; i < N; ++i) d[0][i] = static_cast<double>(re[i]), d[1][i] = static_cast<double>(im[i]);
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

TEST(WinFFT, AgreesWithTheTextbookAlgorithmAcrossTheCacheBlockSizes)
{
    // Sizes around the point where stages stop fitting in cache and start
    // running as whole passes, radix-4 and radix-2 alike.
    for (int N = 1 << 11; N <= 1 << 16; N *= 2) {
        for (int dir : {1, -1}) {
            const TSignalData x = Random(N, N + dir);
            TSignalData fast = x, slow = x;
            FFT(fast, N, static_cast<std::int8_t>(dir));
            ReferenceFFT(slow, N, dir);
            const long double peak = SamplePeak(slow, N);
            EXPECT_LE(MaxDiff(fast, slow, N), 1e-13L * peak) << N << " direction " << dir;
        }
    }
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
    EXPECT_LE(MaxDiff(d, x, N), 1e-11L * SamplePeak(x, N));
}

TEST(WinFFT, SizesBeyondTwoToTheNineteenStillTransform)
{
    // One impulse spreads over every column with modulus 1/2N and phase
    // pi m0 k / N, so every twiddle of every stage shows. 2^23 is also past
    // the size where the transform stops keeping a table of roots.
    const int N = 1 << 23;
    const long long m0 = 2LL * 3141593 + 1;
    TSignalData d = Zeros(N);
    Sample(d, m0) = 1;
    FFT(d, N, 1);
    // Column 0 pairs the mean with the Nyquist value: 1/2N each.
    EXPECT_NEAR(d[0][0] * (2.0 * N), 1.0, 1e-12);
    EXPECT_NEAR(d[1][0] * (2.0 * N), 1.0, 1e-12);
    long double worst = 0;
    for (int k = 1; k < N; ++k) {
        const long double modulus = std::hypot((long double)d[0][k], d[1][k]) * (2.0L * N);
        worst = std::max(worst, std::fabs(modulus - 1));
    }
    EXPECT_LT(worst, 1e-12L);
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> column(1, N - 1);
    for (int t = 0; t < 4096; ++t) {
        const int k = column(gen);
        const long double angle = kPi * ((m0 * k) % (2LL * N)) / N;
        ASSERT_NEAR(d[0][k] * (2.0 * N), std::cos(angle), 1e-12) << k;
        ASSERT_NEAR(d[1][k] * (2.0 * N), std::sin(angle), 1e-12) << k;
    }
    FFT(d, N, -1);
    for (long long m = 0; m < 2LL * N; ++m) ASSERT_NEAR(Sample(d, m), m == m0 ? 1.0 : 0.0, 1e-12) << m;
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

TEST(WinFFT, SampleAndColumnPeaks)
{
    TSignalData d = Zeros(4);
    d[0] = {3, -1, 0.5, 2};
    d[1] = {4, 0, -7, 1};
    long long at = -1;
    EXPECT_EQ(SamplePeak(d, 4), 7.0L);
    EXPECT_EQ(SamplePeakAt(d, 4, at), 7.0L);
    EXPECT_EQ(at, 5);  // row 1 of column 2
    EXPECT_NEAR(ColumnPeak(d, 4), std::sqrt(0.25L + 49), 1e-18);
    // Column 0 is one complex value: modulus 5, not its parts.
    d[1][2] = 0;
    EXPECT_EQ(ColumnPeak(d, 4), 5.0L);
    // Only the first N columns count, and the first of equal peaks is found.
    EXPECT_EQ(SamplePeak(d, 2), 4.0L);
    TSignalData neg = Zeros(2);
    neg[0] = {-9, 1};
    neg[1] = {9, 0};
    EXPECT_EQ(SamplePeakAt(neg, 2, at), 9.0L);
    EXPECT_EQ(at, 0);
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

namespace {

using testsupport::FailureOf;

}  // namespace

TEST(WinFFT, ResultsBeyondTheDoubleRangeFailAsOverflow)
{
    // A spectrum near the top of the double range (column 0 alone doubles it): the inverse sums 2N
    // columns unscaled, which no double can hold.
    for (int N : {1, 8, 1 << 14, 1 << 18}) {
        TSignalData d = Zeros(N);
        for (int i = 0; i < N; ++i) {
            d[0][i] = 0.75 * DBL_MAX;
            d[1][i] = -0.75 * DBL_MAX;
        }
        EXPECT_EQ(FailureOf([&] { FFT(d, N, -1); }), "Floating point overflow") << N;
    }
    // The forward direction scales first, so even the largest samples fit.
    TSignalData big = Zeros(64);
    for (int i = 0; i < 64; ++i) big[0][i] = big[1][i] = i % 2 ? DBL_MAX : -DBL_MAX;
    EXPECT_EQ(FailureOf([&] { FFT(big, 64, 1); }), "");
    // A sound transform leaves the caller's own flags as they were.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_DIVBYZERO);
    TSignalData d = Random(16, 3);
    FFT(d, 16, 1);
    EXPECT_TRUE(std::fetestexcept(FE_DIVBYZERO));
    EXPECT_FALSE(std::fetestexcept(FE_OVERFLOW | FE_INVALID));
    std::feclearexcept(FE_ALL_EXCEPT);

    TSignalData s = Zeros(2);
    s[0] = {1e300, 1};
    s[1] = {2, -1e300};
    EXPECT_EQ(FailureOf([&] { ScaleBuffer(s, 2, 1e10L); }), "Floating point overflow");
    for (const auto& row : s)
        for (double v : row) EXPECT_TRUE(std::isfinite(v));
    s[0] = {1e-300, 3};
    ScaleBuffer(s, 1, 1e-300L);  // underflow is silent
    EXPECT_EQ(s[0][0], 0.0);
}

TEST(ComplexFFT, MatchesTheDirectSumAndAPairScalesByN)
{
    for (int N : {1, 2, 4, 8, 64, 1024}) {
        SCOPED_TRACE(N);
        std::vector<double> re(N), im(N);
        for (int i = 0; i < N; ++i) {
            re[i] = std::sin(0.37 * i) + 0.25 * (i % 3);
            im[i] = std::cos(1.1 * i * i) - 0.5;
        }
        const std::vector<double> r0 = re, i0 = im;
        ComplexFFT(re.data(), im.data(), N, +1);
        for (int k = 0; k < N; ++k) {
            long double sr = 0, si = 0;
            for (int n = 0; n < N; ++n) {
                const long double a = -2 * std::numbers::pi_v<long double> * k * n / N;
                sr += r0[n] * std::cos(a) - i0[n] * std::sin(a);
                si += r0[n] * std::sin(a) + i0[n] * std::cos(a);
            }
            ASSERT_NEAR(re[k], static_cast<double>(sr), 1e-12 * N);
            ASSERT_NEAR(im[k], static_cast<double>(si), 1e-12 * N);
        }
        ComplexFFT(re.data(), im.data(), N, -1);
        for (int n = 0; n < N; ++n) {
            ASSERT_NEAR(re[n] / N, r0[n], 1e-13);
            ASSERT_NEAR(im[n] / N, i0[n], 1e-13);
        }
    }
}

TEST(WinFFT, ThreadsAndRefusedThreadsGiveTheSameBits)
{
    // Large transforms share their passes among threads; a system that
    // refuses the threads leaves the work to the caller. Either way every
    // output bit is the one a single thread gives.
    for (int N : {1 << 18, 1 << 20}) {
        const TSignalData x = Random(N, N);
        std::vector<TSignalData> out;
        for (int mode : {1, 2, 0}) {  // threads; 0: two asked for, none granted
            SetWorkThreads(mode == 1 ? 1 : 2);
            RefuseThreads(mode == 0);
            TSignalData forward = x, inverse = x, complex = x;
            FFT(forward, N, 1);
            FFT(inverse, N, -1);
            ComplexFFT(complex[0].data(), complex[1].data(), N, -1);
            for (const TSignalData* d : {&forward, &inverse, &complex}) out.push_back(*d);
        }
        RefuseThreads(false);
        SetWorkThreads(0);
        for (std::size_t k = 3; k < out.size(); ++k)
            for (int r = 0; r < 2; ++r)
                EXPECT_EQ(std::memcmp(out[k][r].data(), out[k % 3][r].data(), N * sizeof(double)), 0)
                    << N << " result " << k;
    }
}

TEST(WinFFT, AStopEndsALargeTransformWithinAPieceOfEveryThread)
{
    const int N = 1 << 20;
    TSignalData d = Random(N, 9);
    for (int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        SetWorkThreads(threads);
        RunControl control;
        const RunScope scope(&control);
        control.Plan(1);
        control.BeginStep("transform", 1);
        std::atomic<int> seen{0};
        constexpr int kStopAt = 250;  // well into the transform
        control.onCheckpoint = [&] {
            if (++seen == kStopAt) control.RequestStop();
        };
        EXPECT_THROW(FFT(d, N, 1), RunStopped);
        // Each other thread finishes the piece in hand and no more.
        EXPECT_LE(seen.load(), kStopAt + threads - 1);
        EXPECT_GT(control.Percent(), 10);
        EXPECT_LT(control.Percent(), 90);
    }
    SetWorkThreads(0);
}
