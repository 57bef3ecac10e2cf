#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "signal/Antenna.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/Propagation.h"
#include "signal/WinFFT.h"
#include "tests/support/DirectModels.h"

using namespace sonavir;

namespace {

// A main window object with its parameter set and picture, recording what
// the run hands to the two plots.
struct Harness {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
    TSignalData wave, spectrum;
    int waveCalls = 0, spectrumCalls = 0, statusCalls = 0, memoryCalls = 0;
    int plotN = 0;

    Harness()
    {
        state.onTimePlot = [this](const TSignalData& d, int N) {
            wave = d;
            plotN = N;
            ++waveCalls;
        };
        state.onSpectrumPlot = [this](const TSignalData& d, int N) {
            spectrum = d;
            ++spectrumCalls;
            plotN = N;
        };
        state.onStatusChanged = [this] { ++statusCalls; };
        state.onMemoryFigures = [this] { ++memoryCalls; };
    }

    void RunStage(int stage)
    {
        state.SelectModel(0);
        state.SelectPath(stage);
        state.Start();
    }
};

// The default probe (LFM) as a spectrum, sized as the run sizes it.
TSignalData ProbeSpectrum(const ModelParameters& params, int& N)
{
    const int M = HalfSampleCount(params.p.Tc, params.p.Dt);
    N = TransformSize(M);
    TSignalData s;
    AllocateSignal(s, N);
    LfmPulse(s, N, M, params.p);
    FFT(s, N, +1);
    return s;
}

// Stage k of the echo path by hand (wide-band antenna, the default).
void ApplyStageByHand(int k, TSignalData& s, int N, const ModelParameters& params)
{
    switch (k) {
    case 1:
    case 7:
        WidebandAntenna(true, s, N, params.p, params.kText);
        break;
    case 2:
    case 6:
        WaterMedium(true, s, N, params.p);
        break;
    case 3:
    case 5:
        SeabedLayer(true, s, N, params.p);
        break;
    case 4:
        SphereTarget(true, s, N, params.p);
        break;
    }
}

// Stage k of the echo path from the direct models (wide-band antenna, the
// default), independent of the library's column loops.
void DirectStage(int k, TSignalData& s, int N, const ModelParameters& params)
{
    switch (k) {
    case 1:
    case 7:
        direct::Wideband(true, s, N, params.p, params.kText);
        break;
    case 2:
    case 6:
        direct::Water(true, s, N, params.p);
        break;
    case 3:
    case 5:
        direct::Seabed(true, s, N, params.p);
        break;
    case 4:
        direct::Sphere(true, s, N, params.p);
        break;
    }
}

void ExpectBuffersNear(const TSignalData& actual, const TSignalData& expected, int N,
                       double relTol)
{
    ASSERT_GE(actual[0].size(), static_cast<std::size_t>(N));
    double peak = 0;
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < N; ++i) peak = std::max(peak, std::abs(expected[r][i]));
    ASSERT_GT(peak, 0);
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < N; ++i)
            ASSERT_NEAR(actual[r][i], expected[r][i], relTol * peak) << "row " << r << " col " << i;
}

bool PictureHasForeground(const Picture& picture, TColor back)
{
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.PixelAt(x, y) != back) return true;
    return false;
}

}  // namespace

