#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "signal/Envelope.h"
#include "signal/WinFFT.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// A buffer in waveform layout from its 2N samples.
TSignalData Wave(const std::vector<double>& x)
{
    const int N = static_cast<int>(x.size() / 2);
    TSignalData d;
    d[0].assign(N, 0.0);
    d[1].assign(N, 0.0);
    for (std::size_t m = 0; m < x.size(); ++m) d[m % 2][m / 2] = x[m];
    return d;
}

double At(const TSignalData& d, std::size_t m) { return d[m % 2][m / 2]; }

std::vector<double> EnvelopeOf(const std::vector<double>& x)
{
    TSignalData e;
    Envelope(Wave(x), static_cast<int>(x.size() / 2), e);
    std::vector<double> out(x.size());
    for (std::size_t m = 0; m < x.size(); ++m) out[m] = At(e, m);
    return out;
}

EnvelopeMeasures Measure(const std::vector<double>& e, long double Dt = 1)
{
    return MeasureEnvelope(Wave(e), static_cast<int>(e.size() / 2), Dt);
}

}  // namespace

TEST(Envelope, MatchesTheDirectHilbertPair)
{
    // The Hilbert transform of a record of even length L as a circular
    // convolution: kernel (2/L) cot(pi n / L) at odd n, 0 at even n.
    const int L = 64;
    std::mt19937_64 gen(5);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> x(L);
    for (double& v : x) v = dist(gen);
    const std::vector<double> e = EnvelopeOf(x);
    for (int m = 0; m < L; ++m) {
        long double h = 0;
        for (int n = 1; n < L; n += 2) h += x[(m - n + L) % L] * 2.0L / L / std::tan(kPi * n / L);
        ASSERT_NEAR(e[m], std::sqrt(x[m] * x[m] + h * h), 1e-12) << m;
    }

    // A cosine's envelope is its amplitude, wherever it starts.
    std::vector<double> c(L);
    for (int m = 0; m < L; ++m) c[m] = 3 * std::cos(kPi * m * 5 / (L / 2) + 0.4L);
    for (double v : EnvelopeOf(c)) ASSERT_NEAR(v, 3, 1e-12);

    // From the spectrum a run holds: its own transform gives the same bits,
    // a spectrum whose inverse transform the waveform is the same within
    // rounding.
    const int N = L / 2;
    const TSignalData wave = Wave(x);
    TSignalData direct, spectrum = wave, fromForward, fromInverse;
    Envelope(wave, N, direct);
    FFT(spectrum, N, +1);
    EnvelopeFromSpectrum(wave, spectrum, N, fromForward);
    EXPECT_EQ(fromForward[0], direct[0]);
    EXPECT_EQ(fromForward[1], direct[1]);
    TSignalData inverse = spectrum;
    FFT(inverse, N, -1);
    EnvelopeFromSpectrum(inverse, spectrum, N, fromInverse);
    for (int m = 0; m < L; ++m) ASSERT_NEAR(At(fromInverse, m), e[m], 1e-12) << m;
}

TEST(Envelope, OfAGaussianWindowedToneIsTheWindow)
{
    const int L = 1024;
    const double centre = 500, sigma = 40, w = 2 * kPi * 0.2;
    std::vector<double> x(L), g(L);
    for (int m = 0; m < L; ++m) {
        g[m] = std::exp(-0.5 * std::pow((m - centre) / sigma, 2));
        x[m] = g[m] * std::cos(w * m + 1);
    }
    const std::vector<double> e = EnvelopeOf(x);
    for (int m = 0; m < L; ++m) ASSERT_NEAR(e[m], g[m], 1e-12) << m;
}

