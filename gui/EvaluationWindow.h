#pragma once
// The matched-filter evaluation window: the series table, the point count,
// the run choices, Start and the result table. It locks the run controls of
// the main and parameters windows while it is shown.

#include <QWidget>

#include "evaluation/EvaluationState.h"
#include "gui/WindowBus.h"
#include "model/MainState.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace sonavir {

class EvaluationWindow : public QWidget {
    Q_OBJECT
public:
    EvaluationWindow(MainState& main, EvaluationState& eval, WindowBus* bus, QWidget* parent = nullptr);

    QComboBox* ModelComboBox;
    QComboBox* ModeComboBox;
    QCheckBox* FilterNormCheckBox;
    QTableWidget* ModelStringGrid;
    QSpinBox* NumberSpinEdit;
    QPushButton* StartSpeedButton;
    QPushButton* CloseSpeedButton;
    QTableWidget* ResultStringGrid;

    void SyncFromState();

    // Handlers.
    void ModelComboBoxChange(int item);
    void ModeComboBoxChange(int item);
    void ModeComboBoxTextEdited(const QString& text);
    void FilterNormCheckBoxClick(bool checked);
    void ModelStringGridCellChanged(int row, int col);
    void NumberSpinEditChange(int value);
    void StartSpeedButtonClick();
    void CloseSpeedButtonClick();

signals:
    void lockChanged(bool locked);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetShown(bool shown);
    void SyncTable(QTableWidget* grid, const std::vector<std::vector<std::string>>& cells,
                   bool editable);

    MainState& main_;
    EvaluationState& eval_;
    WindowBus* bus_;
    bool placed_ = false;
    std::string closeError_;  // a failed derive of the close box, reported by the hide
};

}  // namespace sonavir
