// Zooming the picture's plots and reading values under the cursor, on the
// data a run kept (MainState::Shown()).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "display/Plotter.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"
#include "model/PlotReadout.h"
#include "model/PulseCompression.h"
#include "signal/Envelope.h"
#include "signal/NumberText.h"
#include "tests/support/FailureOf.h"

using namespace sonavir;

namespace {

struct Window {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState state{params, settings, picture};
};

// The picture's pixels in rows from .. to - 1.
bool SameRows(const Picture& a, const Picture& b, int from, int to)
{
    for (int y = from; y < to; ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelAt(x, y) != b.PixelAt(x, y)) return false;
    return true;
}

bool SamePicture(const Picture& a, const Picture& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height() && SameRows(a, b, 0, a.Height());
}

constexpr long double kDt = 1.0L / 49392;  // the default sample step

}  // namespace

// A zoom redraws its plot alone; the next Start draws the same zoom; it
// stays across a change of stage or record length and is held to a shorter
// record; the whole run again gives the plain picture.
TEST(MainStateZoom, BelongsToThePictureAcrossStarts)
{
    Window r, plain;
    r.state.Start();
    plain.state.Start();
    ASSERT_TRUE(SamePicture(r.picture, plain.picture));

    r.state.SetZoom(PlotKind::Time, PlotRange{0.002L, 0.006L});
    // Samples 99 (0,002 s is 98,78 samples in) to 296.
    EXPECT_EQ(r.state.Shown()->waveSpan, (PlotSpan{99, 198}));
    EXPECT_EQ(r.state.Shown()->spectrumSpan, (PlotSpan{0, 512}));
    EXPECT_FALSE(SameRows(r.picture, plain.picture, 0, 242));
    EXPECT_TRUE(SameRows(r.picture, plain.picture, 242, 484));
    const Picture zoomed = r.picture;
    r.state.Start();
    EXPECT_TRUE(SamePicture(r.picture, zoomed));

    r.state.SelectPath(3);
    r.params.SetTcText("0,02");
    r.state.Start();
    EXPECT_EQ(r.state.SignalSize, 1024);
    EXPECT_EQ(r.state.Shown()->waveSpan, (PlotSpan{99, 198}));

    // 256 samples end at 255·Dt, inside the range: the zoom is held there.
    r.params.SetTcText("0,002");
    r.state.Start();
    ASSERT_EQ(r.state.SignalSize, 128);
    EXPECT_EQ(r.state.zoom.time->to, 255 * kDt);
    EXPECT_EQ(r.state.Shown()->waveSpan, (PlotSpan{99, 157}));

    // A range over the whole record is no zoom.
    r.state.SetZoom(PlotKind::Spectrum, PlotRange{-1, 1e6L});
    EXPECT_FALSE(r.state.zoom.frequency);

    r.state.SelectPath(0);
    r.params.SetTcText("0,01");
    r.state.Start();
    r.state.ShowWholeRun();
    EXPECT_FALSE(r.state.zoom.Active());
    EXPECT_TRUE(SamePicture(r.picture, plain.picture));
}

TEST(MainStateZoom, ColumnsOfThePlotAndResizes)
{
    Window r;
    r.state.ZoomToColumns(PlotKind::Time, 350, 120);  // nothing shown yet
    EXPECT_FALSE(r.state.zoom.Active());
    r.state.Start();
    EXPECT_EQ(r.state.ShownPlotAt(300, 111), PlotKind::Time);
    EXPECT_EQ(r.state.ShownPlotAt(300, 400), PlotKind::Spectrum);
    EXPECT_EQ(r.state.ShownPlotAt(20, 111), PlotKind::None);

    // Columns 70 and 300 of 710 over 1024 samples, either order.
    r.state.ZoomToColumns(PlotKind::Time, 350, 120);
    ASSERT_TRUE(r.state.zoom.time);
    EXPECT_NEAR(double(r.state.zoom.time->from / kDt), 70 * 1024 / 710.0, 1e-9);
    EXPECT_NEAR(double(r.state.zoom.time->to / kDt), 300 * 1024 / 710.0, 1e-9);
    EXPECT_EQ(r.state.Shown()->waveSpan, (PlotSpan{101, 332}));

    // A resize under a zoom draws the same zoom at the new size.
    Window fresh;
    fresh.picture.SetSize(900, 600);
    fresh.state.zoom = r.state.zoom;
    fresh.state.Start();
    r.picture.SetSize(900, 600);
    r.state.PictureResized();
    EXPECT_TRUE(r.state.PlotsOnPicture());
    EXPECT_TRUE(SamePicture(r.picture, fresh.picture));

    // Without a zoom the resize took the plots away (until the next Start).
    r.state.ShowWholeRun();
    r.picture.SetSize(800, 600);
    r.picture.Fill(kBlack);
    r.state.PictureResized();
    EXPECT_FALSE(r.state.PlotsOnPicture());
    EXPECT_EQ(r.state.ShownPlotAt(300, 111), PlotKind::None);
    EXPECT_EQ(PlotReadout().At(r.state, 300, 111), "");
    r.state.Start();
    EXPECT_TRUE(r.state.PlotsOnPicture());
}

