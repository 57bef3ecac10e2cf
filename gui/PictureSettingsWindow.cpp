#include "gui/PictureSettingsWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "gui/CaptionFit.h"
#include "gui/WindowBus.h"

namespace sonavir {

namespace {

SpinEdit* MakeCountSpin(QWidget* parent, int x, int y)
{
    auto* spin = new SpinEdit(parent);
    spin->setRange(1, 30);
    spin->setGeometry(x, y, 56, 22);
    return spin;
}

void SetChecked(QCheckBox* box, bool on)
{
    if (box->isChecked() != on) {
        const QSignalBlocker block(box);
        box->setChecked(on);
    }
}

// A field being typed into keeps its text while it means the count in force
// (a typed 45 stands for 30 until the focus leaves).
void SetValue(SpinEdit* spin, int value)
{
    if (PictureSettings::ClampCount(spin->value()) != value) {
        const QSignalBlocker block(spin);
        spin->setValue(value);
    }
}

}  // namespace

PictureSettingsWindow::PictureSettingsWindow(PictureSettings& settings, WindowBus* bus, QWidget* parent)
    : QDialog(parent), settings(settings), bus(bus)
{
    setWindowTitle(QStringLiteral("Настройки изображения"));
    clientWidth_ = std::max(kClientWidth, CaptionWidth(windowTitle()));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    ColorRadioGroup = new QGroupBox(QStringLiteral(" Цвет "), this);
    ColorRadioGroup->setGeometry(8, 6, clientWidth_ - 16, 66);
    WhiteOnBlackRadioButton = new QRadioButton(QStringLiteral("Белое на черном"), ColorRadioGroup);
    WhiteOnBlackRadioButton->setGeometry(12, 20, 220, 20);
    BlackOnWhiteRadioButton = new QRadioButton(QStringLiteral("Черное на белом"), ColorRadioGroup);
    BlackOnWhiteRadioButton->setGeometry(12, 42, 220, 20);
    ColorButtons = new QButtonGroup(this);
    ColorButtons->addButton(WhiteOnBlackRadioButton, 0);
    ColorButtons->addButton(BlackOnWhiteRadioButton, 1);

    // The group's caption line carries the "Шкала" box itself.
    ScaleGroupBox = new QGroupBox(QStringLiteral("  "), this);
    ScaleGroupBox->setGeometry(8, 78, clientWidth_ - 16, 110);
    ScaleCheckBox = new QCheckBox(QStringLiteral("Шкала"), ScaleGroupBox);
    ScaleCheckBox->setGeometry(10, 0, 90, 20);
    DbCheckBox = new QCheckBox(QStringLiteral("Шкала в дБ"), ScaleGroupBox);
    DbCheckBox->setGeometry(110, 0, 130, 20);
    AmplitudeCheckBox = new QCheckBox(QStringLiteral("Амплитуда"), ScaleGroupBox);
    AmplitudeCheckBox->setGeometry(16, 24, 140, 22);
    TcCheckBox = new QCheckBox(QStringLiteral("Длительность"), ScaleGroupBox);
    TcCheckBox->setGeometry(16, 52, 140, 22);
    FCheckBox = new QCheckBox(QStringLiteral("Частота"), ScaleGroupBox);
    FCheckBox->setGeometry(16, 80, 140, 22);
    AmplitudeSpinEdit = MakeCountSpin(ScaleGroupBox, 166, 24);
    TcSpinEdit = MakeCountSpin(ScaleGroupBox, 166, 52);
    FSpinEdit = MakeCountSpin(ScaleGroupBox, 166, 80);
    // The keyboard walks each row: its tick box, then its count.
    setTabOrder(ScaleCheckBox, DbCheckBox);
    setTabOrder(DbCheckBox, AmplitudeCheckBox);
    setTabOrder(AmplitudeCheckBox, AmplitudeSpinEdit);
    setTabOrder(AmplitudeSpinEdit, TcCheckBox);
    setTabOrder(TcCheckBox, TcSpinEdit);
    setTabOrder(TcSpinEdit, FCheckBox);
    setTabOrder(FCheckBox, FSpinEdit);

    BottomPanel = new QWidget(this);
    CloseSpeedButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                                       QStringLiteral("Закрыть"), BottomPanel);
    CloseSpeedButton->setGeometry(clientWidth_ - 8 - 89, 11, 89, 22);
    CloseSpeedButton->setAutoDefault(false);
    RangeAxisCheckBox = new QCheckBox(QStringLiteral("Шкала дальности"), BottomPanel);
    RangeAxisCheckBox->setGeometry(8, 12, clientWidth_ - 8 - 89 - 16, 20);
    RangeAxisCheckBox->setToolTip(
        QStringLiteral("В модели уровней «Уравнение гидролокации»: ось времени в дальностях c·t/2, м"));

