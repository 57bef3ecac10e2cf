#include <gtest/gtest.h>

#include <cmath>

#include "signal/Ambiguity.h"
#include "signal/Envelope.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/Weighting.h"

using namespace sonavir;

namespace {

struct Probe {
    TSignalData wave;
    int N, M;
    TModelParams p;
};

Probe Make(void (*generator)(TSignalData&, int, int, const TModelParams&), TModelParams p)
{
    Probe r{{}, 0, HalfSampleCount(p.Tc, p.Dt), p};
    r.N = TransformSize(r.M);
    AllocateSignal(r.wave, r.N);
    generator(r.wave, r.N, r.M, p);
    return r;
}

// A long sweep (BT = 200), where the peak's shift is -nu Tc / (2 FD) to a
// small part of a sample.
TModelParams LongSweep()
{
    TModelParams p;
    p.Tc = 0.05L;
    p.FD = 2000;
    p.Fmax = p.F0 + 2 * p.FD;
    p.Dt = 1 / (4 * p.Fmax);
    return p;
}

}  // namespace

TEST(Ambiguity, ZeroDopplerCutIsTheWeightedFilterEnvelope)
{
    const Probe s = Make(LfmPulse, TModelParams{});
    const int N = s.N;
    TSignalData r = s.wave;
    ApplyWindow(r, N, s.M, WindowKind::Hamming);
    const Ambiguity af(s.wave, r, N, s.M, s.p.Dt);
    AmbiguityGrid g;
    g.rows = 5;
    g.maxDoppler = 200;
    const AmbiguityMap map = af.Map(g);

    TSignalData R = r, y = s.wave, filter, env;
    FFT(R, N, 1);
    AllocateSignal(filter, N);
    BuildMatchedFilter(R, N, s.p.Dt, filter);
    FFT(y, N, 1);
    ApplyMatchedFilter(y, N, filter);
    FFT(y, N, -1);
    Envelope(y, N, env);
    const long double scale = 2.0L * N / std::sqrt(BufferEnergy(s.wave, N) * BufferEnergy(r, N));
    // The filter multiplies the packed column 0 (zero frequency and Nyquist)
    // as one complex value; here their products are of the order of 1e-9.
    for (int n = -2 * s.M; n <= 2 * s.M; ++n) {
        const int m = N + n;
        ASSERT_NEAR(map.zeroDoppler[n + 2 * s.M], env[m & 1][m >> 1] * scale, 1e-8) << n;
    }
    // The peak reads the weighting's loss of signal-to-noise ratio.
    EXPECT_NEAR(af.Measure(map).peakDb, -1.344, 0.02);

    // The same bits on one thread, on two, and with every thread refused.
    SetWorkThreads(1);
    const AmbiguityMap one = af.Map(g);
    SetWorkThreads(2);
    const AmbiguityMap two = af.Map(g);
    RefuseThreads(true);
    const AmbiguityMap refused = af.Map(g);
    RefuseThreads(false);
    SetWorkThreads(0);
    EXPECT_EQ(one.values, map.values);
    EXPECT_EQ(two.values, map.values);
    EXPECT_EQ(refused.values, map.values);

    // A stop asked for ends the map at the next checkpoint, whichever worker sees it.
    RunControl control;
    control.RequestStop();
    const RunScope scope(&control);
    EXPECT_THROW(af.Map(g), RunStopped);
}

TEST(Ambiguity, KnownPointsOfTheThreeProbes)
{
    // Radio pulse: |chi(0, nu)| = |sinc(nu Tc)|, first null at 1 / Tc,
    // -3 dB width 0.886 / Tc.
    const Probe radio = Make(RadioPulse, TModelParams{});
    const long double Tc = 2 * radio.M * radio.p.Dt;
    const Ambiguity ra(radio.wave, radio.wave, radio.N, radio.M, radio.p.Dt);
    AmbiguityGrid g;
    g.rows = 1;
    const AmbiguityMeasures rm = ra.Measure(ra.Map(g));
    ASSERT_TRUE(rm.firstNullDoppler && rm.dopplerWidth3db);
    EXPECT_NEAR(*rm.firstNullDoppler * Tc, 1, 0.005);
    EXPECT_NEAR(*rm.dopplerWidth3db * Tc, 0.8859, 0.005);
    EXPECT_NEAR(rm.peakDb, 0, 1e-12);

    // Barker-13, constant envelope: 20 lg sinc(1/4) = -0.912 dB at nu Tc = 1/4.
    const Probe barker = Make(BarkerPulse, TModelParams{});
    const Ambiguity ba(barker.wave, barker.wave, barker.N, barker.M, barker.p.Dt);
    const long double bTc = 2 * barker.M * barker.p.Dt;
    EXPECT_NEAR(20 * std::log10(ba.At(0, 0.25L / bTc).level), -0.912, 0.02);

    // LFM: at Doppler nu the peak moves to -nu Tc / (2 FD); the ridge's slope
    // is -2 FD / Tc.
    const Probe lfm = Make(LfmPulse, LongSweep());
    const Ambiguity la(lfm.wave, lfm.wave, lfm.N, lfm.M, lfm.p.Dt);
    const long double nu = 400, dt = lfm.p.Dt;
    EXPECT_NEAR(la.At(0, nu).peakDelay / dt, -nu * lfm.p.Tc / (2 * lfm.p.FD) / dt, 0.2);
    g.rows = 9;
    g.maxDoppler = 400;
    g.delayColumns = 301;
    const AmbiguityMeasures lm = la.Measure(la.Map(g));
    ASSERT_TRUE(lm.ridgeSlope);
    EXPECT_NEAR(*lm.ridgeSlope / (-2 * lfm.p.FD / lfm.p.Tc), 1, 0.005);
}

TEST(Ambiguity, WidebandRowsMatchTheirNarrowbandDoppler)
{
    // To first order a closing target shifts a carrier by (eta - 1) F0, and
    // at V = 0 the row is the zero-Doppler cut itself.
    const Probe s = Make(RadioPulse, TModelParams{});
    const Ambiguity af(s.wave, s.wave, s.N, s.M, s.p.Dt);
    AmbiguityGrid g;
    g.rows = 9;
    g.wideband = true;
    g.maxVelocity = 12;
    g.delayColumns = 0;
    const AmbiguityMap map = af.Map(g);
    for (int i = 0; i < map.rows; ++i)
        EXPECT_NEAR(map.zeroDelay[i], af.ZeroDelay((map.eta[i] - 1) * s.p.F0), 0.01) << map.velocity[i];
    for (int j = 0; j < map.columns; ++j) ASSERT_NEAR(map.At(4, j), map.zeroDoppler[j], 1e-12) << j;
}