// The dB view draws the waveform's envelope, worked out once by the run and
// kept with its plots: zooms redraw it, the readout reads its levels, the
// measures use it; the data kept and measured are those of the linear view.
TEST(MainStateZoom, DbViewKeepsTheEnvelopeForZoomReadoutAndMeasures)
{
    Window lin, db;
    db.settings.SetDb(true);
    for (Window* w : {&lin, &db}) {
        w->params.SetSignalItem(kBarkerPulse);
        w->params.filterOn = true;
        w->state.Start();
    }
    const ShownPlots& s = *db.state.Shown();
    ASSERT_TRUE(s.hasEnvelope && s.waveDb && s.spectrumDb);
    EXPECT_FALSE(lin.state.Shown()->hasEnvelope || lin.state.Shown()->waveDb);
    TSignalData envelope;
    Envelope(s.wave, s.N, envelope);
    EXPECT_EQ(s.envelope[0], envelope[0]);
    EXPECT_EQ(s.envelope[1], envelope[1]);
    EXPECT_EQ(s.wave[0], lin.state.Shown()->wave[0]);
    EXPECT_EQ(s.spectrum[1], lin.state.Shown()->spectrum[1]);
    EXPECT_EQ(MeasuresCsv(MeasureShown(db.state)), MeasuresCsv(MeasureShown(lin.state)));
    EXPECT_FALSE(SameRows(db.picture, lin.picture, 0, 242));
    EXPECT_FALSE(SameRows(db.picture, lin.picture, 242, 484));

    // The peak is the envelope's: 0 dB; elsewhere its level, and below the
    // floor the floor.
    long long top = 0;
    auto e = [&](long long m) { return (long double)envelope[m % 2][m / 2]; };
    for (long long m = 0; m < 2 * s.N; ++m)
        if (e(m) > e(top)) top = m;
    EXPECT_EQ(s.waveScale, e(top));
    PlotReadout readout;
    EXPECT_EQ(readout.Peak(db.state),
              "пик: t = " + CoordinateText(top * s.axes.Dt, (top + 1) * s.axes.Dt) + " с   S = 0 дБ (" +
                  ExponentText(e(top)) + ")");
    const std::string off = readout.At(db.state, 52, 111);  // the first samples, long before the echo
    EXPECT_NE(off.find("S < -60 дБ ("), std::string::npos) << off;
    EXPECT_NE(readout.At(db.state, 300, 400).find(" дБ ("), std::string::npos);

    // A zoom redraws the dB view as a run with that zoom draws it.
    db.state.SetZoom(PlotKind::Time, PlotRange{0.006L, 0.008L});
    Window fresh;
    fresh.settings.SetDb(true);
    fresh.params.SetSignalItem(kBarkerPulse);
    fresh.params.filterOn = true;
    fresh.state.zoom = db.state.zoom;
    fresh.state.Start();
    EXPECT_TRUE(SamePicture(db.picture, fresh.picture));

    // Switched off, the next drawing of the waveform is linear again, and
    // the readout reads it so.
    db.settings.SetDb(false);
    db.state.ShowWholeRun();
    EXPECT_TRUE(SameRows(db.picture, lin.picture, 0, 242));
    EXPECT_FALSE(s.waveDb);
    EXPECT_EQ(readout.Peak(db.state), readout.Peak(lin.state));
}

