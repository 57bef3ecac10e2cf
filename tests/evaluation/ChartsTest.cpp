#include <gtest/gtest.h>

#include "display/PictureFiles.h"
#include "display/PictureSizing.h"
#include "evaluation/Charts.h"
#include "signal/Errors.h"
#include "tests/support/TempDir.h"
#include "tests/support/VectorPictures.h"

namespace sonavir {
namespace {

constexpr TColor kFore = kWhite, kBack = kBlack;

Picture Blank(TColor back = kBack)
{
    Picture p;
    p.Fill(back);
    p.SetBrushColor(back);
    return p;
}

std::vector<int> ForeInRow(const Picture& p, int y, int x1, int x2, TColor fore = kFore)
{
    std::vector<int> xs;
    for (int x = x1; x <= x2; ++x)
        if (p.PixelAt(x, y) == fore) xs.push_back(x);
    return xs;
}

// xLimit: where later ticks may overwrite the text.
void ExpectText(const Picture& plot, int x, int y, const std::string& text, int xLimit = 1 << 30)
{
    Picture ref = Blank();
    ref.SetFontColor(kFore);
    ref.TextOut(x, y, text);
    const int w = ref.TextWidth(text), h = ref.TextHeight();
    int differ = 0;
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < std::min(x + w, xLimit); ++xx) differ += plot.PixelAt(xx, yy) != ref.PixelAt(xx, yy);
    EXPECT_EQ(differ, 0) << "\"" << text << "\" at " << x << "," << y;
}

// First pass dotted, second solid; the largest value is 1.
std::vector<long double> MatchedValues()
{
    return {0.2L, 0.4L, 1.0L, 0.5L, 0.3L, 0.1L, 0.3L, 0.6L, 0.9L, 0.8L, 0.7L, 0.6L};
}

TEST(ChartsTest, MatchedFilterChartGeometryOfTheDefaultPicture)
{
    const EvaluationState eval;
    const PictureSettings s;
    Picture p = Blank();
    const auto values = MatchedValues();
    DrawMatchedFilterChart(p, s, eval, values, 11);

    // Frame (50, 446) - (761, 38) with M = 1.
    EXPECT_EQ(p.PixelAt(50, 38), kFore);
    EXPECT_EQ(p.PixelAt(760, 38), kFore);
    EXPECT_EQ(p.PixelAt(50, 445), kFore);
    EXPECT_EQ(p.PixelAt(760, 445), kFore);
    EXPECT_EQ(p.PixelAt(761, 38), kBack);
    EXPECT_EQ(p.PixelAt(50, 446), kBack);
    EXPECT_EQ(p.PixelAt(50, 37), kBack);

    // Point ticks at 50, 192, 334, 476, 618, 760 on both edges.
    const std::vector<int> inner = {192, 334, 476, 618};
    EXPECT_EQ(ForeInRow(p, 443, 51, 759), inner);
    EXPECT_EQ(ForeInRow(p, 440, 51, 759), std::vector<int>{});
    EXPECT_EQ(ForeInRow(p, 41, 51, 759), inner);
    const std::vector<int> pointX = {50, 192, 334, 476, 618, 760};
    const std::vector<std::string> labels = {"0", "1", "2", "4", "8", "16"};
    for (int j = 0; j < 6; ++j) ExpectText(p, pointX[j] - p.TextWidth(labels[j]) / 2, 454, labels[j]);
    ExpectText(p, 760 - p.TextWidth("Глубина, км"), 467, "Глубина, км");

    // Value ticks every 39.4 pixels from the base line, labelled 0 .. 1.
    const std::vector<std::string> valueLabels = {"0",   "0,1", "0,2", "0,3", "0,4", "0,5",
                                                  "0,6", "0,7", "0,8", "0,9", "1"};
    for (int k = 0; k <= 10; ++k) {
        const int y = 439 - int(k * 394 / 10.0L);
        EXPECT_EQ(p.PixelAt(756, y), kFore) << k;
        EXPECT_EQ(p.PixelAt(755, y), kBack) << k;
        ExpectText(p, 50 - p.TextWidth(valueLabels[k]) - 6, y - 6, valueLabels[k]);
    }
    EXPECT_EQ(439 - int(10 * 394 / 10.0L), 45);  // the top tick meets the largest value

    // The peak of the dotted pass sits at the top tick; the solid pass starts
    // at 0.3 on the left edge and reaches 0.6 at the right edge.
    EXPECT_EQ(p.PixelAt(334, 45), kFore);
    EXPECT_EQ(p.PixelAt(51, 439 - int(0.3L * 394)), kFore);
    EXPECT_EQ(p.Style(), PenStyle::Solid);
    int on = 0, off = 0;
    for (int x = 60; x < 180; ++x) {  // first dotted segment: 0.2 -> 0.4
        const long double v = 0.2L + 0.2L * (x - 50) / 142;
        const int y = 439 - int(v * 394);
        bool any = false;
        for (int dy = -1; dy <= 1; ++dy) any |= p.PixelAt(x, y + dy) == kFore;
        (any ? on : off)++;
    }
    EXPECT_GT(on, 20);
    EXPECT_GT(off, 20);
}

TEST(ChartsTest, PointCountSpreadsPointsEdgeToEdge)
{
    EvaluationState eval;
    const PictureSettings s;
    eval.SetPointCount(3);
    Picture p = Blank();
    DrawMatchedFilterChart(p, s, eval, {0.1L, 1, 0.2L, 0.3L, 0.5L, 0.4L}, 5);
    EXPECT_EQ(ForeInRow(p, 443, 51, 759), std::vector<int>{405});

    eval.SetPointCount(15);
    std::vector<long double> values(30, 0.5L);
    values[0] = 1;
    Picture q = Blank();
    DrawMatchedFilterChart(q, s, eval, values, 29);
    const std::vector<int> ticks = ForeInRow(q, 443, 51, 759);
    ASSERT_EQ(ticks.size(), 13u);
    EXPECT_EQ(ticks.front(), 100);  // 50 + trunc(710 / 14)
    EXPECT_EQ(ticks[5], 354);       // 50 + trunc(6 * 710 / 14)
    EXPECT_EQ(ticks.back(), 709);   // 50 + trunc(13 * 710 / 14)
}

TEST(ChartsTest, ZeroSeriesDrawsFlatCurvesInAFourteenPixelFrame)
{
    const EvaluationState eval;
    const PictureSettings s;
    Picture p = Blank();
    DrawMatchedFilterChart(p, s, eval, std::vector<long double>(12, 0.0L), 11);
    EXPECT_EQ(p.PixelAt(50, 432), kFore);
    EXPECT_EQ(p.PixelAt(50, 431), kBack);
    EXPECT_EQ(p.PixelAt(50, 445), kFore);
    EXPECT_EQ(p.PixelAt(400, 432), kFore);
    EXPECT_EQ(ForeInRow(p, 439, 50, 760).size(), 711u);  // the curves on the base line
}

TEST(ChartsTest, LabelsFollowThePropagationChoice)
{
    EvaluationState eval;
    eval.series[1][2] = "1,5";
    eval.series[2][2] = "30";
    const PictureSettings s;
    for (int choice : {1, 2}) {
        eval.propagationItem = choice;
        Picture p = Blank();
        DrawMatchedFilterChart(p, s, eval, MatchedValues(), 11);
        const std::string label = choice == 1 ? "30" : "1,5 и 30";
        const std::string axis = choice == 1 ? "Глубина, м" : "Глубина, км и м";
        ExpectText(p, 192 - p.TextWidth(label) / 2, 454, label);
        ExpectText(p, 760 - p.TextWidth(axis), 467, axis);
    }
}

DoubleArray EnergyValues(long double top)
{
    return {{1, 0.5L, 0.4L, 0.3L, 0.2L, 0.1L},
            {1, 0.45L, 0.35L, 0.25L, 0.15L, 0.05L},
            {1, 0.3L, top, 0.2L, 0.1L, 0.1L}};
}

TEST(ChartsTest, EnergyRatioLegendSitsInTheFramesTopRightCorner)
{
    const EvaluationState eval;
    const PictureSettings s;
    for (long double top : {0.5L, 2.0L}) {
        // With M = 2 the frame, its ticks and the legend stay at the top
        // tick, in the picture; the curve above it is clipped at the frame.
        const int Yt = 45;
        Picture p = Blank();
        DrawEnergyRatioChart(p, s, eval, EnergyValues(top));
        EXPECT_EQ(p.Style(), PenStyle::Solid);
        EXPECT_EQ(ForeInRow(p, Yt - 7, 50, 760).size(), 711u);
        for (int y = 0; y < Yt - 7; ++y) ASSERT_TRUE(ForeInRow(p, y, 0, 784).empty()) << y;
        EXPECT_EQ(ForeInRow(p, Yt + 9, 565, 615),
                  [] { std::vector<int> v; for (int x = 570; x < 610; ++x) v.push_back(x); return v; }());
        const size_t dotted = ForeInRow(p, Yt + 24, 565, 615).size();
        const size_t dashed = ForeInRow(p, Yt + 39, 565, 615).size();
        EXPECT_GT(dotted, 5u);
        EXPECT_LT(dotted, 35u);
        EXPECT_GT(dashed, dotted);
        EXPECT_LT(dashed, 40u);
        ExpectText(p, 620, Yt + 1, "Радиоимпульс");
        ExpectText(p, 620, Yt + 16, "ЛЧМ сигнал");
        // The longest text ends inside the frame, clear of its right ticks.
        EXPECT_LE(620 + p.TextWidth("Сигнал с кодом Баркера"), 755);
        ExpectText(p, 620, Yt + 31, "Сигнал с кодом Баркера");
        if (top > 1) {
            // The dashed Barker curve rises from 0.3 at x = 192 to 2 at x = 334
            // and leaves the frame's inside at its top row.
            EXPECT_FALSE(ForeInRow(p, Yt - 6, 193, 333).empty());
        }
    }
    // Every curve starts at value 1 on the left edge.
    Picture p = Blank();
    DrawEnergyRatioChart(p, s, eval, EnergyValues(0.5L));
    EXPECT_EQ(p.PixelAt(51, 45), kFore);
}

// Point labels that would overlap (15 points of long cells) are thinned like
// the plots' tick labels: the first and the last stay.
TEST(ChartsTest, CrowdedPointLabelsAreThinned)
{
    EvaluationState eval;
    eval.SetPointCount(15);
    eval.propagationItem = 2;
    for (int j = 1; j <= 15; ++j) {
        eval.series[1][size_t(j)] = std::to_string(j) + ",25";
        eval.series[2][size_t(j)] = std::to_string(j) + ",5";
    }
    const PictureSettings s;
    Picture p = Blank();
    std::vector<long double> values(30, 0.5L);
    DrawMatchedFilterChart(p, s, eval, values, 29);
    auto at = [&](int j) { return 50 + int((j - 1) * (710.0L / 14)); };
    auto label = [&](int j) { return std::to_string(j) + ",25 и " + std::to_string(j) + ",5"; };
    ExpectText(p, at(1) - p.TextWidth(label(1)) / 2, 454, label(1));
    ExpectText(p, at(15) - p.TextWidth(label(15)) / 2, 454, label(15), 785);
    ExpectText(p, at(3) - p.TextWidth(label(3)) / 2, 454, label(3));
    // The second label's own pixels, clear of its neighbours' cells, are blank.
    const int right1 = at(1) - p.TextWidth(label(1)) / 2 + p.TextWidth(label(1));
    const int left3 = at(3) - p.TextWidth(label(3)) / 2;
    for (int x = right1; x < left3; ++x)
        for (int y = 454; y < 454 + p.TextHeight(); ++y) ASSERT_EQ(p.PixelAt(x, y), kBack) << x << "," << y;
}

TEST(ChartsTest, DottedAndDashedGapsBlankAnEarlierCurve)
{
    const EvaluationState eval;
    const PictureSettings s;
    // All three rows equal: the dashed curve is drawn last, and its gaps
    // blank the solid and dotted curves under them.
    const std::vector<long double> row = {1, 0.8L, 0.6L, 0.4L, 0.2L, 0.0L};
    Picture p = Blank();
    DrawEnergyRatioChart(p, s, eval, DoubleArray{row, row, row});
    // Along the last segment (0.2 -> 0, x 618 .. 760), away from the ticks.
    int on = 0, off = 0;
    for (int x = 630; x < 740; ++x) {
        bool any = false;
        for (int y = 350; y <= 439; ++y) any |= p.PixelAt(x, y) == kFore;
        (any ? on : off)++;
    }
    EXPECT_GT(on, 50);
    EXPECT_GT(off, 10);
}

// Both charts as SVG: their texts, the same geometry (dots and dashes, their
// gaps over earlier curves, the curve above 1 cut at the frame), and the same
// picture when replayed onto a bitmap.
TEST(ChartsTest, ChartsAsVectorDrawings)
{
    testsupport::TempDir dir;
    EvaluationState eval;
    eval.propagationItem = 2;
    const PictureSettings s;
    Picture energy = Blank(), matched = Blank();
    DrawEnergyRatioChart(energy, s, eval, EnergyValues(2.0L));
    DrawMatchedFilterChart(matched, s, eval, MatchedValues(), 11);
    for (const Picture* p : {&energy, &matched}) {
        Picture again(1, 1);
        ASSERT_TRUE(p->Replay(again));
        EXPECT_TRUE(again.Surface() == p->Surface());

        SavePicture(*p, PictureFormat::Svg, dir / "chart.svg");
        const std::string svg = testsupport::ReadBytes(dir / "chart.svg");
        const testsupport::SvgContent content = testsupport::ReadSvg(svg);
        EXPECT_TRUE(content.error.isEmpty()) << content.error.toStdString();
        for (const char* text : {"Глубина, км и м", "1 и 1", "0,9"})
            EXPECT_NE(content.text.find(text), std::string::npos) << text;
        EXPECT_EQ(p == &energy, content.text.find("Сигнал с кодом Баркера") != std::string::npos);
        std::string where;
        EXPECT_EQ(testsupport::GeometryFaults(testsupport::RenderSvg(svg, 785, 484), *p, &where), 0) << where;
    }
}

// A bitmap smaller than the smallest picture shows the top-left part of the
// chart of that size.
TEST(ChartsTest, SmallBitmapShowsTheTopLeftOfTheSmallestChart)
{
    const EvaluationState eval;
    const PictureSettings s;
    Picture whole(kMinPictureWidth, kMinPictureHeight), part(200, 120);
    DrawEnergyRatioChart(whole, s, eval, EnergyValues(0.5L));
    DrawEnergyRatioChart(part, s, eval, EnergyValues(0.5L));
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(part.PixelAt(x, y), whole.PixelAt(x, y)) << x << "," << y;
}

TEST(ChartsTest, BlackOnWhiteAndTooFewPoints)
{
    const EvaluationState eval;
    PictureSettings s;
    s.SetColorItem(1);
    Picture p = Blank(kWhite);
    DrawMatchedFilterChart(p, s, eval, MatchedValues(), 11);
    EXPECT_EQ(p.PixelAt(50, 38), kBlack);
    EXPECT_EQ(p.PixelAt(51, 39), kWhite);

    // Values that do not reach the table's point count are never read past.
    Picture q = Blank();
    EXPECT_THROW(DrawEnergyRatioChart(q, s, eval, DoubleArray{{1}, {1}, {1}}), SonavirError);
    EXPECT_THROW(DrawEnergyRatioChart(q, s, eval, DoubleArray{}), SonavirError);
}

}  // namespace
}  // namespace sonavir
