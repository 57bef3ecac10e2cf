#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "display/PictureSizing.h"
#include "display/Plotter.h"
#include "display/TickLabels.h"
#include "signal/Envelope.h"
#include "signal/Errors.h"
#include "tests/support/DefaultAxes.h"
#include "signal/NumberText.h"

namespace sonavir {
namespace {

constexpr TColor kFore = kWhite, kBack = kBlack;

using testsupport::DefaultAxes;

Picture Blank(int w = 785, int h = 484, TColor back = kBack)
{
    Picture p(w, h);
    p.Fill(back);
    p.SetBrushColor(back);
    return p;
}

TSignalData Wave(int N, double (*f)(int m))
{
    TSignalData d;
    AllocateSignal(d, N);
    for (int m = 0; m < 2 * N; ++m) d[m % 2][m / 2] = f(m);
    return d;
}

double Sine(int m) { return std::sin(m * 0.05) * 3.5; }

// The curves drawn the plain way, one LineTo per point.
// A picture smaller than the smallest is drawn as the top-left part of one
// of the smallest size.
int PlotW(const Picture& p) { return std::max(p.Width(), kMinPictureWidth); }
int PlotH(const Picture& p) { return std::max(p.Height(), kMinPictureHeight); }

// Points first .. first + count - 1 (every point when count is 0) across the
// plot width, scaled to the peak of every point.
void ReferenceTimeCurve(Picture& p, const TSignalData& s, int N, TColor fore, long long first = 0,
                        long long count = 0)
{
    const int Wp = PlotW(p) - 75, H = PlotH(p), X0 = 50;
    if (count == 0) count = 2LL * N;
    auto at = [&](long long m) { return s[m % 2][m / 2]; };
    double peak = 0;
    for (int m = 0; m < 2 * N; ++m) peak = std::max(peak, std::fabs(at(m)));
    const double ky = double(((H - 150) / 4.0L) / peak);
    const int Y0 = H / 4 - 10;
    p.SetPen(fore);
    p.MoveTo(X0, Y0 - int(ky * at(first)));
    for (long long j = 1; j < count; ++j) {
        const int x = X0 + int(std::trunc((long double)j * Wp / count));
        if (x >= 0 && x <= X0 + Wp) p.LineTo(x, Y0 - int(ky * at(first + j)));
    }
}

void ReferenceSpectrumCurve(Picture& p, const TSignalData& s, int N, TColor fore, long long first = 0,
                            long long count = 0)
{
    const int Wp = PlotW(p) - 75, H = PlotH(p), X0 = 50;
    if (count == 0) count = N;
    auto mod = [&](long long k) { return std::sqrt(s[0][k] * s[0][k] + s[1][k] * s[1][k]); };
    double peak = 0;
    for (int k = 0; k < N; ++k) peak = std::max(peak, mod(k));
    const double ky = double(((H - 150) / 2.0L) / peak);
    const int Y0 = H - 50;
    p.SetPen(fore);
    p.MoveTo(X0, Y0 - int(ky * mod(first)));
    for (long long j = 1; j < count; ++j) {
        const int x = X0 + int(std::trunc((long double)j * Wp / count));
        if (x >= 0 && x <= X0 + Wp) p.LineTo(x, Y0 - int(ky * mod(first + j)));
    }
}

void ExpectSamePixels(const Picture& a, const Picture& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    int differ = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelAt(x, y) != b.PixelAt(x, y) && differ++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y;
    EXPECT_EQ(differ, 0);
}

// Pixels of the text cell at (x, y) that differ from `text` as TextOut draws it.
int TextDiffers(const Picture& plot, int x, int y, const std::string& text, TColor fore = kFore,
                TColor back = kBack)
{
    Picture ref = Blank(plot.Width(), plot.Height(), back);
    ref.SetFontColor(fore);
    ref.TextOut(x, y, text);
    const int w = ref.TextWidth(text), h = ref.TextHeight();
    int differ = 0;
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx) differ += plot.PixelAt(xx, yy) != ref.PixelAt(xx, yy);
    return differ;
}

void ExpectText(const Picture& plot, int x, int y, const std::string& text, TColor fore = kFore,
                TColor back = kBack)
{
    EXPECT_EQ(TextDiffers(plot, x, y, text, fore, back), 0) << "\"" << text << "\" at " << x << "," << y;
}

// A tick label: its text and the top-left corner of its cell.
struct TickLabel {
    std::string text;
    int x, y;
};

// The labels of one axis as drawn: the first and the last, and between them
// every step-th, with no two drawn neighbours' cells closer than `gap`
// pixels along the axis (x side by side, y stacked). Returns how many.
size_t ExpectThinned(const Picture& p, const std::vector<TickLabel>& labels, bool sideBySide, int gap)
{
    std::vector<size_t> drawn;
    for (size_t k = 0; k < labels.size(); ++k)
        if (TextDiffers(p, labels[k].x, labels[k].y, labels[k].text) == 0) drawn.push_back(k);
    EXPECT_FALSE(drawn.empty());
    if (drawn.empty()) return 0;
    EXPECT_EQ(drawn.front(), 0u) << labels[0].text;
    EXPECT_EQ(drawn.back(), labels.size() - 1) << labels.back().text;
    for (size_t i = 1; i < drawn.size(); ++i) {
        const TickLabel& a = labels[drawn[i - 1]];
        const TickLabel& b = labels[drawn[i]];
        const int apart = sideBySide ? b.x - (a.x + p.TextWidth(a.text)) : std::abs(b.y - a.y) - p.TextHeight();
        EXPECT_GE(apart, gap) << "\"" << a.text << "\" and \"" << b.text << "\"";
        if (i + 1 < drawn.size()) {
            EXPECT_EQ(drawn[i] - drawn[i - 1], drawn[1] - drawn[0]) << "uneven";
        }
    }
    return drawn.size();
}

// Peak exactly 1 in both plots, so the scales are exact: A = (H - 150) / 4
// for the waveform and (H - 150) / 2 for the spectrum.
TSignalData UnitPeakData(int N)
{
    TSignalData d;
    AllocateSignal(d, N);
    for (int m = 0; m < 2 * N; ++m) d[m % 2][m / 2] = ((m * 7) % 9 - 4) / 4.0;
    return d;
}

void DrawUnitPeakPlots(Picture& p, const PictureSettings& s, int N)
{
    const TSignalData wave = UnitPeakData(N);
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");
    TSignalData spectrum;
    AllocateSignal(spectrum, N);
    for (int k = 0; k < N; ++k) spectrum[0][k] = ((k * 5) % 9) / 8.0;
    DrawSpectrumPlot(p, s, DefaultAxes(), spectrum, N, "|S(jw)|");
}

// The labels of the four axes of DrawUnitPeakPlots at the picture's size:
// time, waveform amplitude, frequency, spectrum amplitude.
std::array<std::vector<TickLabel>, 4> UnitPeakLabels(const Picture& p, int NA, int NT, int NF, int N)
{
    const int Wp = PlotW(p) - 75, H = PlotH(p);
    const long double halfA = (H - 150) / 4.0L;
    const int Y0 = H / 4 - 10, A = int(halfA);
    const int S0 = H - 50, SA = (H - 150) / 2;
    std::array<std::vector<TickLabel>, 4> axes;
    for (int k = 0; k <= NT; ++k) {
        const std::string t = FormatPicture(k * ((long double)N * (1.0L / 49392) * 2 / NT));
        axes[0].push_back({t, 50 + int(k * ((long double)Wp / NT)) - p.TextWidth(t) / 2, Y0 + A + 15});
    }
    for (int k = 0; k <= NA; ++k) {
        const std::string t = FormatPicture(1 - 2.0L * k / NA);
        axes[1].push_back({t, 50 - p.TextWidth(t) - 6, Y0 - A + int(k * (halfA * 2 / NA)) - 4});
        const std::string u = FormatPicture((long double)(NA - k) / NA);
        axes[3].push_back({u, 50 - p.TextWidth(u) - 6, S0 - SA + int(k * ((long double)SA / NA)) - 6});
    }
    axes[2].push_back({"0", 50 - p.TextWidth("0") / 2, S0 + 15});
    for (int k = 1; k <= NF; ++k) {
        const std::string t = std::to_string(k * 24696LL / NF);  // whole hertz, exactly
        axes[2].push_back({t, 50 + int(k * ((long double)(Wp - 1) / NF)) - p.TextWidth(t) / 2, S0 + 15});
    }
    return axes;
}

std::vector<int> ForeInRow(const Picture& p, int y, int x1, int x2)
{
    std::vector<int> xs;
    for (int x = x1; x <= x2; ++x)
        if (p.PixelAt(x, y) == kFore) xs.push_back(x);
    return xs;
}

int SpectrumA(const Picture& p)
{
    // The frame's top edge is 10 pixels above Y0 - A.
    for (int A : {166, 167})
        if (p.PixelAt(300, 434 - A - 10) == kFore) return A;
    ADD_FAILURE() << "no spectrum frame top";
    return 0;
}

TEST(PlotterTest, TimePlotFrameTicksAndLabelsOfTheDefaultPicture)
{
    Picture p = Blank();
    const PictureSettings s;
    const int N = 512;
    const TSignalData wave = Wave(N, Sine);
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");

    // Frame (50, 18) - (761, 204): the larger corner exclusive.
    EXPECT_EQ(p.PixelAt(50, 18), kFore);
    EXPECT_EQ(p.PixelAt(760, 18), kFore);
    EXPECT_EQ(p.PixelAt(50, 203), kFore);
    EXPECT_EQ(p.PixelAt(760, 203), kFore);
    EXPECT_EQ(p.PixelAt(761, 18), kBack);
    EXPECT_EQ(p.PixelAt(50, 204), kBack);

    // Time ticks, 5 pixels inward from both edges.
    const std::vector<int> ticks = {168, 286, 405, 523, 641};
    EXPECT_EQ(ForeInRow(p, 200, 51, 759), ticks);
    EXPECT_EQ(ForeInRow(p, 199, 51, 759), ticks);
    EXPECT_EQ(ForeInRow(p, 198, 51, 759), std::vector<int>{});
    EXPECT_EQ(ForeInRow(p, 19, 51, 759), ticks);
    EXPECT_EQ(ForeInRow(p, 23, 51, 759), ticks);

    const std::vector<int> tickX = {50, 168, 286, 405, 523, 641, 760};
    const std::vector<std::string> labels = {"0", "0,00346", "0,00691", "0,0104",
                                             "0,0138", "0,0173", "0,0207"};
    for (int k = 0; k <= 6; ++k)
        ExpectText(p, tickX[k] - p.TextWidth(labels[k]) / 2, 209, labels[k]);

    // Amplitude ticks at y = 28 + trunc(k * 83.5 * 2 / 4), labels from 1 to -1.
    std::vector<int> ampY = {28, 69, 111, 153, 195};
    const std::vector<std::string> amp = {"1", "0,5", "0", "-0,5", "-1"};
    for (int k = 0; k <= 4; ++k) {
        // 4 * 41.75 truncates to 166 or 167 with the last bit of ky * peak.
        if (k == 4 && p.PixelAt(54, 194) == kFore) ampY[k] = 194;
        EXPECT_EQ(p.PixelAt(54, ampY[k]), kFore) << k;
        EXPECT_EQ(p.PixelAt(756, ampY[k]), kFore) << k;
        EXPECT_EQ(p.PixelAt(755, ampY[k]), kBack) << k;
        ExpectText(p, 50 - p.TextWidth(amp[k]) - 6, ampY[k] - 4, amp[k]);
    }
    ExpectText(p, 50 - p.TextWidth("S(t)") - 6, 8, "S(t)");
    ExpectText(p, 760 - p.TextWidth("t, с"), 222, "t, с");
}

TEST(PlotterTest, SpectrumPlotFrameTicksAndLabels)
{
    Picture p = Blank();
    PictureSettings s;
    const int N = 512;
    TSignalData spectrumData = Wave(N, Sine);
    DrawSpectrumPlot(p, s, DefaultAxes(), spectrumData, N, "|S(jw)|");
    const int A = SpectrumA(p);
    const int top = 434 - A - 10;

    // Frame x 50 .. 759 (one pixel short of the waveform's), y top .. 443.
    EXPECT_EQ(p.PixelAt(50, 443), kFore);
    EXPECT_EQ(p.PixelAt(759, 443), kFore);
    EXPECT_EQ(p.PixelAt(759, top), kFore);
    EXPECT_EQ(p.PixelAt(50, 444), kBack);
    EXPECT_EQ(p.PixelAt(760, top + 1), kBack);

    // Frequency ticks at 50 + trunc(k * 709 / 6), k = 1 .. 6 (the last on the
    // right edge); none at k = 0.
    const std::vector<int> tickX = {168, 286, 404, 522, 640, 759};
    const std::vector<int> inner(tickX.begin(), tickX.end() - 1);
    EXPECT_EQ(ForeInRow(p, 443 - 4, 51, 758), inner);
    EXPECT_EQ(ForeInRow(p, 440, 51, 758), inner);
    EXPECT_EQ(ForeInRow(p, 438, 51, 758), std::vector<int>{});
    EXPECT_EQ(ForeInRow(p, top + 4, 51, 758), inner);
    EXPECT_EQ(ForeInRow(p, top + 5, 51, 758), std::vector<int>{});

    ExpectText(p, 50 - p.TextWidth("0") / 2, 449, "0");
    for (int k = 1; k <= 6; ++k) {
        const std::string label = std::to_string(k * 4116);
        ExpectText(p, tickX[k - 1] - p.TextWidth(label) / 2, 449, label);
    }
    const std::vector<std::string> amp = {"1", "0,75", "0,5", "0,25", "0"};
    for (int k = 0; k <= 4; ++k) {
        const int y = 434 - A + int(k * A / 4.0L);
        EXPECT_EQ(p.PixelAt(54, y), kFore) << k;
        EXPECT_EQ(p.PixelAt(755, y), kFore) << k;
        ExpectText(p, 50 - p.TextWidth(amp[k]) - 6, y - 6, amp[k]);
    }
    ExpectText(p, 50 - p.TextWidth("|S(jw)|") - 6, 434 - A - 20, "|S(jw)|");
    ExpectText(p, 760 - p.TextWidth("f, Гц"), 462, "f, Гц");
}

TEST(PlotterTest, ScaleOffDrawsOnlyTheCurves)
{
    PictureSettings s;
    s.SetScale(false);
    s.scale = false;
    const int N = 512;
    const TSignalData wave = Wave(N, Sine);
    Picture p = Blank();
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");
    DrawSpectrumPlot(p, s, DefaultAxes(), wave, N, "|S(jw)|");
    Picture ref = Blank();
    ReferenceTimeCurve(ref, wave, N, kFore);
    ReferenceSpectrumCurve(ref, wave, N, kFore);
    ExpectSamePixels(p, ref);
}

TEST(PlotterTest, TickSwitchesOffKeepFrameCaptionAndAxisName)
{
    PictureSettings s;
    s.SetAmplitude(false);
    s.SetTc(false);
    s.SetF(false);
    const int N = 64;
    const TSignalData wave = Wave(N, Sine);
    Picture p = Blank();
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "h(t)");
    DrawSpectrumPlot(p, s, DefaultAxes(), wave, N, "|K(jw)|");
    EXPECT_EQ(p.PixelAt(50, 18), kFore);
    EXPECT_EQ(p.PixelAt(760, 203), kFore);
    EXPECT_EQ(p.PixelAt(50, 443), kFore);
    EXPECT_EQ(ForeInRow(p, 200, 51, 759), std::vector<int>{});  // no time ticks
    EXPECT_EQ(ForeInRow(p, 440, 51, 758), std::vector<int>{});  // no frequency ticks
    EXPECT_EQ(p.PixelAt(54, 69), kBack);                         // no amplitude ticks
    ExpectText(p, 50 - p.TextWidth("h(t)") - 6, 8, "h(t)");
    ExpectText(p, 760 - p.TextWidth("t, с"), 222, "t, с");
    ExpectText(p, 760 - p.TextWidth("f, Гц"), 462, "f, Гц");
    // Nothing below the waveform frame but the axis name: no labels there.
    for (int x = 0; x < 700; ++x)
        for (int y = 205; y < 240; ++y) ASSERT_EQ(p.PixelAt(x, y), kBack) << x << "," << y;
}