// A held reference is drawn under every later run and zoom on the common
// scale and read by the readout; let go, the picture is drawn without it.
TEST(MainStateReference, HeldUnderLaterRunsReadAndLetGo)
{
    Window r, plain, fresh;
    EXPECT_EQ(testsupport::FailureOf([&] { r.state.HoldReference(); }), kNothingToHold);
    r.state.Start();  // the probe
    const Picture probe = r.picture;
    r.state.HoldReference();
    ASSERT_NE(r.state.Reference(), nullptr);
    const HeldReference& h = *r.state.Reference();
    EXPECT_EQ(h.wave[1], r.state.Shown()->wave[1]);
    EXPECT_EQ(h.spectrum[0], r.state.Shown()->spectrum[0]);
    EXPECT_EQ(h.Dt, kDt);
    EXPECT_TRUE(SamePicture(r.picture, probe));  // shown under the next drawing

    // The echo over the probe: the scale of the larger peak.
    for (Window* w : {&r, &plain}) {
        w->state.SelectPath(7);
        w->state.Start();
    }
    EXPECT_FALSE(SamePicture(r.picture, plain.picture));
    const ShownPlots& s = *r.state.Shown();
    EXPECT_EQ(s.waveReference, h.id);
    EXPECT_EQ(s.spectrumReference, h.id);
    EXPECT_EQ(s.waveScale, std::max(SamplePeak(s.wave, s.N), SamplePeak(h.wave, h.N)));
    EXPECT_EQ(s.spectrumScale, std::max(SpectrumPeak(s.spectrum, s.N), SpectrumPeak(h.spectrum, h.N)));

    // The readout: the largest |value| of each curve in the column (the
    // same step and length, so the same samples), on the common scale.
    PlotReadout readout;
    const PlotSpan column = PointsInColumn(s.waveSpan, 50, 710, 300);
    auto largest = [&](const TSignalData& d) {
        long double best = 0;
        for (long long m = column.first; m < column.first + column.count; ++m)
            if (std::fabs(d[m % 2][m / 2]) > std::fabs(best)) best = d[m % 2][m / 2];
        return best;
    };
    const long double own = largest(s.wave), ref = largest(h.wave);
    const std::string text = readout.At(r.state, 300, 111);
    EXPECT_EQ(text.substr(text.find("   S = ")),
              "   S = " + FormatPicture(own / s.waveScale) + " (" + ExponentText(own) + ")   эталон = " +
                  FormatPicture(ref / s.waveScale) + " (" + ExponentText(ref) + ")");
    EXPECT_NE(readout.Peak(r.state).find("   эталон = "), std::string::npos);

    // A zoom draws it too, as a run under the same zoom does.
    r.state.SetZoom(PlotKind::Time, PlotRange{0.002L, 0.006L});
    fresh.state.Start();
    fresh.state.HoldReference();
    fresh.state.SelectPath(7);
    fresh.state.zoom = r.state.zoom;
    fresh.state.Start();
    EXPECT_TRUE(SamePicture(r.picture, fresh.picture));

    // Let go: the plots are drawn again without it.
    r.state.DropReference();
    EXPECT_EQ(r.state.Reference(), nullptr);
    plain.state.zoom = r.state.zoom;
    plain.state.Start();
    EXPECT_TRUE(SamePicture(r.picture, plain.picture));
    EXPECT_EQ(readout.At(r.state, 300, 111).find("эталон"), std::string::npos);
}

