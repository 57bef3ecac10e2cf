// The sonar-equation level model: true delays, the receiver's noise and the
// budget against the equation; the teaching levels untouched by it.
#include <gtest/gtest.h>

#include <cmath>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/MainState.h"
#include "model/PulseCompression.h"
#include "model/SonarBudget.h"
#include "model/SonarLevels.h"
#include "signal/NumberText.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

struct Window {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
    TSignalData wave;

    Window()
    {
        params.SetLevelModel(kSonarEquation);
        params.SetSignalItem(kRadioPulse);
        state.onTimePlot = [this](const TSignalData& d, int) { wave = d; };
    }
    void Run(int stage)
    {
        state.SelectPath(stage);
        state.Start();
    }
};

}  // namespace

// The echo of a large sphere comes from its front face, 2(R - a)/c after
// emission; the filter matched to the echo itself reads 2R/c. With the
// transducers left out, the envelope's peak after the matched filter shows it.
TEST(SonarLevels, EchoArrivesAtItsTrueDelay)
{
    struct Case {
        const char* R;
        bool echoMatched;
        long double range;  // m, what c t / 2 must read
    };
    for (const Case& c : {Case{"1", false, 999}, Case{"5", false, 4999}, Case{"5", true, 5000}}) {
        SCOPED_TRACE(c.R);
        Window w;
        w.params.SetRText(c.R);
        w.params.SetRadiusText("1");
        w.params.gates[0] = w.params.gates[6] = false;
        w.params.filterOn = true;
        w.state.SetFilterMode(c.echoMatched);
        w.Run(7);
        const long double t = MeasureShown(w.state).envelope.peakTime;
        EXPECT_NEAR(t * kSonarSoundSpeed / 2, c.range, 0.02);
    }
}

// The receiver's noise alone (a source far too weak to matter): its variance
// in the record is NL - DI over the band 0 .. 1/(2 Dt), and it is white, half
// of it in each half of the band; drawn into the probe's waveform (stage 0)
// or after the last stage into the echo's spectrum.
TEST(SonarLevels, ReceiverNoiseHasTheSpectralLevelOverTheRecordsBand)
{
    for (int stage : {0, 7}) {
        SCOPED_TRACE(stage);
        Window w;
        w.params.SetTcText("0,5");
        w.params.SetSlText("-200");
        w.params.SetNlText("55");
        w.params.SetDiText("12");
        w.params.noiseOn = true;
        w.state.noiseSeed = 11;
        w.Run(stage);
        const int N = w.state.SignalSize;
        TSignalData x = w.wave;
        const long double variance = BufferEnergy(x, N) / (2.0L * N);
        EXPECT_NEAR(10 * std::log10(variance), 55 - 12 + 10 * std::log10(RecordBand(w.params.p.Dt)), 0.1);
        FFT(x, N, +1);
        long double low = 0, high = 0;
        for (int k = 1; k < N; ++k) (k < N / 2 ? low : high) += x[0][k] * x[0][k] + x[1][k] * x[1][k];
        EXPECT_NEAR(10 * std::log10(low / high), 0, 0.1);
    }
}

// A narrow-band probe (a 0,1 s radio pulse) meets the equation term by term
// within 0,1 dB at every range; between ranges the output SNR falls by
// 40 lg R + 2 alpha R, as the equation says (the same noise draws at each).
TEST(SonarBudget, NarrowbandProbeMeetsTheEquation)
{
    long double snrAt1 = 0;
    for (const char* R : {"1", "2", "5"}) {
        SCOPED_TRACE(R);
        Window w;
        w.params.SetTcText("0,1");
        w.params.SetRText(R);
        w.params.SetRadiusText("0,1");
        w.state.noiseSeed = 3;
        w.state.SetFilterMode(true);
        const SonarBudget b = ComputeBudget(w.state);
        EXPECT_TRUE(b.narrowband);
        for (const char* term : {"SL", "TL_out", "TS", "TL_back", "EL", "DI", "PG"})
            EXPECT_NEAR(*b.Term(term)->Difference(), 0, 0.1) << term;
        // One record's noise: its level is off by a few hundredths of a dB.
        for (const char* term : {"NL", "SNR_in", "SNR_out"}) EXPECT_NEAR(*b.Term(term)->Difference(), 0, 0.1) << term;
        const long double r = StrToFloat(R);
        const long double alpha = SonarAbsorption(w.state.Request(), w.params.p.F0);
        const long double snr = *b.Term("SNR_out")->simulated;
        if (r == 1) snrAt1 = snr;
        EXPECT_NEAR(snrAt1 - snr, 40 * std::log10(r) + 2 * alpha * (r - 1), 0.1);
    }
    Window teaching;
    teaching.params.SetLevelModel(kTeachingLevels);
    EXPECT_EQ(testsupport::FailureOf([&] { ComputeBudget(teaching.state); }), kBudgetNeedsSonar);
}

// With the teaching levels, the sonar equation's values change nothing at all.
TEST(SonarLevels, TeachingLevelsIgnoreTheSonarValues)
{
    Window plain, other;
    plain.params.SetLevelModel(kTeachingLevels);
    other.params.SetLevelModel(kTeachingLevels);
    other.params.SetSlText("150");
    other.params.SetNlText("90");
    other.params.SetDiText("3");
    other.params.SetAbsorptionItem(kFrancoisGarrison);
    other.params.SetSeaDepthText("4000");
    for (Window* w : {&plain, &other}) {
        w->params.noiseOn = w->params.filterOn = true;
        w->state.noiseSeed = 5;
        w->Run(7);
    }
    EXPECT_EQ(plain.wave, other.wave);
    EXPECT_EQ(plain.state.Shown()->axes.t0, 0);
}