TEST(MainStateRun, DefaultRunSizesFiguresAndStatus)
{
    Harness h;
    EXPECT_FALSE(h.state.imageMenuEnabled);
    h.state.Start();

    EXPECT_EQ(h.state.RealSignalSize, 247);
    EXPECT_EQ(h.state.SignalSize, 512);
    EXPECT_EQ(h.params.realSizeText, "494");
    EXPECT_EQ(h.params.paddedSizeText, "1024");
    EXPECT_EQ(h.params.bytesText, "8192");
    EXPECT_EQ(h.memoryCalls, 1);
    EXPECT_EQ(h.params.tcText, "0,01");

    EXPECT_EQ(h.waveCalls, 1);
    EXPECT_EQ(h.spectrumCalls, 1);
    EXPECT_EQ(h.plotN, 512);
    EXPECT_EQ(h.state.statusText, "Сигнал - Модель");
    EXPECT_EQ(h.statusCalls, 2);  // blanked, then the result
    EXPECT_TRUE(h.state.imageMenuEnabled);
    EXPECT_TRUE(PictureHasForeground(h.picture, h.settings.PlotBackColor));

    // Nothing of the run stays allocated.
    EXPECT_TRUE(h.state.Signal[0].empty());
    EXPECT_TRUE(h.state.FilterRef[0].empty());

    // The emitted probe at stage 0 is the generator's own output.
    TSignalData probe;
    AllocateSignal(probe, 512);
    LfmPulse(probe, 512, 247, h.params.p);
    EXPECT_EQ(h.wave[0], probe[0]);
    EXPECT_EQ(h.wave[1], probe[1]);
}

TEST(MainStateRun, StartRestoresFullSettingsFormAndBlackOnWhiteFill)
{
    Harness h;
    h.settings.shortForm = true;
    h.settings.SetColorItem(1);
    h.state.Start();
    EXPECT_FALSE(h.settings.shortForm);
    // The fill is the background colour of the moment: white; the corner is
    // outside both plot frames.
    EXPECT_EQ(h.picture.PixelAt(h.picture.Width() - 1, h.picture.Height() - 1), kWhite);
}

TEST(MainStateRun, EveryStageIsTheProductOfItsResponsesInPathOrder)
{
    for (int stage = 1; stage <= 7; ++stage) {
        SCOPED_TRACE(stage);
        Harness h;
        h.RunStage(stage);
        EXPECT_EQ(h.state.statusText, "Сигнал - " + MainState::PathItems()[stage]);

        int N = 0;
        TSignalData expected = ProbeSpectrum(h.params, N);
        for (int k = 1; k <= stage; ++k) DirectStage(k, expected, N, h.params);
        ExpectBuffersNear(h.spectrum, expected, N, 1e-12);

        // The waveform is the inverse transform of that spectrum.
        FFT(expected, N, -1);
        ExpectBuffersNear(h.wave, expected, N, 1e-12);
    }
}

TEST(MainStateRun, NoiseReachesTheEchoThatAnEchoMatchedFilterFilters)
{
    // The noisy probe along the path, through the filter matched to the
    // noiseless echo.
    Harness h;
    h.params.filterOn = h.params.noiseOn = true;
    h.state.SetFilterMode(true);
    h.state.noiseSeed = 2024u;
    h.RunStage(4);

    const int N = h.plotN, M = h.state.RealSignalSize;
    TSignalData noisy;
    AllocateSignal(noisy, N);
    LfmPulse(noisy, N, M, h.params.p);
    double peak = 0;
    for (const auto& row : noisy)
        for (double v : row) peak = std::max(peak, std::abs(v));
    direct::AddNoise(noisy, N, peak / h.params.Snr(), 2024u);
    FFT(noisy, N, +1);
    int n = 0;
    TSignalData echo = ProbeSpectrum(h.params, n);
    for (int k = 1; k <= 4; ++k) {
        DirectStage(k, noisy, N, h.params);
        DirectStage(k, echo, N, h.params);
    }
    ExpectBuffersNear(h.spectrum, direct::Filtered(noisy, echo, N, h.params.p.Dt), N, 1e-12);
}

TEST(MainStateRun, UncheckedGateSkipsOnlyItsStage)
{
    Harness h;
    h.params.gates[3] = false;  // the sphere
    h.RunStage(7);

    int N = 0;
    TSignalData expected = ProbeSpectrum(h.params, N);
    for (int k = 1; k <= 7; ++k)
        if (k != 4) ApplyStageByHand(k, expected, N, h.params);
    ExpectBuffersNear(h.spectrum, expected, N, 1e-12);

    // Stage 3 does not reach the sphere: its gate changes nothing there.
    Harness a, b;
    b.params.gates[3] = false;
    a.RunStage(3);
    b.RunStage(3);
    EXPECT_EQ(a.spectrum[0], b.spectrum[0]);
}