// A reference held at one sample step under a run at another (KofDiscret
// from 4 to 8 halves the step): drawn at its own sample times, as the
// plotter draws a reference of that step under the run's plots.
TEST(MainStateReference, DrawnAtItsOwnStepUnderARunAtAnother)
{
    Window r;
    r.state.Start();
    r.state.HoldReference();
    r.params.SetKofDiscretItem(2);
    r.state.Start();
    const ShownPlots& s = *r.state.Shown();
    const HeldReference& h = *r.state.Reference();
    ASSERT_EQ(2 * s.axes.Dt, h.Dt);
    Picture drawn = r.picture;
    drawn.Fill(r.settings.PlotBackColor);
    drawn.SetBrushColor(r.settings.PlotBackColor);
    PlotReference ref{&h.wave, nullptr, h.N, h.Dt};
    PlotExtras extras;
    extras.reference = &ref;
    DrawTimePlot(drawn, r.settings, s.axes, s.wave, s.N, s.waveCaption, {}, extras);
    ref.data = &h.spectrum;
    DrawSpectrumPlot(drawn, r.settings, s.axes, s.spectrum, s.N, s.spectrumCaption, {}, extras);
    EXPECT_TRUE(SamePicture(r.picture, drawn));
}

TEST(PlotReadout, Texts)
{
    EXPECT_EQ(ReadoutText("t", "0,00512", "с", {{"S", 0.734L, 2.31e-3L}}), "t = 0,00512 с   S = 0,734 (2,31E-3)");
    EXPECT_EQ(ReadoutText("f", "10300", "Гц", {{"|S|", 0.981L, 4.1e-5L}}), "f = 10300 Гц   |S| = 0,981 (4,1E-5)");
    EXPECT_EQ(CurveSymbol("S(t)"), "S");
    EXPECT_EQ(CurveSymbol("h(t)"), "h");
    EXPECT_EQ(CurveSymbol("|K(jw)|"), "|K|");
    EXPECT_EQ(CoordinateText(10300.4L, 10348.6L), "10300");
    EXPECT_EQ(CoordinateText(0.00512L, 0.00514L), "0,00512");
    EXPECT_EQ(CoordinateText(0.0123456L, 0.0123658L), "0,01235");
    // Neighbours 2E-5 s apart five seconds in need seven digits.
    EXPECT_EQ(CoordinateText(5.000012L, 5.000032L), "5,00001");
    EXPECT_EQ(ScaledValue(-3, 4), -0.75L);
    // The dB view: levels of the peak, "<" the floor below it.
    EXPECT_EQ(ReadoutText("t", "0,0124", "с", {{"S", ScaledDb(-1.28L, 12.8L), 1.28L, kWaveFloorDb}}),
              "t = 0,0124 с   S = -20 дБ (1,28E0)");
    EXPECT_EQ(ReadoutText("f", "10300", "Гц", {{"|S|", ScaledDb(4, 4), 4, kSpectrumFloorDb}}),
              "f = 10300 Гц   |S| = 0 дБ (4E0)");
    EXPECT_EQ(ReadoutText("t", "0,01", "с", {{"S", ScaledDb(1e-4L, 1), 1e-4L, kWaveFloorDb}}),
              "t = 0,01 с   S < -60 дБ (1E-4)");
    EXPECT_EQ(ReadoutText("t", "0,01", "с", {{"S", ScaledDb(0, 1), 0, kWaveFloorDb}}), "t = 0,01 с   S < -60 дБ (0)");
    EXPECT_EQ(FormatPicture(ScaledDb(0.5L, 1)), "-6,02");
    EXPECT_EQ(ExponentText(12.8L), "1,28E1");
    EXPECT_EQ(ExponentText(-0.5L), "-5E-1");
    EXPECT_EQ(ExponentText(9.996e-14L), "1E-13");
    EXPECT_EQ(ExponentText(0), "0");
}

