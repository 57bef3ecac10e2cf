#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "display/PictureSizing.h"
#include "display/Plotter.h"
#include "display/TickLabels.h"
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

void ReferenceTimeCurve(Picture& p, const TSignalData& s, int N, TColor fore)
{
    const int Wp = PlotW(p) - 75, H = PlotH(p), X0 = 50;
    double peak = 0;
    for (int m = 0; m < 2 * N; ++m) peak = std::max(peak, std::fabs(s[m % 2][m / 2]));
    const double ky = double(((H - 150) / 4.0L) / peak);
    const int Y0 = H / 4 - 10;
    p.SetPen(fore);
    p.MoveTo(X0, Y0 - int(ky * s[0][0]));
    for (int m = 1; m < 2 * N; ++m) {
        const int x = X0 + int(std::trunc((long double)m * Wp / (2.0L * N)));
        if (x >= 0 && x <= X0 + Wp) p.LineTo(x, Y0 - int(ky * s[m % 2][m / 2]));
    }
}

void ReferenceSpectrumCurve(Picture& p, const TSignalData& s, int N, TColor fore)
{
    const int Wp = PlotW(p) - 75, H = PlotH(p), X0 = 50;
    auto mod = [&](int k) { return std::sqrt(s[0][k] * s[0][k] + s[1][k] * s[1][k]); };
    double peak = 0;
    for (int k = 0; k < N; ++k) peak = std::max(peak, mod(k));
    const double ky = double(((H - 150) / 2.0L) / peak);
    const int Y0 = H - 50;
    p.SetPen(fore);
    p.MoveTo(X0, Y0 - int(ky * mod(0)));
    for (int k = 1; k < N; ++k) {
        const int x = X0 + int(std::trunc((long double)k * Wp / N));
        if (x >= 0 && x <= X0 + Wp) p.LineTo(x, Y0 - int(ky * mod(k)));
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
    Picture p = Blank();
    for (int plot = 0; plot < 2; ++plot) {
        try {
            if (plot == 0)
                DrawTimePlot(p, s, DefaultAxes(), zero, N, "S(t)");
            else
                DrawSpectrumPlot(p, s, DefaultAxes(), zero, N, "|S(jw)|");
            FAIL() << "no failure for plot " << plot;
        } catch (const SonavirError& e) {
            EXPECT_STREQ(e.what(), "Floating point division by zero");
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

}  // namespace
}  // namespace sonavir