TEST(PlotterTest, ConstantWaveformIsAHorizontalLineAtTheTop)
{
    PictureSettings s;
    s.scale = false;
    const int N = 512;
    const TSignalData wave = Wave(N, [](int) { return 0.7; });
    Picture p = Blank();
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");
    // Y0 - A = 111 - 83; the last point (x = 759) is the excluded end.
    EXPECT_EQ(ForeInRow(p, 28, 0, 784).size(), 709u);
    EXPECT_EQ(p.PixelAt(50, 28), kFore);
    EXPECT_EQ(p.PixelAt(758, 28), kFore);
    int total = 0;
    for (int y = 0; y < 484; ++y) total += int(ForeInRow(p, y, 0, 784).size());
    EXPECT_EQ(total, 709);
}

TEST(PlotterTest, SingleColumnAndSinglePairBuffers)
{
    PictureSettings s;
    s.scale = false;
    const TSignalData pair = Wave(1, [](int m) { return m == 0 ? 2.0 : -2.0; });
    Picture p = Blank();
    DrawTimePlot(p, s, DefaultAxes(), pair, 1, "S(t)");
    // One segment from (50, 28) to (50 + 355, 194), its end excluded.
    int total = 0;
    for (int y = 0; y < 484; ++y) total += int(ForeInRow(p, y, 0, 784).size());
    EXPECT_EQ(total, 355);
    EXPECT_EQ(p.PixelAt(50, 28), kFore);
    EXPECT_EQ(p.PixelAt(405, 194), kBack);

    // One spectral column: only the start point is set, nothing is drawn.
    Picture q = Blank();
    DrawSpectrumPlot(q, s, DefaultAxes(), pair, 1, "|S(jw)|");
    for (int y = 0; y < 484; ++y) ASSERT_TRUE(ForeInRow(q, y, 0, 784).empty());
    EXPECT_EQ(q.PenX(), 50);
    EXPECT_GE(q.PenY(), 434 - 167);
    EXPECT_LE(q.PenY(), 434 - 166);
}

