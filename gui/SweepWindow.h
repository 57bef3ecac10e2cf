#pragma once
// "Серия по параметру" with its second tab "Обнаружение": a sweep of any
// parameter against the measures of a stage, and the detection trials
// against Marcum's Q, each with its chart (zoom, readout, a held reference
// of the sweep) and its table. The work runs on a worker thread; the set-ups
// live in MainState (sweep, detection), which scenario files keep, and the
// runs are evaluation/Sweep.h's and evaluation/DetectionStudy.h's.

#include <QWidget>
#include <functional>
#include <optional>

#include "display/Picture.h"
#include "display/PictureFiles.h"
#include "evaluation/DetectionStudy.h"
#include "evaluation/Sweep.h"
#include "evaluation/XYChart.h"
#include "gui/WorkWatcher.h"
#include "model/MainState.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace sonavir {

class WindowBus;
class ResultImageWidget;

// A chart on a picture of its own that follows the widget's size: drag
// across a panel to zoom, double click for the whole range, the readout of
// the point under the cursor handed to onReadout.
class ChartPictureWidget : public QWidget {
public:
    ChartPictureWidget(const PictureSettings& settings, QWidget* parent);
    void SetChart(XYChart chart);  // drops the zoom
    void Redraw();
    ChartScene scene;
    Picture picture;
    ResultImageWidget* image;
    std::function<void(const QString&)> onReadout;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    const PictureSettings& settings_;
    std::optional<std::pair<int, int>> drag_;  // panel, first column
};

class SweepWindow : public QWidget {
    Q_OBJECT
public:
    SweepWindow(MainState& main, WindowBus* bus, QWidget* parent = nullptr);

    static constexpr int kSweepTab = 0, kDetectionTab = 1;
    void ShowTab(int tab);

    QTabWidget* Tabs;
    // "Серия".
    QComboBox* ParamComboBox;
    QRadioButton* ListRadioButton;
    QRadioButton* RangeRadioButton;
    QLineEdit* ValuesEdit;
    QLineEdit* FromEdit;
    QLineEdit* ToEdit;
    QSpinBox* CountSpinEdit;
    QCheckBox* LogCheckBox;
    QComboBox* CurveParamComboBox;  // item 0: no curves
    QLineEdit* CurveValuesEdit;
    QComboBox* SweepStageComboBox;
    QListWidget* MeasureList;       // checkable, in SweepMeasureNames() order
    QPushButton* SweepStartButton;
    QProgressBar* SweepProgressBar;
    QPushButton* SweepTableButton;
    QPushButton* SweepChartButton;
    QPushButton* HoldReferenceButton;
    QPushButton* DropReferenceButton;
    ChartPictureWidget* SweepChart;
    QTableWidget* SweepTable;
    QLabel* SweepReadout;
    // "Обнаружение".
    QComboBox* DetectStageComboBox;
    QLineEdit* SnrEdit;
    QLineEdit* PfaEdit;
    QComboBox* ThresholdComboBox;
    QLineEdit* LevelsEdit;
    QLineEdit* RocSnrEdit;
    QSpinBox* TrialsSpinEdit;
    QSpinBox* GateSpinEdit;
    QCheckBox* SeedCheckBox;
    QLineEdit* SeedEdit;
    QLineEdit* WantedPdEdit;
    QComboBox* DetectChartComboBox;  // 0 Pd against SNR, 1 ROC
    QPushButton* DetectStartButton;
    QProgressBar* DetectProgressBar;
    QPushButton* DetectTableButton;
    QPushButton* DetectChartButton;
    ChartPictureWidget* DetectChart;
    QTableWidget* DetectTable;
    QLabel* DetectSummary;
    QLabel* DetectReadout;

    // The file choosers (table, chart); tests replace them. An empty name cancels.
    std::function<QString(const QString& title, const QString& filters, QString& filter)> chooseSaveFile;
    // A seam for tests: given each run's control before it starts.
    std::function<void(RunControl&)> runSeam;

    bool Running() const { return work_.Running(); }
    void WaitForRun();
    void StopRun();

    const std::optional<SweepResult>& LastSweep() const { return sweep_; }
    const std::optional<DetectionResult>& LastDetection() const { return detection_; }

    void SyncFromState();

    // Handlers.
    void SweepStartButtonClick();
    void DetectStartButtonClick();
    void SweepTableButtonClick();
    void SweepChartButtonClick();
    void DetectTableButtonClick();
    void DetectChartButtonClick();
    void HoldReferenceButtonClick();
    void DropReferenceButtonClick();
    void DetectChartComboBoxChange(int item);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* BuildSweepPage();
    QWidget* BuildDetectionPage();
    void Changed();
    void StartWork(bool sweep);
    void FinishWork();
    void ShowRunning(bool running);
    void ShowSweep();
    void ShowDetection();
    void SaveTable(const std::string& csv);
    void SaveChart(const ChartPictureWidget& chart);

    MainState& main_;
    WindowBus* bus_;
    bool syncing_ = false;
    bool workIsSweep_ = true;
    SweepResult pendingSweep_;  // written by the worker, read once it has returned
    DetectionResult pendingDetection_;
    WorkWatcher work_;  // after what it writes: it waits for the worker as it goes
    std::optional<SweepResult> sweep_, reference_;
    std::optional<DetectionResult> detection_;
    QString lastTableName_, lastChartName_, lastChartFilter_;
};

}  // namespace sonavir
