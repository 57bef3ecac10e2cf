#include "evaluation/EvaluationState.h"

#include <algorithm>
#include <cmath>

#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kMinPoints = 3;
constexpr int kMaxPoints = 15;
constexpr int kResultRows = 9;

// The six default points: ranges in km and layer thicknesses in m.
const char* const kDefaultRanges[] = {"0", "1", "2", "4", "8", "16"};
const char* const kDefaultThicknesses[] = {"0", "1", "2", "4", "8", "16"};

}  // namespace

const std::vector<std::string>& EvaluationState::ModeItems()
{
    static const std::vector<std::string> items = {"Отношение макс значения к энергии",
                                                   "Отношение энергий"};
    return items;
}

const std::vector<std::string>& EvaluationState::PropagationItems()
{
    static const std::vector<std::string> items = {"Среда", "Грунт", "Среда и грунт"};
    return items;
}

const std::vector<std::string>& EvaluationState::ResultCaptions()
{
    static const std::vector<std::string> items = {
        "Вх энергия",     "Вых энергия(з)",  "Вых энергия(э)", "Вых макс зн(з)",
        "Вых макс зн(э)", "Вых отн с/п (з)", "Вых отн с/п (э)"};
    return items;
}

EvaluationState::EvaluationState()
{
    modeItem = 0;
    modeText = ModeItems()[0];
    propagationItem = 0;
    pointCount = 6;

    const int cols = pointCount + 1;
    series.assign(3, std::vector<std::string>(cols));
    series[1][0] = " Среда, км";
    series[2][0] = " Грунт, м";

    // The result table keeps its design column count, which matches the
    // default point count.
    result.assign(kResultRows, std::vector<std::string>(cols));
    for (int r = 0; r < 7; ++r) result[r + 1][0] = ResultCaptions()[r];

    for (int j = 1; j <= pointCount; ++j) {
        series[0][j] = std::to_string(j);
        result[0][j] = std::to_string(j);
        series[1][j] = kDefaultRanges[j - 1];
        series[2][j] = kDefaultThicknesses[j - 1];
    }
}

void EvaluationState::SetPointCount(int n)
{
    n = std::clamp(n, kMinPoints, kMaxPoints);
    const int old = SeriesColumns();
    pointCount = n;
    for (auto& row : series) row.resize(n + 1);
    for (auto& row : result) row.resize(n + 1);
    // Columns that appear (again) start from zero points; a shrink drops the
    // cells outright, so nothing stale can come back.
    for (int j = old; j <= n; ++j) {
        series[0][j] = std::to_string(j);
        series[1][j] = "0";
        series[2][j] = "0";
        result[0][j] = std::to_string(j);
    }
}

void EvaluationState::SetResult(int row, int col, long double value)
{
    result[row][col] = FormatTable(value);
    if (resultValues.size() < result.size()) resultValues.resize(result.size());
    auto& values = resultValues[row];
    if (values.size() <= static_cast<std::size_t>(col)) values.resize(col + 1);
    values[col] = value;
}

std::vector<std::vector<std::string>> EvaluationState::ShownResult() const
{
    std::vector<std::vector<std::string>> shown = result;
    for (std::size_t r = 0; r < shown.size() && r < resultValues.size(); ++r) {
        // Only a figure its cell still shows counts: cleared or rewritten
        // cells have left theirs behind.
        std::vector<std::optional<long double>> figures(shown[r].size());
        long double largest = 0;
        for (std::size_t c = 0; c < shown[r].size() && c < resultValues[r].size(); ++c) {
            const std::optional<long double>& v = resultValues[r][c];
            if (!v || FormatTable(*v) != shown[r][c]) continue;
            figures[c] = v;
            largest = std::max(largest, std::fabs(*v));
        }
        for (std::size_t c = 0; c < shown[r].size(); ++c)
            if (figures[c]) shown[r][c] = FormatReadable(*figures[c], largest);
    }
    return shown;
}

void EvaluationState::SetModeText(const std::string& text)
{
    modeText = text;
    const auto& items = ModeItems();
    const auto it = std::find(items.begin(), items.end(), text);
    modeItem = it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

}  // namespace sonavir
