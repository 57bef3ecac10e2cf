#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/Propagation.h"
#include "signal/Threads.h"

using namespace sonavir;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

double Sample(const TSignalData& d, long long m) { return d[m % 2][m / 2]; }

TSignalData Filled(int N, double v)
{
    TSignalData d;
    d[0].assign(N, v);
    d[1].assign(N, v);
    return d;
}

long double DirectCarrier(long long m, const TModelParams& p) { return std::cos(m * p.W0 * p.Dt); }

long double DirectBarker(long long m, int M, const TModelParams& p)
{
    const int c = static_cast<int>((13.0L / (2 * M)) * m);
    return DirectCarrier(m, p) * BarkerCode[c];
}

long double DirectLfm(long long m, int M, const TModelParams& p)
{
    const long double j = m - M;
    return std::cos((j * p.Dt) * (j * p.Dt) * (2 * kPi * p.FD) / p.Tc + j * p.W0 * p.Dt);
}

// Largest deviation from the direct formula over the whole record, padding
// included (the direct value there is 0).
template <class F>
long double WorstError(const TSignalData& d, int N, int M, F direct)
{
    long double worst = 0;
    for (long long m = 0; m < 2LL * N; ++m) {
        const long double want = m < 2LL * M ? direct(m) : 0.0L;
        worst = std::max(worst, std::fabs(Sample(d, m) - want));
    }
    return worst;
}

}  // namespace

TEST(Generators, EmptyPulseWritesOnlyZeros)
{
    const TModelParams p;
    for (auto gen : {RadioPulse, LfmPulse, BarkerPulse}) {
        TSignalData d = Filled(8, 7.0);
        gen(d, 8, 0, p);
        for (int m = 0; m < 16; ++m) EXPECT_EQ(Sample(d, m), 0.0) << m;
    }
    // With nothing to compute, a zero duration is no division.
    TModelParams zero;
    zero.Tc = 0;
    TSignalData d = Filled(4, 7.0);
    EXPECT_NO_THROW(LfmPulse(d, 4, 0, zero));
    EXPECT_EQ(d[0][0], 0.0);
}

TEST(Generators, RadioPulseFollowsTheCarrierAndPadsWithZeros)
{
    const TModelParams p;
    const int N = 1 << 12, M = 1501;  // pulse end not on a block boundary
    TSignalData d = Filled(N, 7.0);
    RadioPulse(d, N, M, p);
    EXPECT_EQ(Sample(d, 0), 1.0);
    EXPECT_EQ(Sample(d, 2 * M), 0.0);
    EXPECT_LT(WorstError(d, N, M, [&](long long m) { return DirectCarrier(m, p); }), 1e-12L);
}

TEST(Generators, PulseFillingTheRecordLeavesNoPadding)
{
    TModelParams p;
    p.W0 = 2 * kPi * 1000;  // no sample lands on a zero of the carrier
    p.Dt = 1.0L / 7777;
    const int N = 256;
    TSignalData d = Filled(N, 7.0);
    RadioPulse(d, N, N, p);
    for (int m = 0; m < 2 * N; ++m) EXPECT_NE(Sample(d, m), 0.0) << m;
    EXPECT_LT(WorstError(d, N, N, [&](long long m) { return DirectCarrier(m, p); }), 1e-12L);
}

TEST(Generators, LfmPulseIsCentredAndMatchesTheDirectFormula)
{
    const TModelParams p;  // defaults: F0 10300, FD 1024, Tc 0.01
    const int N = 512, M = 247;
    TSignalData d = Filled(N, 7.0);
    LfmPulse(d, N, M, p);
    EXPECT_DOUBLE_EQ(Sample(d, M), 1.0);
    const long double first = std::cos(static_cast<long double>(M) * M * p.Dt * p.Dt * 2 * kPi * p.FD / p.Tc
                                       - M * p.W0 * p.Dt);
    EXPECT_NEAR(Sample(d, 0), first, 1e-13);
    EXPECT_LT(WorstError(d, N, M, [&](long long m) { return DirectLfm(m, M, p); }), 1e-12L);
}

TEST(Generators, LongPulsesStayAccurateAcrossBlocksAndThreads)
{
    // Long enough for the two-thread path; the chirp's phase reaches 1e5 rad.
    TModelParams p;
    p.Tc = 2;
    p.FD = 6024;
    p.W0 = 2 * kPi * 10300;
    p.Dt = 1.0L / 89392;
    const int N = 1 << 21, M = 894000;
    TSignalData d = Filled(N, 7.0);
    LfmPulse(d, N, M, p);
    EXPECT_LT(WorstError(d, N, M, [&](long long m) { return DirectLfm(m, M, p); }), 1e-12L);
    BarkerPulse(d, N, M, p);
    EXPECT_LT(WorstError(d, N, M,
                         [&](long long m) { return DirectBarker(m, M, p); }),
              1e-12L);
}

TEST(Generators, RefusedThreadsLeaveTheWorkToTheCaller)
{
    // A system that grants no thread: the long pulse and the long column
    // loops are done on the calling thread, to the same bits.
    TModelParams p;
    p.Tc = 2;
    p.Dt = 1.0L / 89392;
    const int N = 1 << 21, M = 894000;
    TSignalData threaded = Filled(N, 7.0);
    LfmPulse(threaded, N, M, p);
    TSignalData spectrum = Filled(N, 0.5);
    WaterMedium(true, spectrum, N, p);

    struct Refusal {
        Refusal() { RefuseThreads(true); }
        ~Refusal() { RefuseThreads(false); }
    } refusal;
    TSignalData alone = Filled(N, 7.0);
    LfmPulse(alone, N, M, p);
    EXPECT_EQ(alone, threaded);
    TSignalData spectrumAlone = Filled(N, 0.5);
    WaterMedium(true, spectrumAlone, N, p);
    EXPECT_EQ(spectrumAlone, spectrum);
}

TEST(Generators, BarkerChipsFollowTheCode)
{
    TModelParams p;
    p.W0 = 0;  // a flat carrier shows the chip signs alone
    const int N = 16, M = 13;
    TSignalData d = Filled(N, 7.0);
    BarkerPulse(d, N, M, p);
    for (int m = 0; m < 26; ++m) {
        const bool negative = m == 10 || m == 11 || m == 12 || m == 13 || m == 18 || m == 19 || m == 22 || m == 23;
        EXPECT_EQ(Sample(d, m), negative ? -1.0 : 1.0) << m;
    }
    for (int m = 26; m < 32; ++m) EXPECT_EQ(Sample(d, m), 0.0) << m;
}

TEST(Generators, BarkerChipsOfUnevenLengthKeepTheCarrierRunning)
{
    const TModelParams p;
    const int N = 1024, M = 500;  // 1000 samples: chips of 76 and 77 samples
    TSignalData d = Filled(N, 7.0);
    BarkerPulse(d, N, M, p);
    EXPECT_LT(WorstError(d, N, M,
                         [&](long long m) { return DirectBarker(m, M, p); }),
              1e-12L);
}

TEST(Generators, ZeroDurationChirpFailsAsADivision)
{
    TModelParams p;
    p.Tc = 0;
    TSignalData d = Filled(8, 0.0);
    try {
        LfmPulse(d, 8, 4, p);
        FAIL() << "no failure";
    } catch (const SonavirError& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
}
