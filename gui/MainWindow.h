#pragma once
// The main window: model and path choices with their navigation, the three
// run switches, Start, the result picture and its menu. State and rules live
// in MainState and PictureSizing; the handlers forward to them.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>

#include "display/PictureFiles.h"
#include "display/PictureSizing.h"
#include "model/MainState.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QStatusBar;
class QToolButton;

namespace sonavir {

class WindowBus;
class PictureSizeWindow;
class PictureSettingsWindow;
class AboutWindow;

// The picture control: shows the off-screen bitmap at its top-left corner,
// unscaled.
class ResultImageWidget : public QWidget {
public:
    ResultImageWidget(const Picture& picture, QWidget* parent);
    std::function<void(QPoint)> onMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const Picture& picture_;
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

    QMenu* FileItem;
    QAction* OpenScenarioItem;
    QAction* SaveScenarioItem;
    QAction* ExitItem;
    QMenu* ModelItem;
    QAction* StartItem;
    QAction* ParametrItem;
    QAction* LedgerItem;  // "Баланс по этапам"
    QMenu* ImageItem;
    QAction* SaveItem;
    QAction* ImageSizeItem;
    QAction* ImageOptionItem;
    QMenu* HelpItem;
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

    // The windows created after this one.
    void SetWindows(QWidget* parametersWindow, PictureSizeWindow* sizeWindow, PictureSettingsWindow* settingsWindow,
                    AboutWindow* aboutWindow);
    // The ledger window, opened from "Модель" -> "Баланс по этапам".
    void SetLedgerWindow(QWidget* ledgerWindow) { ledgerWindow_ = ledgerWindow; }
    // The parameters window's "Вкл" boxes that mirror the three switches.
    void SetMirrors(QCheckBox* filterOn, QCheckBox* noiseOn, QCheckBox* normOn);

    void SyncFromState();
    QString StatusText() const;
    QSize PictureAreaSize() const;

    // Handlers.
    void ModelComboBoxChange(int item);
    void PathComboBoxChange(int item);
    void PrevPathSpeedButtonClick();
    void NextPathSpeedButtonClick();
    void StartSpeedButtonClick();
    void FilterCheckBoxClick(bool on);
    void NoiseCheckBoxClick(bool on);
    void NormCheckBoxClick(bool on);
    void ParametrItemClick();
    void LedgerItemClick();
    void ExitItemClick();
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

    QWidget* parametersWindow_ = nullptr;
    QWidget* ledgerWindow_ = nullptr;
    PictureSizeWindow* sizeWindow_ = nullptr;
    PictureSettingsWindow* settingsWindow_ = nullptr;
    AboutWindow* aboutWindow_ = nullptr;
    QCheckBox* filterOnMirror_ = nullptr;
    QCheckBox* noiseOnMirror_ = nullptr;
    QCheckBox* normOnMirror_ = nullptr;
};

}  // namespace sonavir