TEST(PlotterTest, SingleSpectralSpikeReachesTheTop)
{
    PictureSettings s;
    s.scale = false;
    const int N = 512;
    TSignalData spectrumData;
    AllocateSignal(spectrumData, N);
    spectrumData[0][100] = 3;
    spectrumData[1][100] = -4;
    Picture p = Blank();
    DrawSpectrumPlot(p, s, DefaultAxes(), spectrumData, N, "|S(jw)|");
    const int spikeX = 50 + 100 * 710 / 512;  // 188
    int topY = -1, topX = -1;
    for (int y = 0; y < 484 && topY < 0; ++y)
        for (int x = 0; x < 785; ++x)
            if (p.PixelAt(x, y) == kFore) {
                topY = y;
                topX = x;
                break;
            }
    EXPECT_EQ(topX, spikeX);
    EXPECT_TRUE(topY == 434 - 167 || topY == 434 - 166) << topY;
    EXPECT_EQ(p.PixelAt(50, 434), kFore);   // the base line up to the spike
    EXPECT_EQ(p.PixelAt(757, 434), kFore);  // and on to the last point (excluded)
    EXPECT_EQ(p.PixelAt(758, 434), kBack);
}

TEST(PlotterTest, ZeroPeakFailsBeforeDrawingItsBand)
{
    PictureSettings s;
    const int N = 16;
    TSignalData zero;
    AllocateSignal(zero, N);
    // A reference to scale to does not make a silent plot drawable.
    const TSignalData loud = Wave(N, Sine);
    PlotReference ref;
    ref.data = &loud;
    ref.N = N;
    ref.Dt = DefaultAxes().Dt;
    PlotExtras withRef;
    withRef.reference = &ref;
    Picture p = Blank();
    for (const bool db : {false, true}) {
        s.SetDb(db);
        for (int plot = 0; plot < 4; ++plot) {
            const PlotExtras& extras = plot < 2 ? PlotExtras{} : withRef;
            try {
                if (plot % 2 == 0)
                    DrawTimePlot(p, s, DefaultAxes(), zero, N, "S(t)", {}, extras);
                else
                    DrawSpectrumPlot(p, s, DefaultAxes(), zero, N, "|S(jw)|", {}, extras);
                FAIL() << "no failure for plot " << plot << (db ? " in dB" : "");
            } catch (const SonavirError& e) {
                EXPECT_STREQ(e.what(), "Floating point division by zero");
            }
        }
    }
    for (int y = 0; y < 484; ++y) ASSERT_TRUE(ForeInRow(p, y, 0, 784).empty());
}

