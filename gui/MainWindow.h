#pragma once
// The main window: model and path choices with their navigation, the three
// run switches, Start, the result picture and its menu. State and rules live
// in MainState and PictureSizing; the handlers forward to them.

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

#include "display/PictureFiles.h"
#include "display/PictureSizing.h"
#include "gui/WorkWatcher.h"
#include "model/MainState.h"
#include "model/RunEcho.h"
#include "model/PlotReadout.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace sonavir {

class WindowBus;
class PictureSizeWindow;
class PictureSettingsWindow;
class AboutWindow;

// The picture control: shows the off-screen bitmap at its top-left corner,
// unscaled, and passes the mouse on (it follows the mouse without a button
// too, for the readout).
class ResultImageWidget : public QWidget {
public:
    ResultImageWidget(const Picture& picture, QWidget* parent);
    std::function<void(QPoint, Qt::MouseButton, Qt::KeyboardModifiers)> onMouseDown;
    std::function<void(QPoint, Qt::MouseButton)> onMouseUp;
    std::function<void(QPoint)> onMouseMove, onDoubleClick;
    std::function<void(QPoint, int)> onWheel;  // the wheel's turn in eighths of a degree
    std::function<void()> onLeave;

    // A span being selected: shown inverted over the bitmap, never drawn
    // into it.
    void SetSelection(std::optional<QRect> rect);
    std::optional<QRect> Selection() const { return selection_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    const Picture& picture_;
    std::optional<QRect> selection_;
};

// The client area below the toolbar, where the picture control lives.
class PictureAreaWidget : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kToolPanelHeight = 50;

