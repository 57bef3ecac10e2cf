#pragma once
// The picture settings window: colour scheme, scale switch and tick counts.
// Every control writes PictureSettings at once; the plotter and the charts
// read that state when they draw.

#include <QDialog>
#include <optional>

#include "display/PictureSettings.h"
#include "gui/SpinEdit.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QWidget;

namespace sonavir {

class WindowBus;

class PictureSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // Client width and the two client heights: the window's outer heights are
    // 267 (full) and 155 (short) with a 27-pixel caption.
    // The width at least, wider when the caption needs it (CaptionFit.h).
    static constexpr int kClientWidth = 265;
    int ClientWidth() const { return clientWidth_; }
    static constexpr int kCaptionHeight = 27;
    static constexpr int kPanelHeight = 44;

    PictureSettingsWindow(PictureSettings& settings, WindowBus* bus, QWidget* parent = nullptr);

    PictureSettings& settings;
    WindowBus* bus;

    QGroupBox* ColorRadioGroup;
    QRadioButton* WhiteOnBlackRadioButton;
    QRadioButton* BlackOnWhiteRadioButton;
    QButtonGroup* ColorButtons;
    QGroupBox* ScaleGroupBox;
    QCheckBox* ScaleCheckBox;
    QCheckBox* AmplitudeCheckBox;
    QCheckBox* TcCheckBox;
    QCheckBox* FCheckBox;
    // "Шкала в дБ", on the group's caption line beside "Шкала": it changes the
    // curves, not the ticks, so "Шкала" leaves it alone.
    QCheckBox* DbCheckBox;
    // Typed digits stand while the field has the focus; leaving it brings
    // the count into 1 .. 30 (the state is kept in range all along).
    SpinEdit* AmplitudeSpinEdit;
    SpinEdit* TcSpinEdit;
    SpinEdit* FSpinEdit;
    QWidget* BottomPanel;
    // "Шкала дальности", beside the close button: an echo at its true delay
    // (the sonar-equation levels) read in ranges c·t/2 along the time axis.
    QCheckBox* RangeAxisCheckBox;
    QPushButton* CloseSpeedButton;

    void SyncFromState();
    int ClientHeight() const { return settings.WindowHeight() - kCaptionHeight; }

    // Opens modally; a position given (the click on the picture) places the
    // window there, except on its very first showing, which centres it.
    void OpenModal(std::optional<QPoint> position = std::nullopt);
    // The placement part of OpenModal, separate so it can be checked.
    void PlaceBeforeShowing(std::optional<QPoint> position);
    bool ShownBefore() const { return shownBefore_; }

    void ColorRadioGroupClick(int item);
    void ScaleCheckBoxClick(bool on);
    void AmplitudeCheckBoxClick(bool on);
    void TcCheckBoxClick(bool on);
    void FCheckBoxClick(bool on);
    void DbCheckBoxClick(bool on);
    void RangeAxisCheckBoxClick(bool on);
    void CloseSpeedButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Changed();
    bool shownBefore_ = false;
    int clientWidth_ = kClientWidth;
};

}  // namespace sonavir