// Both plots scale to their own peak, so a buffer far below or above the
// usual levels (a tiny sphere, a huge one, a long range) draws the same
// picture as at level 1; it must not fail on scale factors or squared moduli
// that leave the double range. Values are small integers times powers of two
// so that every level is exact.
TEST(PlotterTest, ExtremeLevelsDrawTheSamePictureAsOrdinaryOnes)
{
    PictureSettings s;
    const int N = 256;
    auto level = [](int m) { return double(m % 9 - 4); };  // peak 4
    auto draw = [&](int exponent) {
        TSignalData data;
        AllocateSignal(data, N);
        for (int m = 0; m < 2 * N; ++m) data[m % 2][m / 2] = std::ldexp(level(m * 7), exponent);
        Picture p = Blank();
        DrawTimePlot(p, s, DefaultAxes(), data, N, "S(t)");
        // Spectrum columns: real parts only, with one (3, 4) column of modulus 5.
        for (int k = 0; k < N; ++k) {
            data[0][k] = std::ldexp(std::fabs(level(k * 5)) * 2, exponent);  // peak 8
            data[1][k] = 0;
        }
        data[0][40] = std::ldexp(3.0, exponent);
        data[1][40] = std::ldexp(-4.0, exponent);
        DrawSpectrumPlot(p, s, DefaultAxes(), data, N, "|S(jw)|");
        return p;
    };
    const Picture ordinary = draw(0);
    for (int exponent : {-1060, -600, 600, 1000}) {
        SCOPED_TRACE("level 2^" + std::to_string(exponent));
        Picture p = Blank();
        try {
            p = draw(exponent);
        } catch (const SonavirError& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        ExpectSamePixels(p, ordinary);
    }
}

TEST(PlotterTest, ColoursComeFromTheSchemeAndThePenIsLeftInThem)
{
    PictureSettings s;
    s.SetColorItem(1);
    Picture p = Blank(785, 484, kWhite);
    p.SetPen(kWhite, 1);
    p.SetFontColor(kWhite);
    const int N = 64;
    const TSignalData wave = Wave(N, Sine);
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");
    EXPECT_EQ(p.PenColor(), kBlack);
    EXPECT_EQ(p.PixelAt(50, 18), kBlack);
    EXPECT_EQ(p.PixelAt(51, 19), kWhite);
    ExpectText(p, 760 - p.TextWidth("t, с"), 222, "t, с", kBlack, kWhite);
}

// Many points per pixel column: the collapsed drawing must set exactly the
// pixels of one LineTo per point. Sizes around the number of pixel columns
// are included, and bitmaps narrower than the smallest picture, which show
// the left part of a plot of that width.
TEST(PlotterTest, DenseCurvesMatchSegmentBySegmentDrawing)
{
    PictureSettings s;
    s.scale = false;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    const std::pair<int, int> cases[] = {{1 << 16, 160}, {1 << 16, 785}, {256, 785},
                                         {1024, 1098},   {1024, 1099},   {4096, 76},
                                         {64, 75},       {64, 60}};
    for (const auto& [N, width] : cases) {
        TSignalData data;
        AllocateSignal(data, N);
        for (int m = 0; m < 2 * N; ++m) data[m % 2][m / 2] = noise(rng) * (1 + (m % 5000 == 0) * 4);
        Picture p = Blank(width, 300);
        DrawTimePlot(p, s, DefaultAxes(), data, N, "");
        DrawSpectrumPlot(p, s, DefaultAxes(), data, N, "");
        Picture ref = Blank(width, 300);
        ReferenceTimeCurve(ref, data, N, kFore);
        ReferenceSpectrumCurve(ref, data, N, kFore);
        SCOPED_TRACE("N = " + std::to_string(N) + ", width " + std::to_string(width));
        ExpectSamePixels(p, ref);
    }
}

TEST(PlotterTest, ColumnPolylineMatchesPlainLinesOnAwkwardShapes)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> dy(-6, 6), dx(0, 2), len(1, 40);
    for (int trial = 0; trial < 2000; ++trial) {
        Picture a(40, 40), b(40, 40);
        a.SetPen(kWhite);
        b.SetPen(kWhite);
        int x = 2, y = 20;
        a.MoveTo(x, y);
        ColumnPolyline line(b, x, y);
        const int n = len(rng);
        for (int i = 0; i < n; ++i) {
            // Mostly the same column, with repeats and returns to old heights.
            x += dx(rng) == 2 ? 1 : 0;
            y = std::clamp(y + dy(rng) * (i % 3 == 0 ? 0 : 1), -3, 43);
            a.LineTo(x, y);
            line.LineTo(x, y);
        }
        line.Finish();
        EXPECT_EQ(b.PenX(), a.PenX());
        EXPECT_EQ(b.PenY(), a.PenY());
        for (int yy = 0; yy < 40; ++yy)
            for (int xx = 0; xx < 40; ++xx)
                ASSERT_EQ(a.PixelAt(xx, yy), b.PixelAt(xx, yy)) << "trial " << trial;
    }
}

TEST(TickLabelsTest, EveryStepthLabelAndTheLast)
{
    auto spans = [](std::vector<int> starts, int width) {
        std::vector<LabelSpan> v;
        for (int x : starts) v.push_back({x, x + width});
        return v;
    };
    auto flags = [](std::string pattern) {
        std::vector<bool> v;
        for (char c : pattern) v.push_back(c == '1');
        return v;
    };
    // Apart by exactly the gap: all of them.
    EXPECT_EQ(LabelsToDraw(spans({0, 14, 28, 42}, 10), 4), flags("1111"));
    // One short of it: every second, and the last.
    EXPECT_EQ(LabelsToDraw(spans({0, 13, 26, 39, 52}, 10), 4), flags("10101"));
    // The regular one before the last gives way to it.
    EXPECT_EQ(LabelsToDraw(spans({0, 13, 26, 39, 52, 65}, 10), 4), flags("101001"));
    // Stacked cells may meet, not overlap.
    EXPECT_EQ(LabelsToDraw(spans({0, 14, 27}, 14), 0), flags("101"));
    // Only the first when even the first and the last touch; one label is drawn.
    EXPECT_EQ(LabelsToDraw(spans({0, 5}, 10), 4), flags("10"));
    EXPECT_EQ(LabelsToDraw(spans({7}, 10), 4), flags("1"));
    // An empty label draws nothing and crowds nothing.
    EXPECT_EQ(LabelsToDraw({{0, 10}, {12, 12}, {14, 24}}, 4), flags("111"));
}

