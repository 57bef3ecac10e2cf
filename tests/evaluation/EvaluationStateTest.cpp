#include <gtest/gtest.h>

#include <tuple>

#include "evaluation/EvaluationState.h"

namespace sonavir {
namespace {

using Row = std::vector<std::string>;

TEST(EvaluationState, CreationDefaults)
{
    const EvaluationState eval;
    EXPECT_EQ(eval.pointCount, 6);
    EXPECT_EQ(eval.modeItem, 0);
    EXPECT_EQ(eval.modeText, "Отношение макс значения к энергии");
    EXPECT_EQ(eval.propagationItem, 0);
    EXPECT_TRUE(eval.filterNorm);

    ASSERT_EQ(eval.series.size(), 3u);
    EXPECT_EQ(eval.series[0], (Row{"", "1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(eval.series[1], (Row{" Среда, км", "0", "1", "2", "4", "8", "16"}));
    EXPECT_EQ(eval.series[2], (Row{" Грунт, м", "0", "1", "2", "4", "8", "16"}));

    ASSERT_EQ(eval.result.size(), 9u);
    EXPECT_EQ(eval.result[0], (Row{"", "1", "2", "3", "4", "5", "6"}));
    const Row captions = {"Вх энергия",     "Вых энергия(з)",  "Вых энергия(э)", "Вых макс зн(з)",
                          "Вых макс зн(э)", "Вых отн с/п (з)", "Вых отн с/п (э)"};
    for (int r = 1; r <= 7; ++r) {
        ASSERT_EQ(eval.result[r].size(), 7u);
        EXPECT_EQ(eval.result[r][0], captions[r - 1]);
        for (int c = 1; c < 7; ++c) EXPECT_EQ(eval.result[r][c], "");
    }
    EXPECT_EQ(eval.result[8], Row(7));
    EXPECT_EQ(EvaluationState::PropagationItems(), (Row{"Среда", "Грунт", "Среда и грунт"}));
}

TEST(EvaluationState, GrowingAddsNumberedZeroColumnsToBothTables)
{
    EvaluationState eval;
    eval.result[1][3] = "42";
    eval.SetPointCount(8);
    EXPECT_EQ(eval.SeriesColumns(), 9);
    EXPECT_EQ(eval.ResultColumns(), 9);
    EXPECT_EQ(eval.series[0], (Row{"", "1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(eval.series[1], (Row{" Среда, км", "0", "1", "2", "4", "8", "16", "0", "0"}));
    EXPECT_EQ(eval.series[2], (Row{" Грунт, м", "0", "1", "2", "4", "8", "16", "0", "0"}));
    EXPECT_EQ(eval.result[0][7], "7");
    EXPECT_EQ(eval.result[0][8], "8");
    EXPECT_EQ(eval.result[1][3], "42");  // existing cells are left alone
    EXPECT_EQ(eval.result[1][8], "");
}

TEST(EvaluationState, ReappearingColumnsStartFromZeroAgain)
{
    EvaluationState eval;
    eval.SetPointCount(3);
    EXPECT_EQ(eval.series[1], (Row{" Среда, км", "0", "1", "2"}));
    EXPECT_EQ(eval.ResultColumns(), 4);
    EXPECT_EQ(eval.result[0], (Row{"", "1", "2", "3"}));

    eval.SetPointCount(6);
    EXPECT_EQ(eval.series[0], (Row{"", "1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(eval.series[1], (Row{" Среда, км", "0", "1", "2", "0", "0", "0"}));
    EXPECT_EQ(eval.series[2], (Row{" Грунт, м", "0", "1", "2", "0", "0", "0"}));
    EXPECT_EQ(eval.result[0], (Row{"", "1", "2", "3", "4", "5", "6"}));
}

TEST(EvaluationState, PointCountStaysWithinThreeToFifteen)
{
    EvaluationState eval;
    eval.SetPointCount(40);
    EXPECT_EQ(eval.pointCount, 15);
    EXPECT_EQ(eval.SeriesColumns(), 16);
    EXPECT_EQ(eval.series[0][15], "15");
    eval.SetPointCount(0);
    EXPECT_EQ(eval.pointCount, 3);
    EXPECT_EQ(eval.ResultColumns(), 4);
}

TEST(EvaluationState, ModeTextSelectsOnlyAnExactItem)
{
    EvaluationState eval;
    eval.SetModeText("Отношение энергий");
    EXPECT_EQ(eval.modeItem, 1);
    eval.SetModeText("Отношение энерги");
    EXPECT_EQ(eval.modeItem, -1);
    EXPECT_EQ(eval.modeText, "Отношение энерги");
    eval.SetModeText("Отношение макс значения к энергии");
    EXPECT_EQ(eval.modeItem, 0);
}

// The window's figures: 4 digits, 0 below 1e-12 of the row's largest; the
// cells keep 8 digits, and a cell written over shows what it holds.
TEST(EvaluationState, ShownResultIsReadableAndTheCellsKeepTheirDigits)
{
    EvaluationState eval;
    const std::tuple<int, int, long double> figures[] = {
        {1, 1, 246.99812152533735L}, {1, 2, 4.92e-17L}, {2, 1, 0.015347826L}, {2, 2, 2e-14L}, {3, 1, 7}};
    for (const auto& [row, col, value] : figures) eval.SetResult(row, col, value);
    eval.result[3][1] = "-";
    const auto shown = eval.ShownResult();
    EXPECT_EQ(eval.result[1][2], "4,92E-17");
    EXPECT_EQ(shown[1], (Row{"Вх энергия", "247", "0", "", "", "", ""}));
    EXPECT_EQ((Row{shown[2][1], shown[2][2], shown[3][1]}), (Row{"0,01535", "2E-14", "-"}));
}

}  // namespace
}  // namespace sonavir