TEST(MainStateRun, DepthAttenuationHalvesAndQuartersTheWaveformOnly)
{
    for (int stage = 1; stage <= 7; ++stage) {
        SCOPED_TRACE(stage);
        Harness plain, deep;
        for (Harness* h : {&plain, &deep}) {
            h->params.SetRText("2");
            h->params.SetGruntHeightText("0,5");
        }
        deep.params.depthOn = true;
        plain.RunStage(stage);
        deep.RunStage(stage);

        EXPECT_EQ(deep.spectrum[0], plain.spectrum[0]);
        EXPECT_EQ(deep.spectrum[1], plain.spectrum[1]);
        const double factor = stage == 1 ? 1.0 : stage <= 5 ? 0.5 : 0.25;
        const int N = plain.plotN;
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < N; ++i)
                ASSERT_DOUBLE_EQ(deep.wave[r][i], plain.wave[r][i] * factor);
    }
}

TEST(MainStateRun, DepthAttenuationBelowOneUnitChangesNothing)
{
    Harness plain, deep;
    for (Harness* h : {&plain, &deep}) {
        h->params.SetRText("0,5");
        h->params.SetGruntHeightText("0,1");
    }
    deep.params.depthOn = true;
    plain.RunStage(7);
    deep.RunStage(7);
    EXPECT_EQ(deep.wave[0], plain.wave[0]);
    EXPECT_EQ(deep.wave[1], plain.wave[1]);

    // Both factors at once: 1 / (R^2 GruntHeight^2) at the end of the path.
    Harness a, b;
    for (Harness* h : {&a, &b}) {
        h->params.SetRText("2");
        h->params.SetGruntHeightText("4");
    }
    b.params.depthOn = true;
    a.RunStage(7);
    b.RunStage(7);
    for (int i = 0; i < a.plotN; ++i) ASSERT_DOUBLE_EQ(b.wave[0][i], a.wave[0][i] / 64);
}

TEST(MainStateRun, EchoMatchedFilterMatchesTheEchoItFilters)
{
    Harness h;
    h.params.filterOn = true;
    h.state.SetFilterMode(true);
    EXPECT_TRUE(h.state.MatchToEcho);
    h.RunStage(4);

    int N = 0;
    TSignalData echo = ProbeSpectrum(h.params, N);
    for (int k = 1; k <= 4; ++k) ApplyStageByHand(k, echo, N, h.params);
    TSignalData ref;
    AllocateSignal(ref, N);
    BuildMatchedFilter(echo, N, h.params.p.Dt, ref);
    TSignalData expected = echo;
    ApplyMatchedFilter(expected, N, ref);
    ExpectBuffersNear(h.spectrum, expected, N, 1e-12);
    EXPECT_TRUE(h.state.FilterRef[0].empty());

    // The output peaks at zero lag, half the record.
    long double peak = 0;
    int at = -1;
    for (int m = 0; m < 2 * N; ++m) {
        const long double v = std::abs(h.wave[m % 2][m / 2]);
        if (v > peak) peak = v, at = m;
    }
    EXPECT_EQ(at, N);
}

TEST(MainStateRun, EchoReferenceIsAttenuatedAsTheRunAttenuates)
{
    // The reference passes the water stage with depth attenuation on, so the
    // filtered spectrum (drawn before the signal's own attenuation) halves.
    Harness plain, deep;
    for (Harness* h : {&plain, &deep}) {
        h->params.SetRText("2");
        h->params.filterOn = true;
        h->state.SetFilterMode(true);
    }
    deep.params.depthOn = true;
    plain.RunStage(4);
    deep.RunStage(4);
    for (int i = 0; i < plain.plotN; ++i) {
        ASSERT_DOUBLE_EQ(deep.spectrum[0][i], plain.spectrum[0][i] / 2);
        ASSERT_DOUBLE_EQ(deep.spectrum[1][i], plain.spectrum[1][i] / 2);
    }
}