// At tick counts where the labels would overlap, the ticks all stay but the
// labels are thinned evenly, keeping the first and the last.
TEST(PlotterTest, HighTickCountsThinTheLabels)
{
    const int N = 512;
    for (const auto& [NA, NT, NF] : {std::array<int, 3>{13, 19, 23}, std::array<int, 3>{30, 30, 30}}) {
        SCOPED_TRACE("counts " + std::to_string(NA) + ", " + std::to_string(NT) + ", " + std::to_string(NF));
        PictureSettings s;
        s.amplitudeCount = NA;
        s.tcCount = NT;
        s.fCount = NF;
        Picture p = Blank();
        DrawUnitPeakPlots(p, s, N);
        const auto axes = UnitPeakLabels(p, NA, NT, NF, N);
        EXPECT_LT(ExpectThinned(p, axes[0], true, kLabelGapSideBySide), axes[0].size());
        EXPECT_LT(ExpectThinned(p, axes[1], false, kLabelGapStacked), axes[1].size());
        EXPECT_LT(ExpectThinned(p, axes[2], true, kLabelGapSideBySide), axes[2].size());
        EXPECT_LT(ExpectThinned(p, axes[3], false, kLabelGapStacked), axes[3].size());
        // Every time tick is still there, on the frame's bottom edge.
        std::vector<int> ticks;
        for (int k = 1; k < NT; ++k) ticks.push_back(50 + int(k * (710.0L / NT)));
        EXPECT_EQ(ForeInRow(p, 200, 56, 754), ticks);
    }
}

// k·rate/NF is a whole number of hertz for k = NF whatever NF is; the label
// must read it exactly (the product of a rounded step fell 1 Hz short).
TEST(PlotterTest, LastFrequencyLabelIsExact)
{
    const int N = 64;
    for (int NF = 1; NF <= 30; ++NF) {
        PictureSettings s;
        s.fCount = NF;
        Picture p = Blank();
        DrawUnitPeakPlots(p, s, N);
        const TickLabel last = UnitPeakLabels(p, 4, 6, NF, N)[2].back();
        ASSERT_EQ(last.text, "24696");
        EXPECT_EQ(TextDiffers(p, last.x, last.y, last.text), 0) << NF << " intervals";
    }
}

// The smallest picture still shows every label at the default counts; a
// smaller bitmap shows the top-left part of it, never a flipped plot.
TEST(PlotterTest, SmallestPictureKeepsEveryLabelAndSmallerOnesItsTopLeft)
{
    const int N = 512;
    const PictureSettings s;
    Picture smallest = Blank(kMinPictureWidth, kMinPictureHeight);
    DrawUnitPeakPlots(smallest, s, N);
    const auto axes = UnitPeakLabels(smallest, 4, 6, 6, N);
    for (const auto& axis : axes)
        for (const TickLabel& l : axis) ExpectText(smallest, l.x, l.y, l.text);

    for (const auto& [w, h] : {std::pair{200, 120}, std::pair{1, 1}, std::pair{500, 100}}) {
        Picture p = Blank(w, h);
        DrawUnitPeakPlots(p, s, N);
        Picture whole = Blank(std::max(w, kMinPictureWidth), std::max(h, kMinPictureHeight));
        DrawUnitPeakPlots(whole, s, N);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(p.PixelAt(x, y), whole.PixelAt(x, y)) << w << " x " << h << " at " << x << "," << y;
    }
}

// A zoomed span is drawn like a whole plot of its points, at the scale of
// every point: spans of two points, of a few points per column, of most of
// the record, at odd offsets, on the default and a narrow bitmap.
TEST(PlotterTest, ZoomedCurvesMatchSegmentBySegmentDrawing)
{
    PictureSettings s;
    s.scale = false;
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(0.0, 1.0);
    const int N = 1 << 16;
    TSignalData data;
    AllocateSignal(data, N);
    for (int m = 0; m < 2 * N; ++m) data[m % 2][m / 2] = noise(rng) * (1 + (m % 7000 == 3) * 5);
    const PlotSpan spans[] = {{1001, 2}, {12345, 7}, {777, 1500}, {33333, 2131}, {5, N - 10}, {3, 2 * N - 10}};
    for (const int width : {785, 400}) {
        for (const PlotSpan& span : spans) {
            SCOPED_TRACE("span " + std::to_string(span.first) + " + " + std::to_string(span.count) +
                         ", width " + std::to_string(width));
            Picture p = Blank(width, 300);
            DrawTimePlot(p, s, DefaultAxes(), data, N, "", span);
            const bool inSpectrum = span.first + span.count <= N;
            if (inSpectrum) DrawSpectrumPlot(p, s, DefaultAxes(), data, N, "", span);
            Picture ref = Blank(width, 300);
            ReferenceTimeCurve(ref, data, N, kFore, span.first, span.count);
            if (inSpectrum) ReferenceSpectrumCurve(ref, data, N, kFore, span.first, span.count);
            ExpectSamePixels(p, ref);
        }
    }
}

// The frame, the ticks, the amplitude labels, the caption and the axis name
// stay where the whole plot has them; only the tick values follow the span.
TEST(PlotterTest, ZoomedPlotsKeepTheirGeometryAndLabelTheSpan)
{
    const int N = 512;
    const PictureSettings s;
    Picture p = Blank();
    const TSignalData wave = Wave(N, Sine);
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)", PlotSpan{100, 600});
    DrawSpectrumPlot(p, s, DefaultAxes(), wave, N, "|S(jw)|", PlotSpan{100, 200});
    Picture whole = Blank();
    DrawTimePlot(whole, s, DefaultAxes(), wave, N, "S(t)");
    DrawSpectrumPlot(whole, s, DefaultAxes(), wave, N, "|S(jw)|");

    // Frames and ticks: rows 200 (time ticks) and 440 (frequency ticks),
    // the frame edges with the amplitude ticks on them, pixel for pixel.
    for (const int y : {18, 200, 203, 440, 443})
        EXPECT_EQ(ForeInRow(p, y, 0, 784), ForeInRow(whole, y, 0, 784)) << "row " << y;
    for (int y = 18; y <= 443; ++y) {
        if (y >= 204 && y < 270) continue;  // the labels between the bands
        const int right = y < 204 ? 760 : 759;
        ASSERT_EQ(p.PixelAt(50, y), whole.PixelAt(50, y)) << y;
        ASSERT_EQ(p.PixelAt(right, y), whole.PixelAt(right, y)) << y;
    }
    for (const int y : {28, 69, 111, 153}) EXPECT_EQ(p.PixelAt(756, y), kFore) << y;
    ExpectText(p, 50 - p.TextWidth("S(t)") - 6, 8, "S(t)");
    ExpectText(p, 760 - p.TextWidth("t, с"), 222, "t, с");
    ExpectText(p, 760 - p.TextWidth("f, Гц"), 462, "f, Гц");
    ExpectText(p, 50 - p.TextWidth("-0,5") - 6, 153 - 4, "-0,5");

    // Samples 100 .. 699 of Dt = 1/49392 s; columns 100 .. 299 of 48.234375 Hz.
    const std::vector<std::string> times = {"0,00202", "0,00405", "0,00607", "0,0081",
                                            "0,0101",  "0,0121",  "0,0142"};
    const std::vector<int> tickX = {50, 168, 286, 405, 523, 641, 760};
    for (int k = 0; k <= 6; ++k) ExpectText(p, tickX[k] - p.TextWidth(times[k]) / 2, 209, times[k]);
    const std::vector<std::string> hertz = {"4823", "6431", "8039", "9647", "11255", "12863", "14470"};
    const std::vector<int> fTickX = {50, 168, 286, 404, 522, 640, 759};
    for (int k = 0; k <= 6; ++k) ExpectText(p, fTickX[k] - p.TextWidth(hertz[k]) / 2, 449, hertz[k]);
}

