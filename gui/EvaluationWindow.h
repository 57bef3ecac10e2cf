#pragma once
// The matched-filter evaluation window: the series table, the point count,
// the run choices, Start and the result table. It locks the run controls of
// the main and parameters windows while it is shown.

#include <QWidget>

#include "evaluation/EvaluationState.h"
#include "evaluation/SeriesRuns.h"
#include "gui/TableExport.h"
#include "gui/WorkWatcher.h"
#include "gui/WindowBus.h"
#include "model/MainState.h"

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;
class QTimer;
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
    QProgressBar* SeriesProgressBar;  // "Точка 3 из 15" while a series runs
    // Copy and "Сохранить как CSV…" of both tables; tests set the CSV chooser.
    TableActions SeriesActions, ResultActions;
    std::function<QString()> chooseCsvFile;

    // A series goes on a worker thread; these tell and wait (tests, closing).
    bool Running() const { return run_.Running(); }
    void WaitForRun();
    void StopRun();
    // A seam for tests: given each series' control before it starts.
    std::function<void(RunControl&)> runSeam;

    void SyncFromState();

    // Handlers.
    void ModelComboBoxChange(int item);
    void ModeComboBoxChange(int item);
    void ModeComboBoxTextEdited(const QString& text);
    void FilterNormCheckBoxClick(bool checked);
    void ModelStringGridCellChanged(int row, int col);
    void NumberSpinEditChange(int value);
    // Start, or Stop while a series runs.
    void StartSpeedButtonClick();
    void CloseSpeedButtonClick();

signals:
    void lockChanged(bool locked);
    // A series has ended and drawn its chart.
    void seriesFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetShown(bool shown);
    void FinishRun();
    void ShowRunning(bool running);
    void SyncTable(QTableWidget* grid, const std::vector<std::vector<std::string>>& cells,
                   bool editable);

    MainState& main_;
    EvaluationState& eval_;
    WindowBus* bus_;
    std::string closeError_;  // a failed derive of the close box, reported by the hide
    SeriesResult pending_;  // written by the worker, read once it has returned
    WorkWatcher run_;       // after pending_: it waits for the worker as it goes
};

}  // namespace sonavir