TEST(MainStateRun, NormalisationUsesTheEmittedProbesEnergy)
{
    // With and without the filter matched to the echo, the drawn waveform is
    // brought to the energy of the probe as generated.
    for (bool echoFilter : {false, true}) {
        SCOPED_TRACE(echoFilter);
        Harness h;
        h.params.normOn = true;
        h.params.filterOn = echoFilter;
        h.state.SetFilterMode(echoFilter);
        h.RunStage(3);
        const int N = h.plotN;
        TSignalData probe;
        AllocateSignal(probe, N);
        LfmPulse(probe, N, h.state.RealSignalSize, h.params.p);
        const long double e = BufferEnergy(probe, N);
        EXPECT_EQ(h.state.SignalEnergy, e);
        EXPECT_NEAR(static_cast<double>(BufferEnergy(h.wave, N)), static_cast<double>(e), 1e-9 * e);
    }
}

TEST(MainStateRun, ProbeMatchedFilterAtStageZeroPeaksAtHalfTheRecord)
{
    Harness h;
    h.params.filterOn = true;
    h.RunStage(0);
    const int N = h.plotN;

    TSignalData probe;
    AllocateSignal(probe, N);
    LfmPulse(probe, N, h.state.RealSignalSize, h.params.p);
    const long double energy = BufferEnergy(probe, N);
    // Up to the small zero-frequency and Nyquist terms of column 0.
    EXPECT_NEAR(h.wave[N % 2][N / 2], energy / (2 * N), 1e-3 * energy / (2 * N));
    for (int m = 0; m < 2 * N; ++m) {
        if (m == N) continue;
        ASSERT_LT(std::abs(h.wave[m % 2][m / 2]), h.wave[N % 2][N / 2]);
    }

    // Both modes give the same reference at stage 0.
    Harness echo;
    echo.params.filterOn = true;
    echo.state.SetFilterMode(true);
    echo.RunStage(0);
    EXPECT_EQ(echo.wave[0], h.wave[0]);
}

TEST(MainStateRun, ModelViewIgnoresTheSignalSwitches)
{
    Harness h;
    h.params.filterOn = h.params.noiseOn = h.params.normOn = h.params.depthOn = true;
    h.state.SelectModel(2);  // "Среда"
    h.state.Start();
    EXPECT_EQ(h.state.statusText, "Среда - Модель");

    const int N = h.plotN;
    ASSERT_EQ(N, 512);
    TSignalData k;
    AllocateSignal(k, N);
    WaterMedium(false, k, N, h.params.p);
    ExpectBuffersNear(h.spectrum, k, N, 0);
    FFT(k, N, -1);
    ExpectBuffersNear(h.wave, k, N, 0);
}

TEST(MainStateRun, ObjectViewStatusReadsModelAndStage)
{
    Harness h;
    h.state.SelectModel(4);
    h.state.Start();
    EXPECT_EQ(h.state.statusText, "Объект - Модель");
}

