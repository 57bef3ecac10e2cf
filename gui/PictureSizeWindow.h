#pragma once
// The picture size window: auto size (the picture follows the main window)
// or a fixed width and height in pixels. The rules live in PictureSizing;
// this window shows them and forwards its events.

#include <QDialog>
#include <QSize>
#include <functional>

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "display/PictureSizing.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sonavir {

class WindowBus;

class PictureSizeWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 289;
    static constexpr int kClientHeight = 129;

    PictureSizeWindow(PictureSizing& sizing, Picture& picture, PictureSettings& settings,
                   WindowBus* bus, QWidget* parent = nullptr);

    PictureSizing& sizing;
    Picture& picture;
    PictureSettings& settings;
    WindowBus* bus;
    // The size of the main window's picture area, where an aligned picture
    // control fits; the main window supplies it.
    std::function<QSize()> pictureArea;

    QGroupBox* SizeGroupBox;
    QLabel* HorizLabel;
    QLabel* VertLabel;
    QLineEdit* HorizEdit;
    QLineEdit* VertEdit;
    QCheckBox* ImageSizeCheckBox;
    QFrame* BottomBevel;
    QPushButton* CloseSpeedButton;

    void SyncFromState();

    void FormShow();
    void ImageSizeCheckBoxClick(bool on);
    // Apply, then close; a refused apply shows the message and keeps the
    // window open. Returns whether the window closed.
    bool CloseSpeedButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool shownBefore_ = false;
};

}  // namespace sonavir
