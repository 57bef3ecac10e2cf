#include "gui/AmbiguityWindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

#include "gui/ErrorBox.h"
#include "gui/QtText.h"
#include "gui/SaveDialogs.h"

namespace sonavir {

namespace {



// A change starts a map this long after it, so typing a value costs one map.
constexpr int kFollowDelayMs = 150;

}  // namespace

AmbiguityImageWidget::AmbiguityImageWidget(const AmbiguityView& view, QWidget* parent)
    : QWidget(parent), view_(view)
{
    setFixedSize(view.Width(), view.Height());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void AmbiguityImageWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (view_.Image().isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(0, 0, view_.Image());
}

void AmbiguityImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMove) onMouseMove(event->position().toPoint());
}

void AmbiguityImageWidget::leaveEvent(QEvent*)
{
    if (onLeave) onLeave();
}

AmbiguityWindow::AmbiguityWindow(MainState& main, QWidget* parent) : QWidget(parent, Qt::Window), main_(main)
{
    setWindowTitle(QStringLiteral("Функция неопределенности"));
    setObjectName(QStringLiteral("ambiguityWindow"));

    WidebandCheckBox = new QCheckBox(QStringLiteral("Широкополосная"), this);
    WidebandCheckBox->setToolTip(QStringLiteral("Строки по скорости цели: сжатие сигнала во времени "
                                                "(c + V)/(c - V) вместо сдвига частоты"));
    SaveButton = new QPushButton(QStringLiteral("Сохранить..."), this);
    SaveButton->setEnabled(false);
    StopButton = new QPushButton(QStringLiteral("Стоп"), this);
    StopButton->setEnabled(false);
    RunProgressBar = new QProgressBar(this);
    RunProgressBar->setRange(0, 100);
    RunProgressBar->setMinimumWidth(260);
    RunProgressBar->hide();
    // The window fits the screen: what the controls, the readout and the
    // frame take beside the picture comes off the standard size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        view_.SetSize(std::min(kAmbiguityWidth, area.width() - 40), std::min(kAmbiguityHeight, area.height() - 110));
    }
    MapImage = new AmbiguityImageWidget(view_, this);
    ReadoutLabel = new QLabel(this);
    ReadoutLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MessageLabel = new QLabel(this);
    MessageLabel->setWordWrap(true);
    MessageLabel->hide();

    auto* controls = new QHBoxLayout;
    controls->addWidget(WidebandCheckBox);
    controls->addStretch(1);
    controls->addWidget(RunProgressBar);
    controls->addWidget(StopButton);
    controls->addWidget(SaveButton);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    column->addLayout(controls);
    column->addWidget(MessageLabel);
    column->addWidget(MapImage);
    column->addWidget(ReadoutLabel);
    ReadoutLabel->setFixedHeight(ReadoutLabel->fontMetrics().height() + 4);
    layout()->activate();
    setFixedSize(layout()->sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    work_.onProgress = [this](const RunControl& control) { ShowProgress(control); };
    work_.onFinished = [this](bool stopped) { Finish(stopped); };
    followTimer_ = new QTimer(this);
    followTimer_->setSingleShot(true);
    connect(followTimer_, &QTimer::timeout, this, [this] {
        if (isVisible() && (!lastRequest_ || Request() != *lastRequest_)) Recompute();
    });

    connect(WidebandCheckBox, &QCheckBox::toggled, this, [this](bool) { Recompute(); });
    connect(StopButton, &QPushButton::clicked, this, &AmbiguityWindow::StopItemClick);
    connect(SaveButton, &QPushButton::clicked, this, &AmbiguityWindow::SaveItemClick);
    MapImage->onMouseMove = [this](QPoint at) { ShowReadout(at); };
    MapImage->onLeave = [this] { ShowReadout(std::nullopt); };
}

// The watcher, declared after what the worker writes, stops and waits for it.
AmbiguityWindow::~AmbiguityWindow() = default;