    MainWindow(MainState& state, WindowBus* bus, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainState& state;
    WindowBus* bus;
    PictureSizing sizing;

    // Tool panel, row 1.
    QWidget* ToolPanel;
    QToolButton* StartSpeedButton;
    QComboBox* ModelComboBox;
    QToolButton* SaveToFileSpeedButton;
    QCheckBox* FilterCheckBox;
    QCheckBox* NoiseCheckBox;
    QCheckBox* NormCheckBox;
    // Row 2.
    QToolButton* PrevPathSpeedButton;
    QToolButton* NextPathSpeedButton;
    QComboBox* PathComboBox;
    QFrame* Bevel1;
    QFrame* Bevel2;
    QFrame* Bevel3;
    QFrame* Bevel5;
    QFrame* Bevel6;

    PictureAreaWidget* PictureArea;
    ResultImageWidget* ResultImage;
    QStatusBar* ModelStatusBar;
    QLabel* StatusPanel;
    QLabel* ReadoutPanel;  // the readout under the cursor
    QProgressBar* RunProgressBar;  // a run's step and per cent, after kProgressDelay

    QMenu* FileItem;
    QAction* NewScenarioItem;  // "Новый сценарий": the built-in defaults
    QAction* OpenScenarioItem;
    QAction* SaveScenarioItem;
    QAction* ExitItem;
    QMenu* ModelItem;
    QAction* StartItem;      // F5; while a run goes, it stops it
    QAction* StopItem;       // "Стоп", Escape, while a run goes
    QAction* AutoRunItem;    // "Пересчитывать при изменении"
    QAction* ParametrItem;
    QAction* LedgerItem;  // "Баланс по этапам"
    QAction* AmbiguityItem;  // "Функция неопределенности"
    QAction* SweepItem;      // "Серия по параметру"
    QAction* DetectionItem;  // "Обнаружение"
    QMenu* ImageItem;
    QAction* SaveItem;
    QAction* ImageSizeItem;
    QAction* ImageOptionItem;
    QAction* WholeSignalItem;  // "Весь сигнал", also Escape
    QAction* ZoomBackItem;     // "Предыдущий масштаб", Backspace
    QAction* PeakCursorItem;   // "Курсор на пик", P
    QAction* ClearCursorsItem;  // "Убрать курсоры", also Escape
    QAction* HoldReferenceItem;  // "Запомнить как эталон"
    QAction* DropReferenceItem;  // "Убрать эталон"
    QMenu* HelpItem;
    QAction* GuideItem;  // "Руководство", F1
    QAction* N1;
    QAction* N7;
    QAction* N4;
    QAction* N6;
    QAction* N8;
    QAction* AboutItem;

    // The file chooser of saving; tests replace it. It is offered the last
    // name and filter and may change the filter; an empty name cancels.
    std::function<QString(const QString& lastName, QString& filter)> chooseSaveFile;
    QString lastSaveName;
    QString lastSaveFilter;  // the filter chosen last; the first one until then
    // The scenario file choosers (open, save); tests replace them.
    std::function<QString(bool save, const QString& lastName)> chooseScenarioFile;
    QString lastScenarioName;
    // Asked before "Новый сценарий" clears a picture that holds a run; tests
    // replace it. True: go on.
    std::function<bool()> confirmNewScenario;

    // Runs go on a worker thread; these tell and wait (tests, closing).
    bool Running() const { return run_.Running(); }
    // Serves the event loop until the run in progress has been finished.
    void WaitForRun();
    // Stops the run in progress, if any, and waits until it has ended.
    void StopRun();
    // A seam for tests: given each run's control before the run starts (to
    // slow it at its checkpoints, say).
    std::function<void(RunControl&)> runSeam;
    // The progress bar shows once a run has taken this long.
    static constexpr int kProgressDelayMs = 300;
    // Auto-run starts runs at most this often.
    static constexpr int kAutoRunIntervalMs = 100;

    // The windows created after this one.
    void SetWindows(QWidget* parametersWindow, PictureSizeWindow* sizeWindow, PictureSettingsWindow* settingsWindow,
                    AboutWindow* aboutWindow);
    // The ledger window, opened from "Модель" -> "Баланс по этапам".
    void SetLedgerWindow(QWidget* ledgerWindow) { ledgerWindow_ = ledgerWindow; }
    // The user guide, opened from "Справка" -> "Руководство" and F1.
    void SetGuideWindow(QWidget* guideWindow) { guideWindow_ = guideWindow; }
    // Tool windows are placed beside the picture when first shown; this
    // shows one (placing it the first time) and brings it forward.
    std::function<void(QWidget*)> showToolWindow;
    // The ambiguity window, from "Модель" -> "Функция неопределенности".
    void SetAmbiguityWindow(QWidget* ambiguityWindow) { ambiguityWindow_ = ambiguityWindow; }
    // The sweep window, opened on its tab 0 ("Серия") or 1 ("Обнаружение").
    void SetSweepWindow(std::function<void(int tab)> open) { openSweep_ = std::move(open); }
    // The parameters window's "Вкл" boxes that mirror the three switches.
    void SetMirrors(QCheckBox* filterOn, QCheckBox* noiseOn, QCheckBox* normOn);

    void SyncFromState();
    QString StatusText() const;
    QString ReadoutText() const;
    QSize PictureAreaSize() const;

    // Handlers.
    void ModelComboBoxChange(int item);
    void PathComboBoxChange(int item);
    void PrevPathSpeedButtonClick();
    void NextPathSpeedButtonClick();
    // Start, or Stop while a run goes.
    void StartSpeedButtonClick();
    void StopItemClick();
    void AutoRunItemClick(bool on);
    void FilterCheckBoxClick(bool on);
    void NoiseCheckBoxClick(bool on);
    void NormCheckBoxClick(bool on);
    void ParametrItemClick();
    void LedgerItemClick();
    void AmbiguityItemClick();
    void SweepItemClick();
    void DetectionItemClick();
    void ExitItemClick();
    void NewScenarioItemClick();
    // The built-in defaults of every setting, the picture blank as at start.
    void NewScenario();
    void OpenScenarioItemClick();
    void SaveScenarioItemClick();
    // Opens a scenario into every window; a refused file shows its message
    // and changes nothing. Returns whether it was opened.
    bool OpenScenario(const std::string& path);
    void SaveScenario(const std::string& path);
    void ImageOptionItemClick();
    void ImageSizeItemClick();
    void SaveToFileSpeedButtonClick();
    // Writes the picture under the name as the save dialog returned it, in
    // the format of the filter chosen with it.
    void SaveToFile(const QString& chosenName, PictureFormat format = PictureFormat::Bmp);
    void ResultImageMouseDown(QPoint position);
    // The mouse on the picture: a left-button drag across a plot zooms it
    // into the columns dragged over; a click without a drag opens the picture
    // settings (after the double-click time, when the plot is zoomed and a
    // double click may follow); a double click on a zoomed plot shows its
    // whole run again. Moving reads values under the cursor.
    // With Shift a left press on a plot places a cursor; a middle-button
    // drag, or a left one with Ctrl, pans a zoomed plot; the wheel zooms the
    // plot under the mouse around it.
    void ResultImagePress(QPoint position, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {});
    void ResultImageWheel(QPoint position, int angleDelta);
    static constexpr double kWheelStep = 0.8;  // the span's factor per notch in
    static constexpr int kWheelJoinMs = 600;   // notches this close are one step back
    void ResultImageMove(QPoint position);
    void ResultImageRelease(QPoint position, Qt::MouseButton button);
    void ResultImageDoubleClick(QPoint position);
    void ResultImageLeave();
    void WholeSignalItemClick();
    void HoldReferenceItemClick();
    void DropReferenceItemClick();
    void ZoomBackItemClick();
    void PeakCursorItemClick();
    void ClearCursorsItemClick();
    void GuideItemClick();
    // Escape, in one order: it stops a run in progress; otherwise it clears
    // the cursors; otherwise it shows the whole signal. The item it belongs
    // to shows it.
    void ShowEscape();
    // A drag shorter than this is a click.
    static constexpr int kDragDistance = 3;
    void N1Click();
    void N7Click();
    void N4Click();
    void N6Click();
    void N8Click();
    void AboutItemClick();

signals:
    void closed();
    // After every Start, whether the run completed or failed.
    void started();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildToolPanel();
    void BuildMenu();
    void LayoutToolPanel();
    void LayoutPicture();
    void PictureAreaResized();
    void Changed();
    void ShowStatus();
    void Mirror(QCheckBox* partner, bool on);
    void ShowReadout();
    // Runs a change of the zoom or a redraw: the picture is shown, a failure
    // reported.
    void Redraw(const std::function<void()>& change);
    // After the picture may have been resized or refilled under its plots.
    void PictureMayHaveChanged(unsigned changesBefore);
    // The run on the worker thread, its polling and its end.
    void StartRun(bool automatic);
    void ShowProgress(const RunControl& control);
    void FinishRun();
    void ShowRunning(bool running);
    // Auto-run: after any change of the shared state, a run when what a run
    // reads has changed, a redraw when only the picture settings have.
    void FollowChanges();

    QWidget* parametersWindow_ = nullptr;
    QWidget* ledgerWindow_ = nullptr;
    QWidget* guideWindow_ = nullptr;
    void ShowToolWindow(QWidget* window);
    QWidget* ambiguityWindow_ = nullptr;
    std::function<void(int)> openSweep_;
    PictureSizeWindow* sizeWindow_ = nullptr;
    PictureSettingsWindow* settingsWindow_ = nullptr;
    AboutWindow* aboutWindow_ = nullptr;
    QCheckBox* filterOnMirror_ = nullptr;
    QCheckBox* noiseOnMirror_ = nullptr;
    QCheckBox* normOnMirror_ = nullptr;

    // A left-button press on a plot, until its release.
    struct Drag {
        PlotKind plot;
        QPoint from;
        bool moved = false;
        bool pan = false;     // moves a zoomed plot instead of selecting
        QPoint last;          // where the pan has got to
        Qt::MouseButton button = Qt::LeftButton;
    };
    QTimer* wheelTimer_ = nullptr;  // running: the next notch joins the last step
    bool runningShown_ = false;     // the controls show a run in progress
    std::optional<Drag> drag_;
    QTimer* clickTimer_ = nullptr;  // a click that a double click may still undo
    QPoint clickAt_;
    std::optional<QPoint> mouseAt_;  // the cursor over the picture
    PlotReadout readout_;

    RunResult pending_;          // written by the worker, read once it has returned
    bool pendingAutomatic_ = false;  // the run in progress was started by auto-run
    WorkWatcher run_;            // after pending_: it waits for the worker as it goes
    QTimer* autoRunTimer_ = nullptr;
    std::optional<RunRequest> lastRequest_;  // of the last run started
    PictureSettings lastSettings_;          // as the picture was last drawn
};

}  // namespace sonavir
