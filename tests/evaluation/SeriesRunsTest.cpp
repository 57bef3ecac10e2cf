#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "signal/Errors.h"
#include "signal/Generators.h"
#include "signal/NumberText.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"
#include "tests/support/DirectModels.h"

namespace sonavir {
namespace {

// The matched-filter series written out by hand for one probe kind: the
// direct channel models, and every product, peak and sum done here.
class HandSeries {
public:
    HandSeries(const ModelParameters& params, const EvaluationState& eval) : p_(params.p), eval_(eval)
    {
        const int M = HalfSampleCount(p_.Tc, p_.Dt);
        N_ = TransformSize(M);
        AllocateSignal(probe_, N_);
        if (params.signalItem == kRadioPulse) RadioPulse(probe_, N_, M, p_);
        if (params.signalItem == kLfmPulse) LfmPulse(probe_, N_, M, p_);
        if (params.signalItem == kBarkerPulse) BarkerPulse(probe_, N_, M, p_);
        FFT(probe_, N_, +1);
    }

    // rows[r][j - 1]: the value of table row r (1 .. 7) at point j.
    std::vector<long double> rows[8];

    void Run()
    {
        long double eref = 0;
        for (int j = 1; j <= eval_.pointCount; ++j) {
            p_.R = std::stod(Comma(eval_.series[1][j]));
            p_.GruntHeight = std::stod(Comma(eval_.series[2][j]));
            TSignalData echo = probe_;
            if (eval_.propagationItem != 1) direct::Water(true, echo, N_, p_);
            if (eval_.propagationItem != 0) direct::Seabed(true, echo, N_, p_);
            // The echo brought back to the probe's spectral peak.
            TSignalData scaled = echo;
            if (eval_.filterNorm) Scale(scaled, SpectralPeak(probe_) / SpectralPeak(echo));

            // Filter matched to the probe, fed the (rescaled) echo.
            const long double ein = Energy(Inverse(scaled));
            if (j == 1) eref = ein;
            const TSignalData first = Filtered(scaled, probe_);
            rows[1].push_back(ein);
            rows[2].push_back(Energy(first));
            rows[4].push_back(2.0L * N_ * SamplePeak(first));
            rows[6].push_back(SamplePeak(first) / std::sqrt(eref));

            // Filter matched to the (rescaled) echo, fed the echo itself.
            const TSignalData second = Filtered(echo, scaled);
            rows[3].push_back(Energy(second));
            rows[5].push_back(2.0L * N_ * SamplePeak(second));
            rows[7].push_back(SamplePeak(second) / std::sqrt(Energy(Inverse(echo))));
        }
    }

private:
    static std::string Comma(std::string text)
    {
        for (char& c : text)
            if (c == ',') c = '.';
        return text;
    }
    TSignalData Inverse(TSignalData s) const
    {
        FFT(s, N_, -1);
        return s;
    }
    void Scale(TSignalData& s, long double factor) const
    {
        for (auto& row : s)
            for (int i = 0; i < N_; ++i) row[i] = static_cast<double>(row[i] * factor);
    }
    long double SpectralPeak(const TSignalData& s) const
    {
        long double peak = 0;
        for (int i = 0; i < N_; ++i)
            peak = std::max(peak, std::hypot(static_cast<long double>(s[0][i]), s[1][i]));
        return peak;
    }
    long double SamplePeak(const TSignalData& t) const
    {
        long double peak = 0;
        for (const auto& row : t)
            for (int i = 0; i < N_; ++i) peak = std::max(peak, static_cast<long double>(std::abs(row[i])));
        return peak;
    }
    long double Energy(const TSignalData& t) const
    {
        long double e = 0;
        for (const auto& row : t)
            for (int i = 0; i < N_; ++i) e += static_cast<long double>(row[i]) * row[i];
        return e;
    }
    // The filter output in time: input through the filter matched to reference.
    TSignalData Filtered(const TSignalData& input, const TSignalData& reference) const
    {
        return Inverse(direct::Filtered(input, reference, N_, p_.Dt));
    }