AmbiguityRequest AmbiguityWindow::Request() const
{
    AmbiguityRequest q = AmbiguityRequest::Of(main_.params);
    q.wideband = WidebandCheckBox->isChecked();
    return q;
}

void AmbiguityWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!lastRequest_ || Request() != *lastRequest_) Recompute();
}

void AmbiguityWindow::hideEvent(QHideEvent* event)
{
    // Nobody looks at a hidden map: its work ends.
    if (Computing()) StopItemClick();
    QWidget::hideEvent(event);
}

void AmbiguityWindow::SyncFromState()
{
    if (!main_.settings.DrawsLike(lastSettings_) && view_.HasMap()) {
        lastSettings_ = main_.settings;
        view_.Redraw(lastSettings_);
        MapImage->update();
    }
    if (isVisible() && (!lastRequest_ || Request() != *lastRequest_)) followTimer_->start(kFollowDelayMs);
}

void AmbiguityWindow::Recompute()
{
    // The map that the change made stale ends first, as a stopped one.
    work_.StopAndFinish();
    lastRequest_ = Request();
    const AmbiguityRequest request = *lastRequest_;
    StopButton->setEnabled(true);
    work_.Start([this, request](RunControl& control) { pending_ = ComputeAmbiguity(request, control); }, runSeam);
}

void AmbiguityWindow::ShowProgress(const RunControl& control)
{
    if (work_.Elapsed() < std::chrono::milliseconds(kProgressDelayMs)) return;
    RunProgressBar->setFormat(Q(control.StepName()) + QStringLiteral(" %p%"));
    RunProgressBar->setValue(control.Percent());
    RunProgressBar->show();
}

void AmbiguityWindow::Finish(bool stopped)
{
    StopButton->setEnabled(false);
    RunProgressBar->hide();
    RunProgressBar->setValue(0);
    AmbiguityResult result = std::move(pending_);
    pending_ = AmbiguityResult{};
    if (stopped || result.stopped) {
        // The picture shown stays; the next change or opening starts afresh.
        lastRequest_.reset();
        return;
    }
    if (result.failure) {
        std::string message;
        try {
            std::rethrow_exception(result.failure);
        } catch (const std::exception& e) {
            message = FailureMessage(e);
        } catch (...) {
            message = "Ошибка";
        }
        MessageLabel->setText(Q(message));
        MessageLabel->show();
    } else {
        MessageLabel->hide();
    }
    lastSettings_ = main_.settings;
    view_.Show(std::move(result), lastSettings_);
    SaveButton->setEnabled(view_.HasMap());
    layout()->activate();
    setFixedSize(layout()->sizeHint());
    MapImage->update();
    ShowReadout(std::nullopt);
}

void AmbiguityWindow::WaitForRun()
{
    work_.WaitForRun();
}

void AmbiguityWindow::StopItemClick()
{
    work_.Stop();
}

void AmbiguityWindow::ShowReadout(std::optional<QPoint> at)
{
    ReadoutLabel->setText(at ? Q(view_.Readout(at->x(), at->y())) : QString());
}

void AmbiguityWindow::SaveItemClick()
{
    QString filter = lastSaveFilter.isEmpty() ? PictureFilters().front() : lastSaveFilter;
    const QString name = chooseSaveFile ? chooseSaveFile(lastSaveName, filter)
                                        : AskPictureName(this, QStringLiteral("Сохранить функцию неопределенности"),
                                                         lastSaveName, filter);
    if (name.isEmpty()) return;
    lastSaveFilter = filter;
    SaveToFile(name, PictureFormatOfFilter(filter));
}

void AmbiguityWindow::SaveToFile(const QString& chosenName, PictureFormat format)
{
    const std::string path = SaveFileName(S(chosenName), format);
    lastSaveName = Q(path);
    try {
        view_.Save(path, format);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
}

}  // namespace sonavir
