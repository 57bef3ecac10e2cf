#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {
namespace {

class SeriesRunsTest : public ::testing::Test {
protected:
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState main{params, settings, picture};
    EvaluationState eval;

    long double Cell(int row, int col) const { return StrToFloat(eval.result[row][col]); }

    bool PictureIsBlank() const
    {
        const QImage& img = picture.Surface();
        const QRgb back = img.pixel(0, 0);
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixel(x, y) != back) return false;
            }
        }
        return true;
    }

    // Runs and returns the error text, or "" when the run completed.
    std::string StartAndCatch()
    {
        try {
            EvaluationStart(main, eval);
        } catch (const SonavirError& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(SeriesRunsTest, MatchedFilterRunNormalisesChartValuesButNotTheTable)
{
    params.p.R = 3.5;
    params.p.GruntHeight = 0.7;
    EvaluationStart(main, eval);

    const int n = 6;
    ASSERT_EQ(eval.SeriesRatios.size(), 12u);
    EXPECT_EQ(*std::max_element(eval.SeriesRatios.begin(), eval.SeriesRatios.end()), 1.0L);

    // Rows 6 and 7 hold the ratios as computed; the chart values are them
    // divided by their largest.
    long double largest = 0;
    for (int j = 1; j <= n; ++j) largest = std::max({largest, Cell(6, j), Cell(7, j)});
    for (int j = 1; j <= n; ++j) {
        EXPECT_NEAR(eval.SeriesRatios[j - 1], Cell(6, j) / largest, 1e-7L) << j;
        EXPECT_NEAR(eval.SeriesRatios[n + j - 1], Cell(7, j) / largest, 1e-7L) << j;
    }
    // Row 6 is the first pass's sample peak (row 4 over 2N) over the square
    // root of point 1's input energy.
    for (int j = 1; j <= n; ++j) {
        EXPECT_NEAR(Cell(6, j), Cell(4, j) / (2 * 512) / std::sqrt(Cell(1, 1)), 1e-6L * Cell(6, j));
    }

    for (int r = 1; r <= 7; ++r) {
        EXPECT_EQ(eval.result[r][0], EvaluationState::ResultCaptions()[r - 1]);
        for (int j = 1; j <= n; ++j) EXPECT_FALSE(eval.result[r][j].empty()) << r << "," << j;
    }
    // The peak rows are 2N times the sample peak: N = 512 at the defaults.
    EXPECT_EQ(main.SignalSize, 512);

    EXPECT_TRUE(main.MatchToEcho);
    EXPECT_EQ(params.p.R, 3.5);
    EXPECT_EQ(params.p.GruntHeight, 0.7);
    EXPECT_TRUE(main.Signal[0].empty());
    EXPECT_TRUE(main.FilterRef[0].empty());
    EXPECT_TRUE(settings.shortForm);
    EXPECT_TRUE(main.imageMenuEnabled);
    EXPECT_EQ(main.statusText, "Согласованный фильтр");
    EXPECT_FALSE(PictureIsBlank());
}

TEST_F(SeriesRunsTest, MatchedFilterRunRereadsDurationAndClearsMemoryFigures)
{
    params.p.Tc = 0.5L;  // stale value: the run takes the field's text
    params.realSizeText = "494";
    params.paddedSizeText = "1024";
    params.bytesText = "8192";
    int figureCalls = 0;
    main.onMemoryFigures = [&] { ++figureCalls; };
    MatchedFilterSeries(main, eval);
    EXPECT_EQ(params.p.Tc, 0.01L);
    EXPECT_EQ(main.RealSignalSize, 247);
    EXPECT_EQ(params.realSizeText, "0");
    EXPECT_EQ(params.paddedSizeText, "0");
    EXPECT_EQ(params.bytesText, "0");
    EXPECT_EQ(figureCalls, 1);
}

TEST_F(SeriesRunsTest, EnergyRatioRunIsRelativeToThePointOneAndSnapsTheDuration)
{
    ASSERT_EQ(params.signalItem, kLfmPulse);
    const std::string dtBefore = params.dtText;
    eval.SetModeText("Отношение энергий");
    EvaluationStart(main, eval);

    EXPECT_EQ(eval.result[1][0], "Радиоимпульс");
    EXPECT_EQ(eval.result[2][0], "ЛЧМ сигнал");
    EXPECT_EQ(eval.result[3][0], "Код Баркера");
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(eval.result[r][1], "1");
    for (int r = 4; r <= 7; ++r) {
        for (const auto& cell : eval.result[r]) EXPECT_EQ(cell, "");
    }
    ASSERT_EQ(eval.EnergyRatios.size(), 3u);
    for (const auto& row : eval.EnergyRatios) {
        ASSERT_EQ(row.size(), 6u);
        EXPECT_EQ(row[0], 1.0L);
        EXPECT_LT(row[5], row[1]);  // 16 km of water and 16 m of seabed cost energy
    }
    EXPECT_TRUE(eval.SeriesRatios.empty());

    // Left at the Barker values although LFM is chosen; the step field and
    // the parameters stay as they were otherwise.
    EXPECT_EQ(main.SeriesSignalKind, 2);
    EXPECT_NEAR(static_cast<double>(params.p.Tc), 7.0 * 13.0 / 10300.0, 1e-15);
    EXPECT_EQ(params.p.Fmax, 10300.0L);
    EXPECT_EQ(params.dtText, dtBefore);
    EXPECT_EQ(params.p.R, 1.0);
    EXPECT_EQ(params.p.GruntHeight, 0.1);
    EXPECT_EQ(main.statusText, "Согласованный фильтр");
    EXPECT_TRUE(main.imageMenuEnabled);
}

TEST_F(SeriesRunsTest, BothRunsSnapTheShownDurationAsTheParametersDo)
{
    // 0,007027 is how a run shows two periods per chip at 3700 Hz; read back
    // from the box it must not lose one of them.
    params.SetF0Text("3700");
    params.SetTcText("0,007027");
    EnergyRatioSeries(main, eval);
    EXPECT_EQ(params.p.Tc, 26.0L / 3700);
    params.SetSignalItem(kBarkerPulse);
    MatchedFilterSeries(main, eval);
    EXPECT_EQ(params.p.Tc, 26.0L / 3700);
    EXPECT_EQ(params.tcText, "0,007027");
}

TEST_F(SeriesRunsTest, ModesRewriteTheCaptionsOfEachOther)
{
    MatchedFilterSeries(main, eval);
    EnergyRatioSeries(main, eval);
    EXPECT_EQ(eval.result[1][0], "Радиоимпульс");
    EXPECT_EQ(eval.result[4][0], "");
    EXPECT_EQ(eval.result[7][3], "");
    MatchedFilterSeries(main, eval);
    for (int r = 1; r <= 7; ++r) {
        EXPECT_EQ(eval.result[r][0], EvaluationState::ResultCaptions()[r - 1]);
        EXPECT_FALSE(eval.result[r][6].empty());
    }
    EXPECT_TRUE(eval.result[8][1].empty());
}

TEST_F(SeriesRunsTest, BadThicknessStopsAWaterSeriesAndRestoresThePoint)
{
    ASSERT_EQ(eval.propagationItem, 0);
    eval.series[2][3] = "abc";
    params.p.R = 2.5;
    params.p.GruntHeight = 0.3;
    EXPECT_EQ(StartAndCatch(), "'abc' is not a valid floating point value");

    // Cells of the points before the bad one stay; no chart is drawn.
    EXPECT_FALSE(eval.result[1][2].empty());
    EXPECT_TRUE(eval.result[1][3].empty());
    EXPECT_TRUE(PictureIsBlank());
    EXPECT_EQ(params.p.R, 2.5);
    EXPECT_EQ(params.p.GruntHeight, 0.3);
    EXPECT_TRUE(main.Signal[0].empty());
    EXPECT_TRUE(main.FilterRef[0].empty());
    EXPECT_TRUE(eval.SeriesRatios.empty());
    // A failed run leaves the menu and status as they were.
    EXPECT_FALSE(main.imageMenuEnabled);
    EXPECT_EQ(main.statusText, "");
}

TEST_F(SeriesRunsTest, CellBeyondTheDoubleRangeOverflowsInsteadOfRunningAtInfinity)
{
    // Both rows are doubles in the parameter set; 1E400 fits only the
    // extended type the text is read in.
    params.p.R = 2.5;
    eval.series[1][4] = "1E400";
    EXPECT_EQ(StartAndCatch(), msg::kOverflow);
    EXPECT_FALSE(eval.result[1][3].empty());
    EXPECT_TRUE(eval.result[1][4].empty());
    EXPECT_TRUE(PictureIsBlank());
    EXPECT_EQ(params.p.R, 2.5);

    // The same for the unused thickness of a water series, in either mode.
    eval.series[1][4] = "4";
    eval.series[2][2] = "-1E400";
    eval.SetModeText("Отношение энергий");
    eval.result[1][2] = "-";
    EXPECT_EQ(StartAndCatch(), msg::kOverflow);
    EXPECT_EQ(eval.result[1][1], "1");
    EXPECT_EQ(eval.result[1][2], "-");

    // The largest finite double is still a value.
    eval.series[2][2] = "1E308";
    EXPECT_EQ(StartAndCatch(), "");
}

TEST_F(SeriesRunsTest, UnusedRowDoesNotChangeTheResults)
{
    // Water only: the thicknesses are parsed but have no effect.
    MatchedFilterSeries(main, eval);
    const auto waterFirst = eval.result;
    for (int j = 1; j <= 6; ++j) eval.series[2][j] = "7,5";
    MatchedFilterSeries(main, eval);
    EXPECT_EQ(eval.result, waterFirst);

    // Seabed only: the ranges have no effect, the thicknesses do.
    eval.propagationItem = 1;
    EnergyRatioSeries(main, eval);
    const auto seabed = eval.EnergyRatios;
    for (int j = 1; j <= 6; ++j) eval.series[1][j] = "3";
    EnergyRatioSeries(main, eval);
    EXPECT_EQ(eval.EnergyRatios, seabed);
    eval.series[2][6] = "0";
    EnergyRatioSeries(main, eval);
    EXPECT_NE(eval.EnergyRatios[0][5], seabed[0][5]);
}

TEST_F(SeriesRunsTest, BothPropagationsCostMoreThanEither)
{
    eval.propagationItem = 0;
    EnergyRatioSeries(main, eval);
    const long double water = eval.EnergyRatios[0][5];
    eval.propagationItem = 1;
    EnergyRatioSeries(main, eval);
    const long double seabed = eval.EnergyRatios[0][5];
    eval.propagationItem = 2;
    EnergyRatioSeries(main, eval);
    const long double both = eval.EnergyRatios[0][5];
    EXPECT_LT(both, water);
    EXPECT_LT(both, seabed);
}

TEST_F(SeriesRunsTest, PointCountSetsTheNumberOfChartValues)
{
    eval.SetPointCount(3);
    MatchedFilterSeries(main, eval);
    EXPECT_EQ(eval.SeriesRatios.size(), 6u);

    eval.SetPointCount(15);
    for (int j = 1; j <= 15; ++j) {
        eval.series[1][j] = std::to_string(j);
        eval.series[2][j] = std::to_string(j);
    }
    MatchedFilterSeries(main, eval);
    EXPECT_EQ(eval.SeriesRatios.size(), 30u);
    EXPECT_EQ(*std::max_element(eval.SeriesRatios.begin(), eval.SeriesRatios.end()), 1.0L);
    EXPECT_FALSE(eval.result[7][15].empty());
}

TEST_F(SeriesRunsTest, NormalisationSwitchOnlyScalesTheFirstPassEcho)
{
    eval.filterNorm = false;
    MatchedFilterSeries(main, eval);
    const auto plain = eval.result;
    eval.filterNorm = true;
    MatchedFilterSeries(main, eval);
    // Point 1 has no path (0 km, 0 m) in the default series, so only the
    // later points' first-pass echoes are rescaled upwards.
    EXPECT_GT(Cell(1, 4), StrToFloat(plain[1][4]));
    EXPECT_GT(Cell(4, 4), StrToFloat(plain[4][4]));
}

TEST_F(SeriesRunsTest, EmptyBarkerPulseFailsAsAnInvalidOperation)
{
    // Tc F0 below 13: the snapped duration is 0 and every energy is 0.
    params.SetSignalItem(kBarkerPulse);
    params.SetTcText("0,001");
    ASSERT_EQ(params.p.Tc, 0.0L);
    EXPECT_EQ(StartAndCatch(), msg::kInvalidOp);
    for (const auto& row : eval.result) {
        for (const auto& cell : row) EXPECT_EQ(cell.find("NAN"), std::string::npos);
    }

    eval.SetModeText("Отношение энергий");
    EXPECT_EQ(StartAndCatch(), msg::kInvalidOp);
    EXPECT_EQ(params.p.R, 1.0);
}

TEST_F(SeriesRunsTest, UnknownModeRunsNothingButStillMarksTheWindow)
{
    eval.SetModeText("что-то");
    const auto before = eval.result;
    EvaluationStart(main, eval);
    EXPECT_EQ(eval.result, before);
    EXPECT_TRUE(settings.shortForm);
    EXPECT_TRUE(main.imageMenuEnabled);
    EXPECT_EQ(main.statusText, "Согласованный фильтр");
}

TEST_F(SeriesRunsTest, ScaleSignalDividesInExtendedPrecisionAndRejectsZero)
{
    main.SignalSize = 2;
    main.Signal = {TSignalRow{1, 2}, TSignalRow{3, 4}};
    ScaleSignal(main, 3, 2);
    EXPECT_EQ(main.Signal[0], (TSignalRow{1.5, 3}));
    EXPECT_EQ(main.Signal[1], (TSignalRow{4.5, 6}));
    EXPECT_THROW(ScaleSignal(main, 1, 0), SonavirError);
    EXPECT_EQ(main.Signal[0], (TSignalRow{1.5, 3}));
}

}  // namespace
}  // namespace sonavir