TEST(EnvelopeMeasures, OfAnEnvelopeBuiltWithKnownLobes)
{
    // Peak 1 at 30; main lobe 27 .. 33 (minima 0.1); a 0.3 sidelobe on the
    // left, a 0.25 one on the right, a floor of 0.05 out to the ends.
    std::vector<double> e(64, 0.05);
    const double lobe[] = {0.1, 0.5, 0.8, 1.0, 0.8, 0.5, 0.1};
    for (int i = 0; i < 7; ++i) e[27 + i] = lobe[i];
    e[26] = 0.3;
    e[34] = 0.25;
    const EnvelopeMeasures r = Measure(e, 0.5);

    EXPECT_EQ(r.peak, 1);
    EXPECT_EQ(r.peakTime, 15);
    // Crossings of 1/sqrt(2) between 28 (0.5) and 29 (0.8), and 31 and 32.
    const double t = (1 / std::sqrt(2.0) - 0.5) / 0.3;
    ASSERT_TRUE(r.width3db);
    EXPECT_NEAR(static_cast<double>(*r.width3db), (32 - t - (28 + t)) * 0.5, 1e-15);
    EXPECT_EQ(r.lobeFirst, 27);
    EXPECT_EQ(r.lobeLast, 33);
    ASSERT_TRUE(r.pslDb);
    EXPECT_NEAR(static_cast<double>(*r.pslDb), 20 * std::log10(0.3), 1e-12);
    double inside = 0, outside = 0;
    for (int m = 0; m < 64; ++m) (m >= 27 && m <= 33 ? inside : outside) += e[m] * e[m];
    ASSERT_TRUE(r.islDb);
    EXPECT_NEAR(static_cast<double>(*r.islDb), 10 * std::log10(outside / inside), 1e-12);
}

// Level stretches on both flanks of the main lobe: its edges pass over them
// to the minima beyond, so neither stretch is taken for a sidelobe.
TEST(EnvelopeMeasures, MainLobeRunsOverALevelStretchOnItsFlank)
{
    std::vector<double> e(32, 0.05);
    const double lobe[] = {0.1, 0.4, 0.4, 0.4, 0.7, 1.0, 0.7, 0.4, 0.4, 0.1};
    for (int i = 0; i < 10; ++i) e[10 + i] = lobe[i];
    e[9] = e[20] = 0.2;  // the first sidelobes
    const EnvelopeMeasures r = Measure(e);
    EXPECT_EQ(r.lobeFirst, 10);
    EXPECT_EQ(r.lobeLast, 19);
    ASSERT_TRUE(r.pslDb);
    EXPECT_NEAR(static_cast<double>(*r.pslDb), 20 * std::log10(0.2), 1e-12);
}

TEST(EnvelopeMeasures, MissingMeasuresStayEmpty)
{
    // Level everywhere: the main lobe is the whole record and nothing falls
    // to -3 dB; the peak is the first of the equal values.
    const EnvelopeMeasures flat = Measure(std::vector<double>(16, 2));
    EXPECT_EQ(flat.peakTime, 0);
    EXPECT_FALSE(flat.width3db);
    EXPECT_FALSE(flat.pslDb);
    EXPECT_FALSE(flat.islDb);

    // A peak on the first sample falls on one side only. An envelope that
    // ends in zeros has no sidelobe: the main lobe runs on to the end.
    std::vector<double> edge(16, 0.0);
    edge[0] = 1;
    edge[1] = 0.5;
    edge[3] = 0.2;
    const EnvelopeMeasures r = Measure(edge);
    EXPECT_FALSE(r.width3db);
    EXPECT_EQ(r.lobeLast, 2);
    ASSERT_TRUE(r.pslDb);
    EXPECT_NEAR(static_cast<double>(*r.pslDb), 20 * std::log10(0.2), 1e-12);
    edge[3] = 0;
    EXPECT_FALSE(Measure(edge).pslDb);
    EXPECT_FALSE(Measure(edge).islDb);

    // A silent waveform has no level to refer to, as its plot has none.
    EXPECT_EQ(testsupport::FailureOf([] { Measure(std::vector<double>(8, 0.0)); }),
              "Floating point division by zero");
}
