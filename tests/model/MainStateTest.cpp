#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/Ledger.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PulseCompression.h"
#include "signal/Antenna.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/MatchedFilter.h"
#include "signal/Propagation.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "signal/TimeScale.h"
#include "signal/Weighting.h"
#include "signal/WinFFT.h"
#include "tests/support/DirectModels.h"
#include "tests/support/FailureOf.h"

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

// Energy, peak and the peak's first sample of a drawn waveform.
struct WaveFigures {
    long double energy = 0, peak = 0;
    long long at = 0;
};

WaveFigures FiguresOf(const TSignalData& wave, int N)
{
    WaveFigures f{BufferEnergy(wave, N), SamplePeak(wave, N), -1};
    for (long long m = 0; m < 2LL * N && f.at < 0; ++m)
        if (std::abs(wave[m % 2][m / 2]) == f.peak) f.at = m;
    return f;
}

std::vector<std::string> CsvLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
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

TEST(MainStateRun, MovingTargetCompressesItsEchoAndTheEchoFilterFollows)
{
    // At the sphere's stage y(t) = x(eta t) from the instant of transmission,
    // Y(f) = X(f / eta) / eta: against the echo at rest, its transform taken
    // directly at f_k / eta (samples past 3N/2 lie before that instant,
    // wrapped round); a stretched echo leaves the columns above eta N empty
    // and loses what it would push out of the record.
    // The filter matched to the moving echo then peaks at half the
    // record with the echo's energy over 2N, Cauchy-Schwarz's bound.
    for (const char* v : {"50", "-50"}) {
        SCOPED_TRACE(v);
        Harness rest, moving, matched;
        moving.params.SetVText(v);
        matched.params.SetVText(v);
        matched.params.filterOn = true;
        matched.state.SetFilterMode(true);
        rest.RunStage(4);
        moving.RunStage(4);
        matched.RunStage(4);
        const int N = rest.plotN;
        const long double eta = DopplerScale(moving.params.p.V), pi = std::acos(-1.0L);
        const auto at = [](const TSignalData& d, int m) { return d[m % 2][m / 2]; };
        const long double peak = SpectrumPeak(moving.spectrum, N);
        long double worst = 0;
        for (int k = 1; k < N; ++k) {
            long double re = 0, im = 0;
            for (int m = 0; k < eta * N && m < 2 * N; ++m) {
                const long double t = m < 3 * N / 2 ? m : m - 2 * N, phase = pi * t * k / (eta * N);
                if (t / eta < -N / 2 || t / eta >= 3 * N / 2) continue;  // stretched out of the record
                re += at(rest.wave, m) * std::cos(phase);
                im += at(rest.wave, m) * std::sin(phase);
            }
            const long double scale = 1 / (eta * 2 * N);
            worst = std::max({worst, std::fabs(moving.spectrum[0][k] - re * scale),
                              std::fabs(moving.spectrum[1][k] - im * scale)});
        }
        EXPECT_LT(worst, 1e-9 * peak);

        long double energy = 0;
        for (int m = 0; m < 2 * N; ++m) energy += static_cast<long double>(at(moving.wave, m)) * at(moving.wave, m);
        EXPECT_NEAR(at(matched.wave, N), energy / (2 * N), 1e-9 * energy / (2 * N));
        EXPECT_EQ(SamplePeak(matched.wave, N), std::fabs(at(matched.wave, N)));
    }
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

TEST(MainStateLedger, SummarisesTheStageRunsOfEachSignalKind)
{
    for (int kind : {kRadioPulse, kLfmPulse, kBarkerPulse}) {
        SCOPED_TRACE(kind);
        // The ledger's settings switch on what is no stage of the channel;
        // the stage runs it must agree with leave them off.
        Harness ledgered, plain;
        for (Harness* h : {&ledgered, &plain}) {
            h->params.SetSignalItem(kind);
            h->params.SetRText("2");
            h->params.SetGruntHeightText("4");
            h->params.depthOn = true;
            h->params.gates[1] = false;  // the water on the way out
        }
        ledgered.params.filterOn = ledgered.params.noiseOn = ledgered.params.normOn = true;
        const Ledger ledger = ComputeLedger(ledgered.state);

        for (int k = 0; k <= 7; ++k) {
            SCOPED_TRACE(k);
            plain.RunStage(k);
            ASSERT_EQ(ledger.N, plain.plotN);
            const WaveFigures run = FiguresOf(plain.wave, plain.plotN);
            const LedgerRow& row = ledger.rows[k];
            EXPECT_NEAR(row.energy, run.energy, 1e-12 * run.energy);
            EXPECT_NEAR(row.peak, run.peak, 1e-14 * run.peak);
            EXPECT_EQ(row.peakTime, run.at * plain.params.p.Dt);
            ASSERT_TRUE(row.dbProbe);
            EXPECT_NEAR(*row.dbProbe, 10 * std::log10(row.energy / ledger.rows[0].energy), 1e-12);
            ASSERT_TRUE(row.dbStep);
            if (k > 0) {
                EXPECT_NEAR(*row.dbStep, 10 * std::log10(row.energy / ledger.rows[k - 1].energy), 1e-12);
            }
        }
        EXPECT_EQ(*ledger.rows[0].dbProbe, 0);
        EXPECT_EQ(*ledger.rows[0].dbStep, 0);
        // The water stage is gated off: only its range factor 1/2 remains.
        EXPECT_NEAR(*ledger.rows[2].dbStep, 20 * std::log10(0.5), 1e-12);
    }
}

TEST(MainStateLedger, GatedOffStageAndSilentProbe)
{
    Harness h;
    h.params.gates[3] = false;  // the sphere
    Ledger ledger = ComputeLedger(h.state);
    EXPECT_EQ(ledger.rows[4].energy, ledger.rows[3].energy);
    EXPECT_EQ(ledger.rows[4].peakTime, ledger.rows[3].peakTime);
    EXPECT_EQ(*ledger.rows[4].dbStep, 0);

    // A Barker code shorter than its chips sends nothing: every energy is 0
    // and no level can be stated.
    h.params.SetSignalItem(kBarkerPulse);
    h.params.SetTcText("0,001");
    ledger = ComputeLedger(h.state);
    const std::vector<std::string> lines = CsvLines(LedgerCsv(ledger));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "stage,energy,db_probe,db_step,peak,peak_time");
    for (int k = 0; k <= 7; ++k) {
        EXPECT_FALSE(ledger.rows[k].dbProbe || ledger.rows[k].dbStep);
        EXPECT_EQ(lines[k + 1], std::to_string(k) + ",0,,,0,0");
    }
}

