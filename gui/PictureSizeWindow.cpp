#include "gui/PictureSizeWindow.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>
#include <new>

#include "gui/CaptionFit.h"
#include "gui/ErrorBox.h"
#include "gui/QtText.h"
#include "gui/WindowBus.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

void SetText(QLineEdit* edit, const std::string& text)
{
    const QString q = Q(text);
    if (edit->text() != q) {
        const QSignalBlocker block(edit);
        edit->setText(q);
    }
}

}  // namespace

PictureSizeWindow::PictureSizeWindow(PictureSizing& sizing, Picture& picture, PictureSettings& settings,
                               WindowBus* bus, QWidget* parent)
    : QDialog(parent), sizing(sizing), picture(picture), settings(settings), bus(bus)
{
    setWindowTitle(QStringLiteral("Размер изображения"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    SizeGroupBox = new QGroupBox(QStringLiteral(" Размер "), this);
    HorizLabel = new QLabel(QStringLiteral("Горизонтальный"), SizeGroupBox);
    VertLabel = new QLabel(QStringLiteral("Вертикальный"), SizeGroupBox);
    HorizEdit = new QLineEdit(SizeGroupBox);
    VertEdit = new QLineEdit(SizeGroupBox);
    ImageSizeCheckBox = new QCheckBox(QStringLiteral("Авторазмер"), this);
    // Columns sized to their captions, so no font clips them.
    const int labelWidth = std::max(HorizLabel->sizeHint().width(), VertLabel->sizeHint().width());
    const int editLeft = 8 + labelWidth + 6, editWidth = 52;
    HorizLabel->setGeometry(8, 22, labelWidth, 20);
    HorizEdit->setGeometry(editLeft, 20, editWidth, 22);
    VertLabel->setGeometry(8, 48, labelWidth, 20);
    VertEdit->setGeometry(editLeft, 46, editWidth, 22);
    SizeGroupBox->setGeometry(8, 6, editLeft + editWidth + 8, 76);
    // "Авторазмер" keeps the same 8-pixel margin from the right edge as the
    // group box from the left; a font too wide for that widens the window.
    const int boxLeft = SizeGroupBox->geometry().right() + 8;
    const int boxWidth = ImageSizeCheckBox->sizeHint().width();
    const int clientWidth = std::max({kClientWidth, boxLeft + boxWidth + 8, CaptionWidth(windowTitle())});
    ImageSizeCheckBox->setGeometry(boxLeft, 30, boxWidth, 20);
    setFixedSize(clientWidth, kClientHeight);

    BottomBevel = new QFrame(this);
    BottomBevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    BottomBevel->setGeometry(0, kClientHeight - 41, clientWidth, 41);
    CloseSpeedButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                                       QStringLiteral("Закрыть"), BottomBevel);
    CloseSpeedButton->setGeometry(clientWidth - 8 - 89, 10, 89, 22);
    CloseSpeedButton->setAutoDefault(false);

    connect(ImageSizeCheckBox, &QCheckBox::toggled, this, &PictureSizeWindow::ImageSizeCheckBoxClick);
    connect(HorizEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { this->sizing.horizText = S(text); });
    connect(VertEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { this->sizing.vertText = S(text); });
    connect(CloseSpeedButton, &QPushButton::clicked, this, [this] { CloseSpeedButtonClick(); });

    SyncFromState();
}

void PictureSizeWindow::SyncFromState()
{
    SetText(HorizEdit, sizing.horizText);
    SetText(VertEdit, sizing.vertText);
    if (ImageSizeCheckBox->isChecked() != sizing.autoSizeChecked) {
        const QSignalBlocker block(ImageSizeCheckBox);
        ImageSizeCheckBox->setChecked(sizing.autoSizeChecked);
    }
    SizeGroupBox->setEnabled(sizing.SizeGroupEnabled());
}

void PictureSizeWindow::showEvent(QShowEvent* event)
{
    if (!shownBefore_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        shownBefore_ = true;
    }
    FormShow();
    QDialog::showEvent(event);
}

void PictureSizeWindow::FormShow()
{
    sizing.Show(picture);
    SyncFromState();
    if (bus) emit bus->changed();
}

void PictureSizeWindow::ImageSizeCheckBoxClick(bool on)
{
    sizing.SetAutoSizeChecked(on);
    SyncFromState();
    if (bus) emit bus->changed();
}

bool PictureSizeWindow::CloseSpeedButtonClick()
{
    const QSize area = pictureArea ? pictureArea() : QSize(picture.Width(), picture.Height());
    try {
        sizing.Apply(picture, area.width(), area.height(), settings.PlotBackColor);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
        return false;
    }
    if (bus) emit bus->changed();
    accept();
    return true;
}

}  // namespace sonavir
