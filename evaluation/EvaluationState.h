#pragma once
// The evaluation window without its widgets: the series table, the result
// table, the point count and the choices, with the column rules.

#include <optional>
#include <string>
#include <vector>

namespace sonavir {

using DoubleArray = std::vector<std::vector<long double>>;

struct EvaluationState {
    EvaluationState();  // the window's creation

    static const std::vector<std::string>& ModeItems();
    static const std::vector<std::string>& PropagationItems();
    static const std::vector<std::string>& ResultCaptions();  // rows 1 .. 7

    int modeItem = 0;        // ModeComboBox; -1 when its text matches no item
    std::string modeText;    // the combo box's text
    int propagationItem = 0; // ModelComboBox: 0 "Среда", 1 "Грунт", 2 "Среда и грунт"
    bool filterNorm = true;  // "Нормировка"
    int pointCount = 6;      // NumberSpinEdit, 3 .. 15

    // Cells as text: series[row][col], rows 0 .. 2; result[row][col], rows 0 .. 8.
    std::vector<std::vector<std::string>> series;
    std::vector<std::vector<std::string>> result;
    // The figures result's cells were written from, at the same places (none
    // where a cell holds none). The cells keep 8 digits for `evaluate
    // --table`; the window shows ShownResult().
    std::vector<std::vector<std::optional<long double>>> resultValues;

    // Results carried to the charts.
    std::vector<long double> SeriesRatios;
    DoubleArray EnergyRatios;

    int SeriesColumns() const { return static_cast<int>(series[0].size()); }
    int ResultColumns() const { return static_cast<int>(result[0].size()); }
    // The result table as the window shows it: each figure in 4 digits, 0
    // when it is nothing beside the largest of its row (signal/NumberText.h
    // FormatReadable); a cell whose text is not its figure's, as it is.
    std::vector<std::vector<std::string>> ShownResult() const;
    // Writes a figure into result (8 digits) and resultValues.
    void SetResult(int row, int col, long double value);
    // NumberSpinEditChange (values outside 3 .. 15 are brought into range).
    void SetPointCount(int n);
    // The mode combo box's text as edited: selects the item it matches, or none.
    void SetModeText(const std::string& text);
};

}  // namespace sonavir