TEST(MainStateLedger, CsvCarriesEveryFigureToTheLastDigit)
{
    Harness h;
    h.params.depthOn = true;
    h.params.SetRText("3");
    const Ledger ledger = ComputeLedger(h.state);
    const std::vector<std::string> lines = CsvLines(LedgerCsv(ledger));
    ASSERT_EQ(lines.size(), 9u);
    for (int k = 0; k <= 7; ++k) {
        SCOPED_TRACE(k);
        std::vector<std::string> cells;
        std::istringstream in(lines[k + 1]);
        for (std::string c; std::getline(in, c, ',');) cells.push_back(c);
        ASSERT_EQ(cells.size(), 6u);
        const LedgerRow& row = ledger.rows[k];
        EXPECT_EQ(cells[0], std::to_string(k));
        EXPECT_EQ(std::stod(cells[1]), static_cast<double>(row.energy));
        EXPECT_EQ(std::stod(cells[2]), static_cast<double>(*row.dbProbe));
        EXPECT_EQ(std::stod(cells[3]), static_cast<double>(*row.dbStep));
        EXPECT_EQ(std::stod(cells[4]), static_cast<double>(row.peak));
        EXPECT_EQ(std::stod(cells[5]), static_cast<double>(row.peakTime));
    }
}

TEST(MainStateShown, KeepsWhatThePlotsWereLastDrawnFrom)
{
    Harness h;
    EXPECT_EQ(h.state.Shown(), nullptr);
    EXPECT_EQ(testsupport::FailureOf([&] { MeasureShown(h.state); }), kNothingShown);

    // Stage 0 draws the waveform first, a stage of the path its spectrum.
    for (int stage : {0, 7}) {
        SCOPED_TRACE(stage);
        h.RunStage(stage);
        const ShownPlots* s = h.state.Shown();
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(s->hasWave && s->hasSpectrum);
        EXPECT_EQ(s->pathStage, stage);
        EXPECT_EQ(s->N, 512);
        EXPECT_EQ(s->axes.Dt, h.params.p.Dt);
        EXPECT_EQ(s->wave[0], h.wave[0]);
        EXPECT_EQ(s->wave[1], h.wave[1]);
        EXPECT_EQ(s->spectrum[0], h.spectrum[0]);
        EXPECT_EQ(s->spectrum[1], h.spectrum[1]);
        EXPECT_EQ(s->waveCaption, "S(t)");
        EXPECT_EQ(s->spectrumCaption, "|S(jw)|");
    }
    const std::uint64_t run = h.state.Shown()->run;

    h.state.SelectModel(3);
    h.state.Start();
    const ShownPlots* s = h.state.Shown();
    EXPECT_EQ(s->run, run + 1);
    EXPECT_EQ(s->modelItem, 3);
    EXPECT_EQ(s->waveCaption, "h(t)");
    EXPECT_EQ(s->spectrumCaption, "|K(jw)|");
    EXPECT_FALSE(MeasureShown(h.state).bt);  // no probe in a model's view

    // A run that fails at its first plot leaves nothing shown.
    h.state.SelectModel(0);
    h.params.SetSignalItem(kBarkerPulse);
    h.params.SetTcText("0,001");
    EXPECT_THROW(h.state.Start(), SonavirError);
    EXPECT_EQ(h.state.Shown(), nullptr);
    EXPECT_FALSE(h.state.ShownDropped());
}