// Each plot draws within its own band, so one can be drawn again, zoomed or
// whole, over its cleared band without touching the other.
TEST(PlotterTest, EachPlotKeepsToItsBand)
{
    for (const auto& [w, h] : {std::pair{785, 484}, std::pair{kMinPictureWidth, kMinPictureHeight},
                               std::pair{900, 1300}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        PictureSettings s;
        s.amplitudeCount = 30;
        Picture p = Blank(w, h);
        DrawUnitPeakPlots(p, s, 512);
        const Picture original = p;
        const PlotAxes axes = DefaultAxes();
        for (const PlotKind plot : {PlotKind::Time, PlotKind::Spectrum}) {
            const PlotPlace band = PlaceOfPlot(p, axes, plot);
            ClearPlotBand(p, s, plot);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool inside = y >= band.bandTop && y <= band.bandBottom;
                    ASSERT_EQ(p.PixelAt(x, y), inside ? kBack : original.PixelAt(x, y)) << x << "," << y;
                }
            p = original;
        }
        // The frames lie where the places say, the middle belongs to neither.
        EXPECT_EQ(PlotAt(p, axes, 300, h / 4 - 10), PlotKind::Time);
        EXPECT_EQ(PlotAt(p, axes, 300, h - 60), PlotKind::Spectrum);
        EXPECT_EQ(PlotAt(p, axes, 30, h - 60), PlotKind::None);
        EXPECT_EQ(PlotAt(p, axes, 300, h / 2), PlotKind::None);
        const PlotPlace time = PlaceOfPlot(p, axes, PlotKind::Time);
        EXPECT_EQ(p.PixelAt(time.X0, time.frameTop), kFore);
        EXPECT_EQ(p.PixelAt(time.X0 + time.Wp, time.frameBottom), kFore);
    }
}

// The dB view in the frames of the linear plots: levels from 0 on the top
// row to the floor on the bottom row (-60 dB for the waveform's envelope,
// -80 dB for the spectrum), labelled at the NA intervals, captions with
// their unit (the spectrum's too wide for the margin, so above its frame).
TEST(PlotterTest, DbViewLabelsItsLevelsAndDrawsSilenceAtTheFloor)
{
    PictureSettings s;
    s.SetDb(true);
    const int N = 512;
    const TSignalData wave = Wave(N, Sine);
    TSignalData spectrum;
    AllocateSignal(spectrum, N);
    spectrum[0][100] = 3;  // one column of modulus 5, every other column 0
    spectrum[1][100] = -4;
    for (const int NA : {4, 3}) {
        SCOPED_TRACE("NA = " + std::to_string(NA));
        s.amplitudeCount = NA;
        Picture p = Blank();
        EXPECT_EQ(DrawSpectrumPlot(p, s, DefaultAxes(), spectrum, N, "|S(jw)|"), 5);
        DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");

        // The waveform's frame (50, 18) - (761, 204): 0 dB on row 28, -60 dB
        // on row 194, ticks at trunc(k·166/NA) below the top.
        EXPECT_EQ(p.PixelAt(50, 18), kFore);
        EXPECT_EQ(p.PixelAt(760, 203), kFore);
        const std::vector<std::string> wave4 = {"0", "-15", "-30", "-45", "-60"};
        const std::vector<std::string> wave3 = {"0", "-20", "-40", "-60"};
        for (int k = 0; k <= NA; ++k) {
            const int y = 28 + k * 166 / NA;
            EXPECT_EQ(p.PixelAt(54, y), kFore) << k;
            EXPECT_EQ(p.PixelAt(756, y), kFore) << k;
            const std::string& label = (NA == 4 ? wave4 : wave3)[k];
            ExpectText(p, 50 - p.TextWidth(label) - 6, y - 4, label);
        }
        ExpectText(p, 50 - p.TextWidth("S(t), дБ") - 6, 8, "S(t), дБ");
        ExpectText(p, 760 - p.TextWidth("t, с"), 222, "t, с");

        // The spectrum: 0 dB on row 267, -80 dB on the base line 434.
        const std::vector<std::string> spec4 = {"0", "-20", "-40", "-60", "-80"};
        const std::vector<std::string> spec3 = {"0", "-26,7", "-53,3", "-80"};
        for (int k = 0; k <= NA; ++k) {
            const int y = 267 + k * 167 / NA;
            EXPECT_EQ(p.PixelAt(54, y), kFore) << k;
            EXPECT_EQ(p.PixelAt(755, y), kFore) << k;
            const std::string& label = (NA == 4 ? spec4 : spec3)[k];
            ExpectText(p, 50 - p.TextWidth(label) - 6, y - 6, label);
        }
        ExpectText(p, 0, 257 - p.TextHeight(), "|S(jw)|, дБ");
        ExpectText(p, 760 - p.TextWidth("f, Гц"), 462, "f, Гц");
        // The silent columns lie on the floor, the one column reaches 0 dB.
        EXPECT_EQ(p.PixelAt(100, 434), kFore);
        EXPECT_EQ(p.PixelAt(700, 434), kFore);
        EXPECT_EQ(p.PixelAt(50 + 100 * 710 / 512, 267), kFore);
        EXPECT_EQ(p.PixelAt(50 + 100 * 710 / 512, 266), kBack);
    }
}

// A Gaussian-windowed tone's envelope is its window, so its dB curve is a
// parabola: 20 lg e = -(20 / ln 10)·(m - m0)² / (2σ²) dB, held at -60 dB
// where the window falls below a thousandth.
TEST(PlotterTest, DbCurveOfAGaussianToneIsTheParabolaOfItsWindow)
{
    PictureSettings s;
    s.SetDb(true);
    s.scale = false;
    const int N = 256;  // 512 samples, one or two pixels apart
    const double m0 = 250.3, sigma = 30;
    auto window = [&](int m) { return std::exp(-(m - m0) * (m - m0) / (2 * sigma * sigma)); };
    TSignalData wave;
    AllocateSignal(wave, N);
    for (int m = 0; m < 2 * N; ++m) wave[m % 2][m / 2] = window(m) * std::cos(0.4 * std::numbers::pi * m);
    Picture p = Blank();
    DrawTimePlot(p, s, DefaultAxes(), wave, N, "S(t)");

    long double top = 0;  // the envelope's peak, between samples
    for (int m = 0; m < 2 * N; ++m) top = std::max<long double>(top, window(m));
    int floored = 0;
    for (int m = 0; m + 1 < 2 * N; ++m) {
        const int x = 50 + m * 710 / (2 * N);
        const long double level = 20 * std::log10(window(m) / top);
        if (level < -60.5L) {
            EXPECT_EQ(p.PixelAt(x, 194), kFore) << m;
            ++floored;
        } else if (level > -59.5L) {
            const int y = 28 + int(-level / 60 * 166);
            EXPECT_TRUE(p.PixelAt(x, y) == kFore || p.PixelAt(x, y - 1) == kFore || p.PixelAt(x, y + 1) == kFore)
                << m << ": " << double(level) << " dB";
        }
    }
    EXPECT_GT(floored, 250);
}