TEST(MainStateRun, ShortBarkerFailsAtTheFirstPlotAndLeavesStatusBlank)
{
    Harness h;
    h.state.Start();  // a completed run first: menu on, status set
    ASSERT_TRUE(h.state.imageMenuEnabled);

    h.params.SetSignalItem(kBarkerPulse);
    h.params.SetTcText("0,001");  // Tc F0 = 10.3, below one code length
    EXPECT_EQ(h.params.p.Tc, 0);
    h.settings.shortForm = true;
    try {
        h.state.Start();
        FAIL() << "the run should fail";
    } catch (const SonavirError& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
    EXPECT_EQ(h.state.RealSignalSize, 0);
    EXPECT_EQ(h.state.SignalSize, 1);
    EXPECT_EQ(h.params.realSizeText, "0");
    EXPECT_EQ(h.params.paddedSizeText, "2");
    EXPECT_EQ(h.params.bytesText, "16");
    EXPECT_EQ(h.params.tcText, "0");
    EXPECT_EQ(h.state.statusText, "");
    EXPECT_TRUE(h.state.imageMenuEnabled);  // keeps its state
    EXPECT_TRUE(h.settings.shortForm);      // nothing after the run happened
    EXPECT_TRUE(h.state.Signal[0].empty());
}

TEST(MainStateRun, FailedFirstRunKeepsImageMenuDisabled)
{
    Harness h;
    h.params.SetRadiusText("0");  // the sphere cannot take a zero radius
    h.state.SelectModel(4);
    EXPECT_THROW(h.state.Start(), SonavirError);
    EXPECT_FALSE(h.state.imageMenuEnabled);
    EXPECT_EQ(h.state.statusText, "");
}

TEST(MainStateRun, SingleSampleRecordRunsInModelView)
{
    Harness h;
    h.params.SetTcText("0,00001");  // below one sample step
    h.state.SelectModel(2);
    h.state.Start();
    EXPECT_EQ(h.state.SignalSize, 1);
    EXPECT_EQ(h.plotN, 1);
    EXPECT_DOUBLE_EQ(h.spectrum[0][0], 1.0);

    // The signal itself is empty then: the first plot fails.
    h.state.SelectModel(0);
    EXPECT_THROW(h.state.Start(), SonavirError);
}

TEST(MainStateRun, BarkerSnapIsWrittenBackWithFourDigits)
{
    Harness h;
    h.params.SetSignalItem(kBarkerPulse);
    h.params.SetTcText("0,01");
    h.state.Start();
    EXPECT_EQ(h.params.tcText, "0,008835");
    EXPECT_NEAR(static_cast<double>(h.params.p.Tc), 91.0 / 10300, 1e-15);  // full value kept

    // Later snaps start from the duration shown, 0,007027 s at 3700 Hz.
    h.params.SetF0Text("3700");
    h.state.Start();
    EXPECT_EQ(h.params.tcText, "0,007027");
    h.params.SetF0Text("10300");
    EXPECT_EQ(h.params.p.Tc, 65.0L / 10300);
    h.params.SetF0Text("3700");
    h.state.Start();
    EXPECT_EQ(h.params.p.Tc, 26.0L / 3700);
}

TEST(MainStateNavigation, ForwardToTheEndAndBackOnce)
{
    Harness h;
    MainState& s = h.state;
    EXPECT_EQ(s.modelItem, 0);
    EXPECT_EQ(s.pathStage, 0);
    EXPECT_TRUE(s.pathEnabled);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);

    for (int i = 1; i <= 7; ++i) {
        s.NextPath();
        EXPECT_EQ(s.pathStage, i);
        EXPECT_TRUE(s.prevEnabled);
        EXPECT_EQ(s.nextEnabled, i < 7);
    }
    EXPECT_EQ(MainState::PathItems()[s.pathStage], "Отраженный и принятый антенной");
    s.NextPath();  // a disabled button does nothing
    EXPECT_EQ(s.pathStage, 7);

    s.PrevPath();
    EXPECT_EQ(s.pathStage, 6);
    EXPECT_TRUE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);

    for (int i = 0; i < 6; ++i) s.PrevPath();
    EXPECT_EQ(s.pathStage, 0);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);
    s.PrevPath();
    EXPECT_EQ(s.pathStage, 0);
}

TEST(MainStateNavigation, PickingAStageSetsTheButtons)
{
    Harness h;
    MainState& s = h.state;
    s.SelectPath(7);
    EXPECT_TRUE(s.prevEnabled);
    EXPECT_FALSE(s.nextEnabled);
    s.SelectPath(3);
    EXPECT_TRUE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);
    s.SelectPath(0);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);
    s.SelectPath(8);  // no such stage
    EXPECT_EQ(s.pathStage, 0);
}