TEST(MainStateShown, MatchedProbesCompressAsTheTheorySays)
{
    struct Case {
        int kind;
        long double width, psl, bt;  // expected -3 dB width (s), PSL (dB), BT
        long double widthTol, pslTol;
    };
    // A rectangular pulse or chip of length T correlates into a triangle,
    // 2 (1 - 1/sqrt 2) T wide at -3 dB; Barker-13's sidelobes are 1/13 of its
    // peak; an LFM pulse of sweep B compresses to 0.886/B with sidelobes near
    // -13 dB.
    const long double tri = 2 * (1 - 1 / std::sqrt(2.0L));
    const Case cases[] = {
        {kRadioPulse, tri * 0.01L, 0, 1, 0.01L, 0},
        {kBarkerPulse, tri * 7 / 10300.0L, 20 * std::log10(1 / 13.0L), 13, 0.01L, 0.05L},
        {kLfmPulse, 0.886L / 2048, -13.3L, 20.48L, 0.02L, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Harness h;
        h.params.SetSignalItem(c.kind);
        h.params.filterOn = true;
        h.RunStage(0);
        const PulseCompression m = MeasureShown(h.state);
        EXPECT_EQ(m.envelope.peakTime, h.plotN * h.params.p.Dt);  // zero lag
        ASSERT_TRUE(m.envelope.width3db);
        EXPECT_NEAR(*m.envelope.width3db, c.width, c.widthTol * c.width);
        if (c.kind != kRadioPulse) {
            EXPECT_NEAR(*m.envelope.pslDb, c.psl, c.pslTol);
        }
        EXPECT_NEAR(*m.bt, c.bt, 1e-12);
        EXPECT_NEAR(*m.gainDb, 10 * std::log10(c.bt), 1e-12);

        const std::vector<std::string> lines = CsvLines(MeasuresCsv(m));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "peak_time,peak,width_3db,psl_db,isl_db,bt");
        EXPECT_EQ(std::stod(lines[1].substr(lines[1].rfind(',') + 1)), static_cast<double>(c.bt));
    }
}