// Values under the cursor, worked out here from the kept buffers by the
// plot's own definitions: point j of `count` at x = 50 + trunc(j·710/count).
TEST(PlotReadout, ReadsTheKeptDataUnderTheCursor)
{
    Window r;
    PlotReadout readout;
    EXPECT_EQ(readout.At(r.state, 300, 111), "");
    EXPECT_EQ(readout.Peak(r.state), "");
    r.params.SetTcText("0,05");  // 8192 samples, 11 or 12 in a pixel column
    r.state.Start();
    const ShownPlots& s = *r.state.Shown();
    ASSERT_EQ(s.N, 4096);
    auto sample = [&](long long m) { return (long double)s.wave[m % 2][m / 2]; };
    long double peak = 0;
    long long peakAt = 0;
    for (long long m = 0; m < 2 * s.N; ++m)
        if (std::fabs(sample(m)) > peak) {
            peak = std::fabs(sample(m));
            peakAt = m;
        }

    // A dense column reads the sample of largest magnitude drawn in it.
    const int x = 300;
    long long best = -1;
    for (long long m = 0; m < 2 * s.N; ++m)
        if (50 + m * 710 / (2 * s.N) == x && (best < 0 || std::fabs(sample(m)) > std::fabs(sample(best)))) best = m;
    auto timeText = [&](long long m, const char* prefix) {
        return prefix + ReadoutText("t", CoordinateText(m * kDt, (m + 1) * kDt), "с",
                                    {{"S", sample(m) / peak, sample(m)}});
    };
    EXPECT_EQ(readout.At(r.state, x, 111), timeText(best, ""));
    EXPECT_EQ(readout.At(r.state, 5, 5), timeText(peakAt, "пик: "));
    EXPECT_EQ(readout.At(r.state, 300, 240), timeText(peakAt, "пик: "));

    // The spectrum: 4096 columns of 24696/4096 Hz.
    long double specPeak = 0;
    auto modulus = [&](long long k) {
        const long double re = s.spectrum[0][k], im = s.spectrum[1][k];
        return std::sqrt(re * re + im * im);
    };
    for (long long k = 0; k < s.N; ++k) specPeak = std::max(specPeak, modulus(k));
    long long top = -1;
    for (long long k = 0; k < s.N; ++k)
        if (50 + k * 710 / s.N == 400 && (top < 0 || modulus(k) > modulus(top))) top = k;
    const long double df = 24696.0L / 4096;
    const std::string spectrumText = ReadoutText("f", CoordinateText(top * df, (top + 1) * df), "Гц",
                                                 {{"|S|", modulus(top) / specPeak, modulus(top)}});
    EXPECT_EQ(readout.At(r.state, 400, 400), spectrumText);

    // Zoomed to 71 samples, ten pixels apart: the nearest sample, and the
    // peak of the span.
    r.state.SetZoom(PlotKind::Time, PlotRange{1000 * kDt, 1070 * kDt});
    ASSERT_EQ(s.waveSpan, (PlotSpan{1000, 71}));
    EXPECT_EQ(readout.At(r.state, 50 + 304, 111), timeText(1030, ""));
    EXPECT_EQ(readout.At(r.state, 50 + 306, 111), timeText(1031, ""));
    long long spanPeak = 1000;
    for (long long m = 1000; m <= 1070; ++m)
        if (std::fabs(sample(m)) > std::fabs(sample(spanPeak))) spanPeak = m;
    EXPECT_EQ(readout.Peak(r.state), timeText(spanPeak, "пик: "));

    // A single model's view reads h and |K|.
    r.state.SelectModel(2);
    r.state.Start();
    EXPECT_EQ(readout.At(r.state, 300, 111).find("   h = "), readout.At(r.state, 300, 111).find("   "));
    EXPECT_NE(readout.At(r.state, 300, 400).find("   |K| = "), std::string::npos);
    EXPECT_EQ(readout.At(r.state, 300, 400).rfind("f = ", 0), 0u);
}

// Zoomed to 500 samples over 710 pixels a column holds one sample or none,
// and its edges fall between sample times: the readout reads the sample
// drawn in the column, sample j at x = 50 + trunc(j·710/500).
TEST(PlotReadout, ReadsTheSampleDrawnInAColumnOfOne)
{
    Window r;
    r.params.SetTcText("0,05");
    r.state.Start();
    r.state.SetZoom(PlotKind::Time, PlotRange{1000 * kDt, 1499 * kDt});
    const ShownPlots& s = *r.state.Shown();
    ASSERT_EQ(s.waveSpan, (PlotSpan{1000, 500}));
    PlotReadout readout;
    for (long long j = 0; j < 500; ++j) {
        const long long m = 1000 + j;
        const long double v = s.wave[m % 2][m / 2];
        ASSERT_EQ(readout.At(r.state, static_cast<int>(50 + j * 710 / 500), 111),
                  ReadoutText("t", CoordinateText(m * kDt, (m + 1) * kDt), "с", {{"S", v / s.waveScale, v}}))
            << m;
    }
}
