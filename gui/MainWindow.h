#pragma once
// The main window: model and path choices with their navigation, the three
// run switches, Start, the result picture and its menu. State and rules live
// in MainState and PictureSizing; the handlers forward to them.

#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>

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

class StateBus;
class TSizeImageForm;
class TOptionImageForm;
class TLogoForm;

// The picture control: shows the off-screen bitmap at its top-left corner,
// unscaled.
class TResultImage : public QWidget {
public:
    TResultImage(const Picture& picture, QWidget* parent);
    std::function<void(QPoint)> onMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const Picture& picture_;
};

// The client area below the toolbar, where the picture control lives.
class TPictureArea : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kToolPanelHeight = 50;

    TMainForm(MainState& state, StateBus* bus, QWidget* parent = nullptr);
    ~TMainForm() override;

    MainState& state;
    StateBus* bus;
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

    TPictureArea* PictureArea;
    TResultImage* ResultImage;
    QStatusBar* ModelStatusBar;
    QLabel* StatusPanel;

    QMenu* FileItem;
    QAction* ExitItem;
    QMenu* ModelItem;
    QAction* StartItem;
    QAction* ParametrItem;
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

    // The file chooser of saving; tests replace it. An empty name cancels.
    std::function<QString(const QString& lastName)> chooseSaveFile;
    QString lastSaveName;

    // The windows created after this one.
    void SetWindows(QWidget* modelsForm, TSizeImageForm* sizeForm, TOptionImageForm* optionForm,
                    TLogoForm* logoForm);
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
    void ExitItemClick();
    void ImageOptionItemClick();
    void ImageSizeItemClick();
    void SaveToFileSpeedButtonClick();
    // Writes the picture under the name as the save dialog returned it.
    void SaveToFile(const QString& chosenName);
    void ResultImageMouseDown(QPoint position);
    void N1Click();
    void N7Click();
    void N4Click();
    void N6Click();
    void N8Click();
    void AboutItemClick();

signals:
    void closed();

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

    QWidget* modelsForm_ = nullptr;
    TSizeImageForm* sizeForm_ = nullptr;
    TOptionImageForm* optionForm_ = nullptr;
    TLogoForm* logoForm_ = nullptr;
    QCheckBox* filterOnMirror_ = nullptr;
    QCheckBox* noiseOnMirror_ = nullptr;
    QCheckBox* normOnMirror_ = nullptr;
};

}  // namespace sonavir