TEST(MainStateShown, WeightedFilterReportsItsLossOfSignalToNoise)
{
    // A constant envelope loses 10 lg((sum w)^2 / (M sum w^2)); the run's own
    // output says the same: its peak at zero lag against the unweighted
    // filter's, each over its reference's noise gain (the energy).
    struct Case {
        int window;
        double loss;
    };
    const Case cases[] = {{1, -1.344}, {2, -1.761}, {3, -2.372}, {4, -0.914}};
    for (const int kind : {kLfmPulse, kBarkerPulse})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(kind) + " " + std::to_string(c.window));
            Harness plain, weighted;
            for (Harness* h : {&plain, &weighted}) {
                h->params.SetSignalItem(kind);
                h->params.filterOn = true;
            }
            weighted.params.SetWindowItem(c.window);
            plain.RunStage(0);
            weighted.RunStage(0);
            const PulseCompression m = MeasureShown(weighted.state);
            ASSERT_TRUE(m.weightingLossDb);
            EXPECT_NEAR(*m.weightingLossDb, c.loss, 0.01);
            EXPECT_FALSE(MeasureShown(plain.state).weightingLossDb);

            const int N = plain.plotN, M = plain.state.RealSignalSize;
            TSignalData probe, reference;
            AllocateSignal(probe, N);
            GenerateProbe(RunRequest::Of(plain.params, 0, 0), probe, N, M);
            reference = probe;
            ApplyWindow(reference, N, M, WindowFromItem(c.window));
            const long double ratio = weighted.wave[0][N / 2] / plain.wave[0][N / 2];
            EXPECT_NEAR(20 * std::log10(ratio) - 10 * std::log10(BufferEnergy(reference, N) / BufferEnergy(probe, N)),
                        *m.weightingLossDb, 1e-6);
            const std::vector<std::string> lines = CsvLines(MeasuresCsv(m));
            EXPECT_EQ(lines[0], "peak_time,peak,width_3db,psl_db,isl_db,bt,weighting_loss_db");
        }
}

// Without the filter nothing is compressed: the -3 dB width is the pulse's
// own length (a Barker pulse dips at each change of phase and still measures
// whole); no sidelobes, so PSL and ISL stay empty and their CSV cells say why.
TEST(MainStateShown, UncompressedPulsesMeasureTheirOwnLength)
{
    const std::string empty = std::string(",") + kUncompressedCell;
    for (int kind : {kRadioPulse, kLfmPulse, kBarkerPulse}) {
        SCOPED_TRACE(kind);
        Harness h;
        h.params.SetSignalItem(kind);
        h.RunStage(0);
        const PulseCompression m = MeasureShown(h.state);
        EXPECT_TRUE(m.uncompressed && m.envelope.width3db && !m.envelope.pslDb && !m.envelope.islDb);
        EXPECT_NEAR(m.envelope.width3db.value_or(0), h.params.p.Tc, 2 * h.params.p.Dt);
        EXPECT_NE(CsvLines(MeasuresCsv(m))[1].find(empty + empty + ","), std::string::npos);
    }
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
}