    connect(ColorButtons, &QButtonGroup::idClicked, this, &PictureSettingsWindow::ColorRadioGroupClick);
    connect(ScaleCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::ScaleCheckBoxClick);
    connect(AmplitudeCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::AmplitudeCheckBoxClick);
    connect(TcCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::TcCheckBoxClick);
    connect(FCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::FCheckBoxClick);
    connect(DbCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::DbCheckBoxClick);
    connect(RangeAxisCheckBox, &QCheckBox::toggled, this, &PictureSettingsWindow::RangeAxisCheckBoxClick);
    connect(AmplitudeSpinEdit, &SpinEdit::changed, this, [this](int v) {
        this->settings.amplitudeCount = PictureSettings::ClampCount(v);
        Changed();
    });
    connect(TcSpinEdit, &SpinEdit::changed, this, [this](int v) {
        this->settings.tcCount = PictureSettings::ClampCount(v);
        Changed();
    });
    connect(FSpinEdit, &SpinEdit::changed, this, [this](int v) {
        this->settings.fCount = PictureSettings::ClampCount(v);
        Changed();
    });
    connect(CloseSpeedButton, &QPushButton::clicked, this, &PictureSettingsWindow::CloseSpeedButtonClick);

    // The window's creation applies the default colour scheme.
    settings.ApplyColorScheme();
    setFixedSize(clientWidth_, ClientHeight());
    SyncFromState();
}

void PictureSettingsWindow::SyncFromState()
{
    if (QAbstractButton* b = ColorButtons->button(settings.colorItem); b && !b->isChecked()) {
        const QSignalBlocker block(ColorButtons);
        b->setChecked(true);
    }
    SetChecked(ScaleCheckBox, settings.scale);
    SetChecked(AmplitudeCheckBox, settings.amplitude);
    SetChecked(TcCheckBox, settings.tc);
    SetChecked(FCheckBox, settings.f);
    SetChecked(DbCheckBox, settings.db);
    SetChecked(RangeAxisCheckBox, settings.rangeAxis);
    AmplitudeCheckBox->setEnabled(settings.amplitudeBoxEnabled);
    TcCheckBox->setEnabled(settings.tcBoxEnabled);
    FCheckBox->setEnabled(settings.fBoxEnabled);
    AmplitudeSpinEdit->setEnabled(settings.amplitudeSpinEnabled);
    TcSpinEdit->setEnabled(settings.tcSpinEnabled);
    FSpinEdit->setEnabled(settings.fSpinEnabled);
    SetValue(AmplitudeSpinEdit, settings.amplitudeCount);
    SetValue(TcSpinEdit, settings.tcCount);
    SetValue(FSpinEdit, settings.fCount);

    ScaleGroupBox->setVisible(!settings.shortForm);
    RangeAxisCheckBox->setVisible(!settings.shortForm);
    if (height() != ClientHeight()) setFixedSize(clientWidth_, ClientHeight());
}

void PictureSettingsWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The bottom panel stays at the bottom edge in both heights.
    BottomPanel->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
}

void PictureSettingsWindow::showEvent(QShowEvent* event)
{
    SyncFromState();
    QDialog::showEvent(event);
}

void PictureSettingsWindow::PlaceBeforeShowing(std::optional<QPoint> position)
{
    SyncFromState();
    if (!shownBefore_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, (height() + kCaptionHeight) / 2));
        }
        shownBefore_ = true;
    } else if (position) {
        move(*position);
    }
}

void PictureSettingsWindow::OpenModal(std::optional<QPoint> position)
{
    PlaceBeforeShowing(position);
    exec();
}

void PictureSettingsWindow::Changed()
{
    if (bus) emit bus->changed();
}

void PictureSettingsWindow::ColorRadioGroupClick(int item)
{
    settings.SetColorItem(item);
    Changed();
}

void PictureSettingsWindow::ScaleCheckBoxClick(bool on)
{
    settings.SetScale(on);
    SyncFromState();
    Changed();
}

void PictureSettingsWindow::AmplitudeCheckBoxClick(bool on)
{
    settings.SetAmplitude(on);
    SyncFromState();
    Changed();
}

void PictureSettingsWindow::TcCheckBoxClick(bool on)
{
    settings.SetTc(on);
    SyncFromState();
    Changed();
}

void PictureSettingsWindow::FCheckBoxClick(bool on)
{
    settings.SetF(on);
    SyncFromState();
    Changed();
}

void PictureSettingsWindow::DbCheckBoxClick(bool on)
{
    settings.SetDb(on);
    Changed();
}

void PictureSettingsWindow::RangeAxisCheckBoxClick(bool on)
{
    settings.SetRangeAxis(on);
    Changed();
}

void PictureSettingsWindow::CloseSpeedButtonClick()
{
    // Settings took effect as they were edited; closing changes nothing more.
    accept();
}

}  // namespace sonavir