// Many points per pixel column, whole and zoomed: the column collapsing of
// the dB view sets exactly the pixels of one LineTo per point at its level.
TEST(PlotterTest, DbCurvesMatchLevelsDrawnPointByPoint)
{
    PictureSettings s;
    s.SetDb(true);
    s.scale = false;
    std::mt19937 rng(23);
    std::normal_distribution<double> noise(0.0, 1.0);
    const int N = 1 << 14;
    TSignalData data;
    AllocateSignal(data, N);
    for (int m = 0; m < 2 * N; ++m) data[m % 2][m / 2] = noise(rng) * std::exp(-std::fabs(m - 9000.0) / 900);
    TSignalData envelope;
    Envelope(data, N, envelope);

    // Points first .. first + count - 1 of `values` at their levels.
    auto reference = [](Picture& p, const std::vector<long double>& values, long double floor, int top, int span,
                        long long first, long long count) {
        const long double peak = *std::max_element(values.begin(), values.end());
        auto y = [&](long long i) {
            const long double level = std::max(floor, 20 * std::log10(values[size_t(i)] / peak));
            return top + int(std::trunc(level / floor * span));
        };
        p.SetPen(kFore);
        p.MoveTo(50, y(first));
        for (long long j = 1; j < count; ++j) p.LineTo(50 + int(j * 710 / count), y(first + j));
    };
    std::vector<long double> levels(2 * N), moduli(N);
    for (int m = 0; m < 2 * N; ++m) levels[size_t(m)] = envelope[m % 2][m / 2];
    for (int k = 0; k < N; ++k) moduli[size_t(k)] = std::hypot(data[0][k], data[1][k]);

    for (const PlotSpan& span : {PlotSpan{}, PlotSpan{7001, 3333}, PlotSpan{123, 1000}}) {
        SCOPED_TRACE("span " + std::to_string(span.first) + " + " + std::to_string(span.count));
        Picture p = Blank();
        DrawTimePlot(p, s, DefaultAxes(), data, N, "", span);
        DrawSpectrumPlot(p, s, DefaultAxes(), data, N, "", span);
        Picture ref = Blank();
        const PlotSpan wave = span.Within(2LL * N), columns = span.Within(N);
        reference(ref, levels, -60, 28, 166, wave.first, wave.count);
        reference(ref, moduli, -80, 267, 167, columns.first, columns.count);
        ExpectSamePixels(p, ref);
    }
}

// A held reference under the plot: dotted, on the scale of the larger peak,
// at its own sample times (here half or twice the plot's step, or a zoomed
// span) and clipped to the plot.
TEST(PlotterTest, ReferenceSharesTheScaleAndIsClippedToTheAxis)
{
    PictureSettings s;
    s.scale = false;
    const int N = 512;
    const TSignalData own = Wave(N, [](int) { return 1.0; });
    const TSignalData low = Wave(N, [](int) { return -2.0; });
    const long double Dt = DefaultAxes().Dt;
    struct Case {
        long double refDt;
        PlotSpan span;
        int lastX;  // the reference's last column
    };
    // Half the step: the reference's 1024 samples end half way. Twice the
    // step: it runs past the plot, clipped at its last column. Zoomed to
    // samples 256 .. 767 with half the step: from the left edge to sample
    // 511.5 of the plot, column trunc(255.5·710/512) = 354.
    for (const Case& c : {Case{Dt / 2, {}, 50 + 1023 * 710 / 2048}, Case{Dt * 2, {}, 759},
                          Case{Dt / 2, {256, 512}, 50 + 354}}) {
        SCOPED_TRACE(std::to_string(double(c.refDt / Dt)) + " of the step, from " + std::to_string(c.span.first));
        PlotReference ref;
        ref.data = &low;
        ref.N = N;
        ref.Dt = c.refDt;
        PlotExtras extras;
        extras.reference = &ref;
        Picture p = Blank();
        // The reference's peak, 2, sets the scale: the own curve at half height.
        EXPECT_EQ(DrawTimePlot(p, s, DefaultAxes(), own, N, "S(t)", c.span, extras), 2);
        EXPECT_GE(ForeInRow(p, 111 - 41, 50, 784).size(), 708u);
        EXPECT_TRUE(ForeInRow(p, 28, 0, 784).empty());
        // The reference on the bottom row, dotted (3 on, 3 off), from the
        // plot's left edge to its last column and no further.
        const std::vector<int> dots = ForeInRow(p, 194, 0, 784);
        ASSERT_FALSE(dots.empty());
        EXPECT_EQ(dots.front(), 50);
        EXPECT_GE(dots.back(), c.lastX - 6);  // a gap of the dots, and the end pixel left out
        EXPECT_LE(dots.back(), c.lastX);
        EXPECT_NEAR(double(dots.size()), (c.lastX - 50) / 2.0, 4);
        for (int x = 0; x < 785; ++x)
            for (int y : {193, 195}) ASSERT_EQ(p.PixelAt(x, y), kBack) << x << "," << y;
    }

    // A spectrum of half the columns at the same step spans the same band:
    // its column k lies at the plot's column 2k. Its peak sets the scale.
    TSignalData spectrum, refSpectrum;
    AllocateSignal(spectrum, N);
    AllocateSignal(refSpectrum, N / 2);
    spectrum[0][300] = 1;
    refSpectrum[0][50] = 4;
    PlotReference ref;
    ref.data = &refSpectrum;
    ref.N = N / 2;
    ref.Dt = Dt;
    PlotExtras extras;
    extras.reference = &ref;
    Picture p = Blank();
    EXPECT_EQ(DrawSpectrumPlot(p, s, DefaultAxes(), spectrum, N, "", {}, extras), 4);
    auto topOf = [&](int x) {
        for (int y = 0; y < 484; ++y)
            if (p.PixelAt(x, y) == kFore) return y;
        return -1;
    };
    EXPECT_LE(topOf(50 + 100 * 710 / 512), 434 - 167 + 3);  // the reference's spike, dotted
    EXPECT_GE(topOf(50 + 100 * 710 / 512), 434 - 167);
    EXPECT_EQ(topOf(50 + 300 * 710 / 512), 434 - 41);  // the own spike, a quarter high

    // The dB view: both envelopes in dB of the larger peak; a tone a tenth
    // as strong as the reference's lies at -20 dB, the reference at 0 dB.
    s.SetDb(true);
    const TSignalData tone = Wave(N, [](int m) { return std::cos(2 * std::numbers::pi * 100 * m / 1024); });
    const TSignalData loud = Wave(N, [](int m) { return 10 * std::cos(2 * std::numbers::pi * 100 * m / 1024); });
    ref.data = &loud;
    ref.N = N;
    Picture q = Blank();
    EXPECT_NEAR(double(DrawTimePlot(q, s, DefaultAxes(), tone, N, "", {}, extras)), 10, 1e-9);
    EXPECT_GE(ForeInRow(q, 28 + 166 / 3, 50, 760).size(), 708u);  // -20 dB of a -60 dB floor
    EXPECT_NEAR(double(ForeInRow(q, 28, 50, 760).size()), 709 / 2.0, 4);
}