// A run stopped at any of its steps changes nothing: not the picture, the
// plots kept, the status, nor what a run writes back (here the Barker snap
// of the duration's text). Its per cent only ever rises, and a completed run
// ends at 100.
TEST(MainStateRun, AStopAtAnyStepLeavesEverythingAsItWas)
{
    struct Case {
        int model, stage;
        bool filter, echo, noise, norm, depth, db;
    };
    const Case cases[] = {{0, 7, true, true, true, true, true, true},
                          {0, 7, true, true, false, false, false, false},
                          {0, 0, true, false, false, false, false, true},
                          {2, 0, false, false, false, false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "model " << c.model << ", stage " << c.stage);
        Harness h;
        h.state.Start();
        h.params.SetSignalItem(kBarkerPulse);  // the duration snaps; its text stays until a run
        h.params.SetRText("2");
        h.params.SetGruntHeightText("3");
        h.params.filterOn = c.filter;
        h.state.SetFilterMode(c.echo);
        h.params.noiseOn = c.noise;
        h.params.normOn = c.norm;
        h.params.depthOn = c.depth;
        h.settings.SetDb(c.db);
        h.state.SelectModel(c.model);
        h.state.SelectPath(c.stage);

        // The steps of a whole run, and its per cent at every checkpoint.
        std::vector<std::string> steps;
        std::vector<int> percents;
        RunControl whole;
        whole.onCheckpoint = [&] {
            if (steps.empty() || steps.back() != whole.StepName()) steps.push_back(whole.StepName());
            percents.push_back(whole.Permille());
        };
        const RunResult done = RunEcho(h.state.Request(), whole);
        ASSERT_FALSE(done.failure);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(whole.Percent(), 100);
        ASSERT_GE(steps.size(), 3u);

        const QImage picture = h.picture.Surface().copy();
        const std::uint64_t shownRun = h.state.Shown()->run;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(steps[i]);
            RunControl control;
            control.onCheckpoint = [&] {
                if (control.StepName() == steps[i]) control.RequestStop();
            };
            RunResult stopped = RunEcho(h.state.Request(), control);
            EXPECT_TRUE(stopped.stopped);
            EXPECT_TRUE(stopped.plots.empty());
            h.state.Finish(stopped);
            EXPECT_EQ(h.picture.Surface(), picture);
            ASSERT_NE(h.state.Shown(), nullptr);
            EXPECT_EQ(h.state.Shown()->run, shownRun);
            EXPECT_EQ(h.state.statusText, "Сигнал - Модель");
            EXPECT_EQ(h.params.tcText, "0,01");
            EXPECT_EQ(h.params.bytesText, "8192");
        }
    }
}

// What a run writes back is dropped once the user has typed over it.
TEST(MainStateRun, TheDurationTypedWhileARunWentStays)
{
    Harness h;
    h.params.SetSignalItem(kBarkerPulse);
    const RunRequest request = h.state.Request();
    h.params.SetTcText("0,02");
    RunControl control;
    RunResult result = RunEcho(request, control);
    h.state.Finish(result);
    EXPECT_EQ(h.params.tcText, "0,02");
    EXPECT_EQ(h.params.bytesText, "8192");  // the memory figures are the run's own
}

// The long loops split their work across threads at fixed places: the same
// bits from one thread as from two.
TEST(MainStateScale, OneThreadAndTwoGiveTheSameRun)
{
    Harness h;
    h.params.SetFDText("6024");
    h.params.SetTcText("0,2");
    h.params.SetKofDiscretItem(4);
    h.params.filterOn = h.params.noiseOn = true;
    h.state.SetFilterMode(true);
    h.settings.SetDb(true);
    h.state.SelectPath(7);
    h.state.noiseSeed = 11;
    RunResult results[2];
    for (int threads : {1, 2}) {
        SetWorkThreads(threads);
        RunControl control;
        results[threads - 1] = RunEcho(h.state.Request(), control);
    }
    SetWorkThreads(0);
    ASSERT_EQ(results[0].N(), 1 << 19);
    ASSERT_EQ(results[0].plots.size(), 2u);
    for (std::size_t p = 0; p < 2; ++p) {
        EXPECT_EQ(results[0].plots[p].data, results[1].plots[p].data);
        EXPECT_EQ(results[0].plots[p].envelope, results[1].plots[p].envelope);
    }
}