    TModelParams p_;
    const EvaluationState& eval_;
    int N_ = 0;
    TSignalData probe_;
};

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
    main.Start();
    ASSERT_NE(main.Shown(), nullptr);
    main.SetZoom(PlotKind::Time, PlotRange{0.002L, 0.004L});
    EvaluationStart(main, eval);
    EXPECT_EQ(main.Shown(), nullptr);  // the chart replaced the plots
    EXPECT_FALSE(main.zoom.Active());  // and the next Start draws the whole run

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
    EXPECT_TRUE(settings.shortForm);
    EXPECT_TRUE(main.imageMenuEnabled);
    EXPECT_EQ(main.statusText, "Согласованный фильтр");
    EXPECT_FALSE(PictureIsBlank());
}

TEST_F(SeriesRunsTest, MatchedFilterTableAndChartAgreeWithTheSeriesByHand)
{
    struct Case {
        int kind, propagation;
        bool norm;
    };
    const Case cases[] = {{kLfmPulse, 0, true}, {kBarkerPulse, 2, true}, {kRadioPulse, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "kind " << c.kind << ", propagation " << c.propagation);
        params.SetSignalItem(c.kind);
        eval.propagationItem = c.propagation;
        eval.filterNorm = c.norm;
        MatchedFilterSeries(main, eval);

        HandSeries hand(params, eval);
        hand.Run();
        const int n = eval.pointCount;
        for (int r = 1; r <= 7; ++r)
            for (int j = 1; j <= n; ++j)
                EXPECT_NEAR(Cell(r, j), hand.rows[r][j - 1], 1e-7L * hand.rows[r][j - 1])
                    << "row " << r << ", point " << j;

        // The chart: every ratio over the largest of both passes.
        std::vector<long double> ratios(hand.rows[6]);
        ratios.insert(ratios.end(), hand.rows[7].begin(), hand.rows[7].end());
        const long double largest = *std::max_element(ratios.begin(), ratios.end());
        ASSERT_EQ(eval.SeriesRatios.size(), ratios.size());
        for (std::size_t i = 0; i < ratios.size(); ++i)
            EXPECT_NEAR(eval.SeriesRatios[i], ratios[i] / largest, 1e-9L) << i;
        EXPECT_EQ(*std::max_element(eval.SeriesRatios.begin(), eval.SeriesRatios.end()), 1.0L);
        if (c.kind == kBarkerPulse) {
            // Here the largest ratio is the second pass's: the chart must
            // not be scaled by the first pass alone.
            EXPECT_GT(*std::max_element(hand.rows[7].begin(), hand.rows[7].end()),
                      *std::max_element(hand.rows[6].begin(), hand.rows[6].end()));
        }
    }
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

TEST_F(SeriesRunsTest, PointsSideBySideGiveTheTableOfPointsOneByOne)
{
    eval.SetPointCount(9);
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        eval.modeItem = mode;
        std::vector<std::vector<std::string>> tables[2];
        for (int threads : {1, 2}) {
            SetWorkThreads(threads);
            EvaluationStart(main, eval);
            tables[threads - 1] = eval.result;
        }
        SetWorkThreads(0);
        EXPECT_EQ(tables[0], tables[1]);
    }
}

TEST_F(SeriesRunsTest, AStoppedSeriesLeavesTheTableAndThePointAsTheyWere)
{
    MatchedFilterSeries(main, eval);
    const auto table = eval.result;
    const auto ratios = eval.SeriesRatios;
    params.p.R = 2.5;
    params.p.GruntHeight = 0.3;
    eval.series[1][2] = "5";
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        eval.modeItem = mode;
        RunControl control;
        int points = 0;
        control.onCheckpoint = [&] {
            if (control.StepName() == "Точка 3 из 6" && ++points > 2) control.RequestStop();
        };
        SeriesResult result = RunSeries(SeriesRequest::Of(main, eval), control);
        EXPECT_TRUE(result.stopped);
        FinishSeries(main, eval, result);
        EXPECT_EQ(eval.result, table);
        EXPECT_EQ(eval.SeriesRatios, ratios);
        EXPECT_EQ(params.p.R, 2.5);
        EXPECT_EQ(params.p.GruntHeight, 0.3);
        EXPECT_FALSE(main.imageMenuEnabled);
    }
}

TEST_F(SeriesRunsTest, ScaleSignalDividesInExtendedPrecisionAndRejectsZero)
{
    TSignalData s = {TSignalRow{1, 2}, TSignalRow{3, 4}};
    ScaleSignal(s, 2, 3, 2);
    EXPECT_EQ(s[0], (TSignalRow{1.5, 3}));
    EXPECT_EQ(s[1], (TSignalRow{4.5, 6}));
    EXPECT_THROW(ScaleSignal(s, 2, 1, 0), SonavirError);
    EXPECT_EQ(s[0], (TSignalRow{1.5, 3}));
}

}  // namespace
}  // namespace sonavir