TEST(MainStateNavigation, SingleModelGreysThePath)
{
    Harness h;
    MainState& s = h.state;
    s.SelectPath(5);
    s.SelectModel(3);  // "Грунт"
    EXPECT_EQ(s.pathStage, 0);
    EXPECT_FALSE(s.pathEnabled);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_FALSE(s.nextEnabled);
    s.NextPath();
    s.SelectPath(4);
    EXPECT_EQ(s.pathStage, 0);

    s.SelectModel(0);
    EXPECT_TRUE(s.pathEnabled);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_TRUE(s.nextEnabled);

    s.SelectModel(-1);  // no selection
    EXPECT_EQ(s.modelItem, 0);
}

TEST(MainStateNavigation, ChoicesDoNotRedrawThePicture)
{
    Harness h;
    h.state.Start();
    const QImage before = h.picture.Surface().copy();
    h.state.SelectModel(1);
    h.state.SelectModel(0);
    h.state.NextPath();
    h.params.filterOn = true;
    EXPECT_TRUE(h.picture.Surface() == before);
    EXPECT_EQ(h.waveCalls, 1);
}

TEST(MainStateNavigation, EvaluationWindowLocksAndRestores)
{
    Harness h;
    MainState& s = h.state;
    s.SelectPath(7);
    s.SetEvaluationShown(true);
    EXPECT_FALSE(s.RunControlsEnabled());
    EXPECT_FALSE(s.pathEnabled);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_FALSE(s.nextEnabled);
    s.PrevPath();
    EXPECT_EQ(s.pathStage, 7);

    h.params.p.Dt = 1;  // re-derived on hiding
    s.SetEvaluationShown(false);
    EXPECT_TRUE(s.RunControlsEnabled());
    EXPECT_TRUE(s.pathEnabled);
    EXPECT_TRUE(s.prevEnabled);
    EXPECT_FALSE(s.nextEnabled);
    EXPECT_EQ(h.params.p.Dt, 1.0L / 49392);

    // A single model keeps its rule after the window hides.
    s.SelectModel(2);
    s.SetEvaluationShown(true);
    s.SetEvaluationShown(false);
    EXPECT_FALSE(s.pathEnabled);
    EXPECT_FALSE(s.prevEnabled);
    EXPECT_FALSE(s.nextEnabled);
}

TEST(MainStateScale, EightSecondLfmAtSixtyFourSamplesPerPeriod)
{
    // The largest record the lists offer: N = 2^24, filter matched to the
    // echo, every stage on. Only the peak of the output is kept.
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state(params, settings, picture);
    params.SetFDText("6024");
    params.SetTcText("8");
    params.SetKofDiscretItem(4);
    params.filterOn = true;
    state.SetFilterMode(true);
    state.SelectPath(7);
    int peakAt = -1, plotted = 0;
    state.onTimePlot = [&](const TSignalData& d, int N) {
        double peak = -1;
        for (int m = 0; m < 2 * N; ++m)
            if (std::abs(d[m % 2][m / 2]) > peak) peak = std::abs(d[m % 2][m / 2]), peakAt = m;
        plotted = N;
    };
    state.Start();

    EXPECT_EQ(state.SignalSize, 1 << 24);
    EXPECT_EQ(params.realSizeText, "11442176");
    EXPECT_EQ(params.paddedSizeText, "33554432");
    EXPECT_EQ(params.bytesText, "268435456");
    EXPECT_EQ(plotted, 1 << 24);
    EXPECT_EQ(peakAt, 1 << 24);  // zero lag sits at half the record
    EXPECT_TRUE(state.Signal[0].empty());
    EXPECT_TRUE(state.FilterRef[0].empty());
}