// Which points a range of time or frequency holds, against a plain search:
// ends on points and between them, outside the record, reversed, empty.
TEST(PlotSpanTest, PointsWithinARangeAreExactlyThoseItHolds)
{
    const long double Dt = 1.0L / 49392;
    std::mt19937 rng(5);
    for (const PointAxis axis : {PointAxis::Time(Dt, 64), PointAxis::Frequency(Dt, 64)}) {
        const long long total = axis.Count();
        const long double last = axis.At(total - 1);
        std::uniform_real_distribution<long double> pos(-0.1L * last, 1.1L * last);
        std::uniform_int_distribution<long long> point(0, total - 1);
        std::vector<PlotRange> ranges = {{axis.At(3), axis.At(9)}, {axis.At(3.5L), axis.At(9.5L)},
                                         {axis.At(4.2L), axis.At(4.7L)}, {-1, 0}, {last, 2 * last},
                                         {2 * last, 3 * last}, {axis.At(9), axis.At(3)}};
        for (int i = 0; i < 300; ++i) {
            const long double a = i % 2 ? axis.At(point(rng)) : pos(rng), b = pos(rng);
            ranges.push_back({std::min(a, b), std::max(a, b)});
        }
        for (const PlotRange& r : ranges) {
            long long first = -1, count = 0;
            for (long long i = 0; i < total; ++i)
                if (r.from <= axis.At(i) && axis.At(i) <= r.to) {
                    if (first < 0) first = i;
                    ++count;
                }
            const PlotSpan got = PointsWithin(axis, r);
            ASSERT_EQ(got.count, count) << (double)r.from << " .. " << (double)r.to;
            if (count > 0) {
                ASSERT_EQ(got.first, first);
            }
            // A plot draws at least one segment, over or across the range.
            const PlotSpan plotted = PlotPoints(axis, ClampRange(axis, r));
            ASSERT_GE(plotted.count, 2);
            ASSERT_LE(plotted.first + plotted.count, total);
            if (count >= 2 && r.from <= r.to) {
                ASSERT_EQ(plotted, got.Within(total));
            }
        }
        // Clamped to the record's first and last points; the record whole is
        // every point.
        EXPECT_EQ(ClampRange(axis, {-5, 10 * last}), (PlotRange{0, last}));
        EXPECT_TRUE(PlotPoints(axis, {-5, 10 * last}).Whole(total));
        EXPECT_EQ(PlotPoints(axis, {2 * last, 3 * last}), (PlotSpan{total - 2, 2}));
        EXPECT_EQ(PlotPoints(axis, {axis.At(4.2L), axis.At(4.7L)}), (PlotSpan{4, 2}));
    }
    EXPECT_EQ(PlotSpan{}.Within(100), (PlotSpan{0, 100}));
    EXPECT_EQ((PlotSpan{-3, 200}.Within(100)), (PlotSpan{0, 100}));
    EXPECT_EQ((PlotSpan{90, 20}.Within(100)), (PlotSpan{90, 10}));
}

// Pixel columns and points: every point lies in the column its x gives, the
// nearest point to a column is the one drawn nearest, and a drag over the
// whole width takes in the whole span.
TEST(PlotSpanTest, ColumnsAndPointsAgreeWithTheCurve)
{
    const int X0 = 50, Wp = 710;
    for (const PlotSpan span : {PlotSpan{0, 1024}, PlotSpan{100, 71}, PlotSpan{7, 5000}, PlotSpan{3, 2}}) {
        std::vector<long long> seen;
        for (int x = X0 - 2; x <= X0 + Wp + 2; ++x) {
            const PlotSpan column = PointsInColumn(span, X0, Wp, x);
            for (long long m = column.first; m < column.first + column.count; ++m) {
                ASSERT_EQ(X0 + (m - span.first) * Wp / span.count, x);
                seen.push_back(m);
            }
            const long long near = NearestPoint(span, X0, Wp, x);
            ASSERT_GE(near, span.first);
            ASSERT_LT(near, span.first + span.count);
            const long double u = PointAtColumn(span, X0, Wp, x) - span.first;
            ASSERT_LE(std::fabs(near - span.first - u), 0.5L + (u > span.count - 1) * (u - span.count + 1));
        }
        ASSERT_EQ(seen.size(), std::size_t(span.count));  // each once, in order
        for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], span.first + (long long)i);
    }
    // 71 points 10 pixels apart: 4 pixels past a point is still it, 6 the next.
    EXPECT_EQ(NearestPoint({100, 71}, X0, Wp, X0 + 304), 130);
    EXPECT_EQ(NearestPoint({100, 71}, X0, Wp, X0 + 306), 131);
    const PointAxis axis = PointAxis::Time(0.5L, 512);
    EXPECT_EQ(RangeOfColumns(axis, {100, 71}, X0, Wp, X0 + Wp + 9, X0 - 3), (PlotRange{50, 85.5L}));
    EXPECT_EQ(RangeOfColumns(axis, {100, 71}, X0, Wp, X0 + 20, X0 + 40), (PlotRange{51, 52}));
}

// A time-gated record's points lie at their true times: a range picks them
// there, and a reference gated elsewhere (half the step, 3 s later) meets the
// plot where its times fall.
TEST(PlotSpanTest, GatedRecordsMeetAtTheirTrueTimes)
{
    const PointAxis plot = PointAxis::Time(0.5L, 64, 100), record = PointAxis::Time(0.25L, 64, 103);
    EXPECT_EQ(PointsWithin(plot, {101, 102}), (PlotSpan{2, 3}));
    EXPECT_EQ(plot.IndexOf(plot.At(17)), 17);
    const ForeignPoints points = ForeignPoints::On(record, plot);
    for (long long i : {0LL, 5LL, 40LL}) EXPECT_EQ(points.Column({0, 128}, 128, i), 6 + i / 2.0L) << i;
    EXPECT_EQ(points.Nearest(8), 4);
    EXPECT_EQ(points.Nearest(5), -1);  // before the reference's record
    EXPECT_EQ(points.FirstFrom({0, 128}, 128, 10), 8);
}

TEST(PlotSpanTest, NumberTextsTellNeighboursApart)
{
    EXPECT_EQ(DistinctNumberTexts({0, 0.00346L, 0.00691L}, 3), (std::vector<std::string>{"0", "0,00346", "0,00691"}));
    // Whole hertz however many digits; no exponent form for them.
    EXPECT_EQ(DistinctNumberTexts({10300.4L, 99999.7L}, 3), (std::vector<std::string>{"10300", "99999,7"}));
    EXPECT_EQ(DistinctNumberTexts({1012.309834L, 1012.309844L, 1012.309854L}, 3),
              (std::vector<std::string>{"1012,30983", "1012,30984", "1012,30985"}));
    EXPECT_EQ(DistinctNumberTexts({0.00512L, 0.005145L}, 4), (std::vector<std::string>{"0,00512", "0,005145"}));
    // Equal values may read alike.
    EXPECT_EQ(DistinctNumberTexts({2, 2}, 4), (std::vector<std::string>{"2", "2"}));
}

}  // namespace
}  // namespace sonavir
