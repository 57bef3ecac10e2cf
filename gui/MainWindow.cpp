#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QMessageBox>
#include <cmath>
#include <algorithm>
#include <new>

#include "gui/AboutWindow.h"
#include "gui/ErrorBox.h"
#include "gui/GreyedLook.h"
#include "gui/HelpLinks.h"
#include "gui/Mnemonics.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "gui/QtText.h"
#include "gui/SaveDialogs.h"
#include "gui/WindowBus.h"
#include "model/Scenario.h"
#include "signal/Errors.h"

namespace sonavir {

ResultImageWidget::ResultImageWidget(const Picture& picture, QWidget* parent)
    : QWidget(parent), picture_(picture)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void ResultImageWidget::SetSelection(std::optional<QRect> rect)
{
    if (rect == selection_) return;
    selection_ = rect;
    update();
}

void ResultImageWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage& surface = picture_.Surface();
    painter.drawImage(0, 0, surface);
    // A control larger than its bitmap shows the window's own colour around it.
    const QColor back = palette().color(QPalette::Window);
    if (surface.width() < width()) painter.fillRect(surface.width(), 0, width() - surface.width(), height(), back);
    if (surface.height() < height())
        painter.fillRect(0, surface.height(), surface.width(), height() - surface.height(), back);
    if (selection_) {
        // Inverted: white XOR each pixel.
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(*selection_, Qt::white);
    }
}

void ResultImageWidget::mousePressEvent(QMouseEvent* event)
{
    if (onMouseDown) onMouseDown(event->position().toPoint(), event->button(), event->modifiers());
    QWidget::mousePressEvent(event);
}

void ResultImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMove) onMouseMove(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void ResultImageWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (onMouseUp) onMouseUp(event->position().toPoint(), event->button());
    QWidget::mouseReleaseEvent(event);
}

void ResultImageWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not passed on: QWidget's own would take it for one more press.
    if (event->button() == Qt::LeftButton) {
        if (onDoubleClick) onDoubleClick(event->position().toPoint());
    } else if (onMouseDown) {
        onMouseDown(event->position().toPoint(), event->button(), event->modifiers());
    }
    event->accept();
}

void ResultImageWidget::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (onWheel && delta != 0) {
        onWheel(event->position().toPoint(), delta);
        event->accept();
        return;
    }
    QWidget::wheelEvent(event);
}

void ResultImageWidget::leaveEvent(QEvent* event)
{
    if (onLeave) onLeave();
    QWidget::leaveEvent(event);
}

void PictureAreaWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (onResize) onResize();
}

namespace {

QToolButton* FlatButton(QWidget* parent, QStyle::StandardPixmap icon, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    return button;
}

QFrame* Bevel(QWidget* parent)
{
    auto* bevel = new QFrame(parent);
    bevel->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    return bevel;
}

QComboBox* PickList(QWidget* parent, const std::vector<std::string>& items, const QString& hint)
{
    auto* combo = new QComboBox(parent);
    for (const auto& item : items) combo->addItem(Q(item));
    combo->setToolTip(hint);
    combo->setMaxVisibleItems(static_cast<int>(items.size()));
    return combo;
}

// Sets a combo box's index as the program does: no change event.
void Select(QComboBox* combo, int index)
{
    if (combo->currentIndex() != index) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
}

void SetGreyed(QWidget* widget, bool greyed)
{
    if (widget->isEnabled() == greyed) SetGreyedLook(widget, greyed);
}

}  // namespace

MainWindow::MainWindow(MainState& state, WindowBus* bus, QWidget* parent)
    : QMainWindow(parent), state(state), bus(bus)
{
    setWindowTitle(Q(kProgramTitle));
    setWindowIcon(QIcon(ProgramIcon()));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    ToolPanel = new QWidget(central);
    ToolPanel->setFixedHeight(kToolPanelHeight);
    column->addWidget(ToolPanel);
    PictureArea = new PictureAreaWidget(central);
    PictureArea->setMinimumSize(1, 1);
    column->addWidget(PictureArea, 1);
    setCentralWidget(central);

    ResultImage = new ResultImageWidget(state.picture, PictureArea);
    ResultImage->onMouseDown = [this](QPoint p, Qt::MouseButton b, Qt::KeyboardModifiers m) {
        ResultImagePress(p, b, m);
    };
    ResultImage->onWheel = [this](QPoint p, int delta) { ResultImageWheel(p, delta); };
    ResultImage->onMouseUp = [this](QPoint p, Qt::MouseButton b) { ResultImageRelease(p, b); };
    ResultImage->onMouseMove = [this](QPoint p) { ResultImageMove(p); };
    ResultImage->onDoubleClick = [this](QPoint p) { ResultImageDoubleClick(p); };
    ResultImage->onLeave = [this] { ResultImageLeave(); };
    PictureArea->onResize = [this] { PictureAreaResized(); };
    clickTimer_ = new QTimer(this);
    clickTimer_->setSingleShot(true);
    connect(clickTimer_, &QTimer::timeout, this, [this] { ResultImageMouseDown(clickAt_); });
    wheelTimer_ = new QTimer(this);
    wheelTimer_->setSingleShot(true);

    ModelStatusBar = new QStatusBar(this);
    StatusPanel = new QLabel(ModelStatusBar);
    ModelStatusBar->addWidget(StatusPanel, 1);
    ReadoutPanel = new QLabel(ModelStatusBar);
    ModelStatusBar->addWidget(ReadoutPanel, 2);
    RunProgressBar = new QProgressBar(ModelStatusBar);
    RunProgressBar->setRange(0, 100);
    RunProgressBar->setTextVisible(true);
    RunProgressBar->setMinimumWidth(240);
    RunProgressBar->setMaximumWidth(320);
    RunProgressBar->hide();
    ModelStatusBar->addPermanentWidget(RunProgressBar);
    setStatusBar(ModelStatusBar);
    run_.onProgress = [this](const RunControl& control) { ShowProgress(control); };
    run_.onFinished = [this](bool) { FinishRun(); };
    autoRunTimer_ = new QTimer(this);
    autoRunTimer_->setSingleShot(true);
    connect(autoRunTimer_, &QTimer::timeout, this, [this] {
        if (Running()) {
            // The run that the change made stale ends first.
            run_.Stop();
            autoRunTimer_->start(10);
            return;
        }
        if (this->state.autoRun && !this->state.evaluationShown && (!lastRequest_ || !this->state.Request().SameRun(*lastRequest_)))
            StartRun(true);
    });

    BuildToolPanel();
    BuildMenu();

    // FormCreate: first items, the picture at the control's size, black.
    Select(ModelComboBox, 0);
    Select(PathComboBox, 0);
    state.SeriesSignalKind = 0;
    sizing.ImageAutoSize = true;
    state.picture.SetSize(Picture::kDefaultWidth, Picture::kDefaultHeight);
    state.picture.SetFormat(PixelFormat::Indexed8);
    state.picture.Fill(kBlack);

    // The status panel is blanked before a run and must show so at once.
    auto previous = state.onStatusChanged;
    state.onStatusChanged = [this, previous] {
        ShowStatus();
        if (previous) previous();
    };

    // A client area that gives the picture its default 785 x 484.
    const int height = menuBar()->sizeHint().height() + kToolPanelHeight + Picture::kDefaultHeight +
                       ModelStatusBar->sizeHint().height();
    resize(Picture::kDefaultWidth, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height / 2));
    }
    LayoutToolPanel();
    // No narrower than the first tool row, so no switch is cut off.
    setMinimumWidth(NormCheckBox->geometry().right() + 6);
    SyncFromState();
}

MainWindow::~MainWindow()
{
    state.onStatusChanged = nullptr;
}

void MainWindow::BuildToolPanel()
{
    StartSpeedButton = FlatButton(ToolPanel, QStyle::SP_MediaPlay, QStringLiteral("Пуск"));
    Bevel1 = Bevel(ToolPanel);
    ModelComboBox = PickList(ToolPanel, MainState::ModelItems(), QStringLiteral("Модель"));
    SaveToFileSpeedButton =
        FlatButton(ToolPanel, QStyle::SP_DialogSaveButton, QStringLiteral("Сохранить изображение"));
    Bevel2 = Bevel(ToolPanel);
    FilterCheckBox = new QCheckBox(QStringLiteral("Фильтр"), ToolPanel);
    NoiseCheckBox = new QCheckBox(QStringLiteral("Шум"), ToolPanel);
    NormCheckBox = new QCheckBox(QStringLiteral("Нормировка"), ToolPanel);
    FilterCheckBox->setToolTip(QStringLiteral("Согласованный фильтр: вкл/выкл\nто же, что «Вкл» на вкладке «Фильтр»\n"
                                              "Сжимает принятый сигнал согласованным фильтром"));
    NoiseCheckBox->setToolTip(QStringLiteral("Шум: вкл/выкл\nотношение сигнал / шум задает ползунок на вкладке «Шум»\n"
                                             "Добавляет гауссов шум к принятому сигналу"));
    NormCheckBox->setToolTip(QStringLiteral("Нормировка: вкл/выкл\nто же, что «Вкл» на вкладке «Нормировка»\n"
                                            "Приводит принятый сигнал к энергии излученного"));
    PrevPathSpeedButton = FlatButton(ToolPanel, QStyle::SP_ArrowBack, QStringLiteral("Назад"));
    NextPathSpeedButton = FlatButton(ToolPanel, QStyle::SP_ArrowForward, QStringLiteral("Вперед"));
    Bevel3 = Bevel(ToolPanel);
    PathComboBox = PickList(ToolPanel, MainState::PathItems(), QStringLiteral("Путь следования"));
    Bevel5 = Bevel(ToolPanel);
    Bevel6 = Bevel(ToolPanel);

    connect(StartSpeedButton, &QToolButton::clicked, this, &MainWindow::StartSpeedButtonClick);
    connect(ModelComboBox, &QComboBox::activated, this, &MainWindow::ModelComboBoxChange);
    connect(SaveToFileSpeedButton, &QToolButton::clicked, this, &MainWindow::SaveToFileSpeedButtonClick);
    connect(FilterCheckBox, &QCheckBox::toggled, this, &MainWindow::FilterCheckBoxClick);
    connect(NoiseCheckBox, &QCheckBox::toggled, this, &MainWindow::NoiseCheckBoxClick);
    connect(NormCheckBox, &QCheckBox::toggled, this, &MainWindow::NormCheckBoxClick);
    connect(PrevPathSpeedButton, &QToolButton::clicked, this, &MainWindow::PrevPathSpeedButtonClick);
    connect(NextPathSpeedButton, &QToolButton::clicked, this, &MainWindow::NextPathSpeedButtonClick);
    connect(PathComboBox, &QComboBox::activated, this, &MainWindow::PathComboBoxChange);
}

void MainWindow::LayoutToolPanel()
{
    const int row1 = 2, row2 = 26, h = 22;
    StartSpeedButton->setGeometry(4, row1, 24, h);
    Bevel1->setGeometry(30, row1, 2, h);
    ModelComboBox->setGeometry(35, row1, 145, h);
    SaveToFileSpeedButton->setGeometry(183, row1, 24, h);
    Bevel2->setGeometry(210, row1, 2, h);
    FilterCheckBox->setGeometry(218, row1, FilterCheckBox->sizeHint().width(), h);
    NoiseCheckBox->setGeometry(FilterCheckBox->geometry().right() + 10, row1,
                               NoiseCheckBox->sizeHint().width(), h);
    NormCheckBox->setGeometry(NoiseCheckBox->geometry().right() + 10, row1,
                              NormCheckBox->sizeHint().width(), h);
    PrevPathSpeedButton->setGeometry(4, row2, 24, h);
    NextPathSpeedButton->setGeometry(29, row2, 24, h);
    Bevel3->setGeometry(56, row2, 2, h);
    // FormResize: the path list and the right-end marks follow the width.
    PathComboBox->setGeometry(61, row2, std::max(40, width() - 97), h);
    const bool wide = width() > 500;
    Bevel5->setGeometry(width() - 15, row1, 2, h);
    Bevel6->setGeometry(width() - 15, row2, 2, h);
    Bevel5->setVisible(wide);
    Bevel6->setVisible(wide);
}

void MainWindow::BuildMenu()
{
    const auto item = [](QMenu* menu, const char* text, QKeySequence keys = {}) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcut(keys);
        return action;
    };
    FileItem = menuBar()->addMenu(QStringLiteral("&Файл"));
    NewScenarioItem = item(FileItem, "&Новый сценарий", QKeySequence(Qt::CTRL | Qt::Key_N));
    OpenScenarioItem = item(FileItem, "&Открыть сценарий…", QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveScenarioItem = item(FileItem, "&Сохранить сценарий…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    FileItem->addSeparator();
    ExitItem = item(FileItem, "В&ыход", QKeySequence(Qt::CTRL | Qt::Key_Q));
    ModelItem = menuBar()->addMenu(QStringLiteral("&Модель"));
    StartItem = item(ModelItem, "&Пуск", QKeySequence(Qt::Key_F5));
    StopItem = item(ModelItem, "&Стоп");
    StopItem->setEnabled(false);
    AutoRunItem = item(ModelItem, "Пересчитывать при &изменении");
    AutoRunItem->setCheckable(true);
    ModelItem->addSeparator();
    ParametrItem = item(ModelItem, "Пара&метры...");
    LedgerItem = item(ModelItem, "&Баланс по этапам");
    AmbiguityItem = item(ModelItem, "&Функция неопределенности");
    SweepItem = item(ModelItem, "Се&рия по параметру");
    DetectionItem = item(ModelItem, "&Обнаружение");
    ImageItem = menuBar()->addMenu(QStringLiteral("&Изображение"));
    SaveItem = item(ImageItem, "&Сохранить", QKeySequence(Qt::CTRL | Qt::Key_S));
    ImageItem->addSeparator();
    ImageSizeItem = item(ImageItem, "&Размер");
    ImageItem->addSeparator();
    ImageOptionItem = item(ImageItem, "&Настройки...");
    ImageItem->addSeparator();
    WholeSignalItem = item(ImageItem, "&Весь сигнал");
    ZoomBackItem = item(ImageItem, "&Предыдущий масштаб", QKeySequence(Qt::Key_Backspace));
    ImageItem->addSeparator();
    PeakCursorItem = item(ImageItem, "Курсор на пи&к", QKeySequence(Qt::Key_P));
    ClearCursorsItem = item(ImageItem, "Убрать к&урсоры");
    ImageItem->addSeparator();
    HoldReferenceItem = item(ImageItem, "&Запомнить как эталон");
    DropReferenceItem = item(ImageItem, "Убрать &эталон");
    HelpItem = menuBar()->addMenu(QStringLiteral("&Справка"));
    GuideItem = item(HelpItem, "&Руководство", QKeySequence(Qt::Key_F1));
    // F1 from any of the program's windows, the tool windows too.
    GuideItem->setShortcutContext(Qt::ApplicationShortcut);
    HelpItem->addSeparator();
    N1 = item(HelpItem, "&Проверить обновление");
    N7 = item(HelpItem, "С&качать описание имитационной модели");
    HelpItem->addSeparator();
    N4 = item(HelpItem, "&Все программы");
    N6 = item(HelpItem, "&Открыть сайт разработчика");
    HelpItem->addSeparator();
    N8 = item(HelpItem, "По&ддержка");
    HelpItem->addSeparator();
    AboutItem = item(HelpItem, "О про&грамме...");
    // Escape belongs to one item at a time (ShowEscape).
    ShowEscape();
    // The menus' letters work on a Latin layout too.
    InstallLayoutFreeMnemonics(this);

    connect(NewScenarioItem, &QAction::triggered, this, &MainWindow::NewScenarioItemClick);
    connect(ZoomBackItem, &QAction::triggered, this, &MainWindow::ZoomBackItemClick);
    connect(PeakCursorItem, &QAction::triggered, this, &MainWindow::PeakCursorItemClick);
    connect(ClearCursorsItem, &QAction::triggered, this, &MainWindow::ClearCursorsItemClick);
    connect(GuideItem, &QAction::triggered, this, &MainWindow::GuideItemClick);
    connect(OpenScenarioItem, &QAction::triggered, this, &MainWindow::OpenScenarioItemClick);
    connect(SaveScenarioItem, &QAction::triggered, this, &MainWindow::SaveScenarioItemClick);
    connect(ExitItem, &QAction::triggered, this, &MainWindow::ExitItemClick);
    connect(StartItem, &QAction::triggered, this, &MainWindow::StartSpeedButtonClick);
    connect(StopItem, &QAction::triggered, this, &MainWindow::StopItemClick);
    connect(AutoRunItem, &QAction::toggled, this, &MainWindow::AutoRunItemClick);
    connect(ParametrItem, &QAction::triggered, this, &MainWindow::ParametrItemClick);
    connect(LedgerItem, &QAction::triggered, this, &MainWindow::LedgerItemClick);
    connect(AmbiguityItem, &QAction::triggered, this, &MainWindow::AmbiguityItemClick);
    connect(SweepItem, &QAction::triggered, this, &MainWindow::SweepItemClick);
    connect(DetectionItem, &QAction::triggered, this, &MainWindow::DetectionItemClick);
    connect(SaveItem, &QAction::triggered, this, &MainWindow::SaveToFileSpeedButtonClick);
    connect(ImageSizeItem, &QAction::triggered, this, &MainWindow::ImageSizeItemClick);
    connect(ImageOptionItem, &QAction::triggered, this, &MainWindow::ImageOptionItemClick);
    connect(WholeSignalItem, &QAction::triggered, this, &MainWindow::WholeSignalItemClick);
    connect(HoldReferenceItem, &QAction::triggered, this, &MainWindow::HoldReferenceItemClick);
    connect(DropReferenceItem, &QAction::triggered, this, &MainWindow::DropReferenceItemClick);
    connect(N1, &QAction::triggered, this, &MainWindow::N1Click);
    connect(N7, &QAction::triggered, this, &MainWindow::N7Click);
    connect(N4, &QAction::triggered, this, &MainWindow::N4Click);
    connect(N6, &QAction::triggered, this, &MainWindow::N6Click);
    connect(N8, &QAction::triggered, this, &MainWindow::N8Click);
    connect(AboutItem, &QAction::triggered, this, &MainWindow::AboutItemClick);
}

void MainWindow::SetWindows(QWidget* parametersWindow, PictureSizeWindow* sizeWindow,
                           PictureSettingsWindow* settingsWindow, AboutWindow* aboutWindow)
{
    parametersWindow_ = parametersWindow;
    sizeWindow_ = sizeWindow;
    settingsWindow_ = settingsWindow;
    aboutWindow_ = aboutWindow;
    if (sizeWindow_) sizeWindow_->pictureArea = [this] { return PictureAreaSize(); };
}

void MainWindow::SetMirrors(QCheckBox* filterOn, QCheckBox* noiseOn, QCheckBox* normOn)
{
    filterOnMirror_ = filterOn;
    noiseOnMirror_ = noiseOn;
    normOnMirror_ = normOn;
}

QSize MainWindow::PictureAreaSize() const
{
    return PictureArea->size();
}

QString MainWindow::StatusText() const
{
    return StatusPanel->text();
}

QString MainWindow::ReadoutText() const
{
    return ReadoutPanel->text();
}

void MainWindow::ShowReadout()
{
    // Over a plot the point under the mouse; elsewhere the cursors, or the peak.
    const bool overPlot = mouseAt_ && state.ShownPlotAt(mouseAt_->x(), mouseAt_->y()) != PlotKind::None;
    std::string text;
    if (overPlot)
        text = readout_.At(state, mouseAt_->x(), mouseAt_->y());
    else if (state.Shown() && state.PlotsOnPicture() && state.Cursors().Any())
        text = CursorReadoutText(*state.Shown(), ReadCursors(*state.Shown(), state.Cursors()));
    if (!overPlot && text.empty()) text = readout_.Peak(state);
    const QString q = Q(text);
    if (ReadoutPanel->text() != q) {
        ReadoutPanel->setText(q);
        // A line longer than the panel is read whole from its tooltip.
        ReadoutPanel->setToolTip(q);
    }
}

void MainWindow::ShowStatus()
{
    const QString text = Q(state.statusText);
    if (StatusPanel->text() != text) {
        StatusPanel->setText(text);
        ModelStatusBar->repaint();
    }
}

void MainWindow::SyncFromState()
{
    Select(ModelComboBox, state.modelItem);
    Select(PathComboBox, state.pathStage);

    // The evaluation window, while shown, takes the run controls away.
    const bool locked = state.evaluationShown;
    SetGreyed(ModelComboBox, locked);
    SetGreyed(PathComboBox, locked || !state.pathEnabled);
    PrevPathSpeedButton->setEnabled(!locked && state.prevEnabled);
    NextPathSpeedButton->setEnabled(!locked && state.nextEnabled);
    StartSpeedButton->setEnabled(!locked);
    StartItem->setEnabled(!locked);
    if (AutoRunItem->isChecked() != state.autoRun) {
        const QSignalBlocker block(AutoRunItem);
        AutoRunItem->setChecked(state.autoRun);
    }
    OpenScenarioItem->setEnabled(!locked);
    for (QCheckBox* box : {FilterCheckBox, NoiseCheckBox, NormCheckBox}) box->setEnabled(!locked);

    // Setting a switch to a new state raises its click, as a click on its
    // partner in the parameters window does; the handler is idempotent.
    if (FilterCheckBox->isChecked() != state.params.filterOn) FilterCheckBox->setChecked(state.params.filterOn);
    if (NoiseCheckBox->isChecked() != state.params.noiseOn) NoiseCheckBox->setChecked(state.params.noiseOn);
    if (NormCheckBox->isChecked() != state.params.normOn) NormCheckBox->setChecked(state.params.normOn);

    ImageItem->menuAction()->setEnabled(state.imageMenuEnabled);
    WholeSignalItem->setEnabled(state.imageMenuEnabled && state.zoom.Active());
    ZoomBackItem->setEnabled(state.imageMenuEnabled && state.CanZoomBack());
    PeakCursorItem->setEnabled(state.imageMenuEnabled && state.PlotsOnPicture());
    ClearCursorsItem->setEnabled(state.Cursors().Any());
    NewScenarioItem->setEnabled(!locked);
    ShowEscape();
    HoldReferenceItem->setEnabled(state.imageMenuEnabled && state.CanHoldReference());
    DropReferenceItem->setEnabled(state.Reference() != nullptr);
    ShowStatus();
    ShowReadout();
    LayoutPicture();
    ResultImage->update();
    FollowChanges();
}

void MainWindow::Changed()
{
    if (bus) emit bus->changed();
    else SyncFromState();
}

void MainWindow::ModelComboBoxChange(int item)
{
    if (item < 0) return;
    state.SelectModel(item);
    Changed();
}

void MainWindow::PathComboBoxChange(int item)
{
    if (item < 0) return;
    state.SelectPath(item);
    Changed();
}

void MainWindow::PrevPathSpeedButtonClick()
{
    state.PrevPath();
    Changed();
}

void MainWindow::NextPathSpeedButtonClick()
{
    state.NextPath();
    Changed();
}

void MainWindow::StartSpeedButtonClick()
{
    if (Running()) {
        StopItemClick();
        return;
    }
    StartRun(false);
}

void MainWindow::StopItemClick()
{
    // The button shows "Стоп" until the run has really ended, which its next
    // checkpoint sees within milliseconds; the poll then finishes it.
    if (Running()) run_.Stop();
}

void MainWindow::StopRun()
{
    if (!Running()) return;
    autoRunTimer_->stop();
    run_.StopAndFinish();
}

void MainWindow::WaitForRun() { run_.WaitForRun(); }

void MainWindow::AutoRunItemClick(bool on)
{
    state.autoRun = on;
    Changed();
}

void MainWindow::StartRun(bool automatic)
{
    if (state.evaluationShown) return;
    pending_ = RunResult{};
    pendingAutomatic_ = automatic;
    lastRequest_ = state.Request();
    lastSettings_ = state.settings;
    ShowRunning(true);
    const RunRequest request = *lastRequest_;
    run_.Start([this, request](RunControl& control) { pending_ = RunEcho(request, control); }, runSeam);
}

void MainWindow::ShowProgress(const RunControl& control)
{
    if (run_.Elapsed() < std::chrono::milliseconds(kProgressDelayMs)) return;
    RunProgressBar->setFormat(Q(control.StepName()) + QStringLiteral(" %p%"));
    RunProgressBar->setValue(control.Percent());
    RunProgressBar->show();
}

void MainWindow::FinishRun()
{
    ShowRunning(false);
    RunResult result = std::move(pending_);
    pending_ = RunResult{};
    if (result.stopped) {
        // A stopped run leaves the picture, the state and the status alone.
        Changed();
        return;
    }
    std::string error;
    try {
        state.Finish(result);
    } catch (const std::exception& e) {
        error = FailureMessage(e);
    }
    // A run the user did not ask for by Start reports in the status bar, not
    // in a box at every keystroke.
    if (!error.empty() && pendingAutomatic_) state.statusText = error;
    // The picture shows what was drawn, also up to a failure.
    ResultImage->update();
    Changed();
    emit started();
    if (!error.empty() && !pendingAutomatic_) ShowError(this, error);
}

void MainWindow::ShowRunning(bool running)
{
    runningShown_ = running;
    StartSpeedButton->setIcon(style()->standardIcon(running ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    StartSpeedButton->setToolTip(running ? QStringLiteral("Стоп") : QStringLiteral("Пуск"));
    StopItem->setEnabled(running);
    ShowEscape();
    if (!running) {
        RunProgressBar->hide();
        RunProgressBar->setValue(0);
    }
}

void MainWindow::FollowChanges()
{
    if (!state.autoRun || state.evaluationShown) return;
    if (!lastRequest_ || !state.Request().SameRun(*lastRequest_)) {
        if (!autoRunTimer_->isActive()) autoRunTimer_->start(kAutoRunIntervalMs);
        return;
    }
    // The same run, other colours, scale or ticks: the kept plots again.
    if (!Running() && !state.settings.DrawsLike(lastSettings_)) {
        lastSettings_ = state.settings;
        if (state.Shown() && state.imageMenuEnabled) Redraw([this] { state.RedrawShown(); });
    }
}

void MainWindow::Mirror(QCheckBox* partner, bool on)
{
    if (partner && partner->isChecked() != on) partner->setChecked(on);
}

void MainWindow::FilterCheckBoxClick(bool on)
{
    state.params.filterOn = on;
    Mirror(filterOnMirror_, on);
    Changed();
}

void MainWindow::NoiseCheckBoxClick(bool on)
{
    state.params.noiseOn = on;
    Mirror(noiseOnMirror_, on);
    Changed();
}

void MainWindow::NormCheckBoxClick(bool on)
{
    state.params.normOn = on;
    Mirror(normOnMirror_, on);
    Changed();
}

void MainWindow::ShowToolWindow(QWidget* window)
{
    if (!window) return;
    if (showToolWindow) {
        showToolWindow(window);
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::ParametrItemClick()
{
    ShowToolWindow(parametersWindow_);
}

void MainWindow::LedgerItemClick()
{
    ShowToolWindow(ledgerWindow_);
}

void MainWindow::GuideItemClick()
{
    ShowToolWindow(guideWindow_);
}

void MainWindow::AmbiguityItemClick()
{
    ShowToolWindow(ambiguityWindow_);
}

void MainWindow::SweepItemClick()
{
    if (openSweep_) openSweep_(0);
}

void MainWindow::DetectionItemClick()
{
    if (openSweep_) openSweep_(1);
}

void MainWindow::ExitItemClick()
{
    close();
}

namespace {

const QString kScenarioFilter = QStringLiteral("Сценарий (*.svr)");

}  // namespace

void MainWindow::NewScenarioItemClick()
{
    if (state.evaluationShown) return;
    // A run on the picture goes with the defaults: asked first.
    if (state.imageMenuEnabled) {
        const bool goOn = confirmNewScenario
                              ? confirmNewScenario()
                              : QMessageBox::question(this, QStringLiteral("Новый сценарий"),
                                                      QStringLiteral("Вернуть все настройки к значениям по "
                                                                     "умолчанию? Изображение будет очищено."),
                                                      QMessageBox::Yes | QMessageBox::No,
                                                      QMessageBox::No) == QMessageBox::Yes;
        if (!goOn) return;
    }
    NewScenario();
}

void MainWindow::NewScenario()
{
    if (state.evaluationShown) return;
    StopRun();
    const Scenario defaults;
    const PictureSizing sizingBefore = sizing;
    try {
        const QSize area = PictureAreaSize();
        sizing.ApplyChoice(defaults.size, state.picture, area.width(), area.height(),
                           defaults.settings.PlotBackColor);
    } catch (const std::bad_alloc&) {
        sizing = sizingBefore;
        ShowError(this, msg::kOutOfMemory);
        return;
    }
    defaults.ApplyTo(state);
    state.params.realSizeText = defaults.params.realSizeText;
    state.params.paddedSizeText = defaults.params.paddedSizeText;
    state.params.bytesText = defaults.params.bytesText;
    state.RealSignalSize = state.SignalSize = 0;
    state.scene.StartAfresh();
    // The picture as at start: black, nothing to save or restyle yet.
    state.picture.Fill(kBlack);
    state.imageMenuEnabled = false;
    lastRequest_.reset();
    state.statusText = "Восстановлены значения по умолчанию";
    Changed();
}

void MainWindow::OpenScenarioItemClick()
{
    const QString name = chooseScenarioFile
                             ? chooseScenarioFile(false, lastScenarioName)
                             : QFileDialog::getOpenFileName(this, QStringLiteral("Открыть сценарий"),
                                                            lastScenarioName, kScenarioFilter);
    if (!name.isEmpty()) OpenScenario(S(name));
}

void MainWindow::SaveScenarioItemClick()
{
    QString name;
    if (chooseScenarioFile) {
        name = chooseScenarioFile(true, lastScenarioName);
    } else {
        QString filter = kScenarioFilter;
        name = AskSaveName(this, QStringLiteral("Сохранить сценарий"), lastScenarioName, {kScenarioFilter}, filter,
                           QStringLiteral("svr"),
                           [](const QString& chosen, const QString&) { return Q(WithScenarioExtension(S(chosen))); });
    }
    if (!name.isEmpty()) SaveScenario(S(name));
}

bool MainWindow::OpenScenario(const std::string& path)
{
    // The evaluation window holds the run controls while it is shown.
    if (state.evaluationShown) return false;
    const PictureSizing sizingBefore = sizing;
    try {
        const ScenarioRead read = ReadScenarioFile(path);
        // The size goes first: it is the one step that can still fail (memory),
        // and the file must then change nothing.
        const QSize area = PictureAreaSize();
        sizing.ApplyChoice(read.scenario.size, state.picture, area.width(), area.height(),
                           read.scenario.settings.PlotBackColor);
        read.scenario.ApplyTo(state);
        PictureMayHaveChanged(sizingBefore.pictureChanges);
        state.statusText = OpenedNote(path, read.unknownKeys);
        lastScenarioName = Q(path);
    } catch (const SonavirError& e) {
        ShowError(this, e.what());
        return false;
    } catch (const std::bad_alloc&) {
        sizing = sizingBefore;
        ShowError(this, msg::kOutOfMemory);
        return false;
    }
    Changed();
    return true;
}

void MainWindow::SaveScenario(const std::string& chosenName)
{
    const std::string path = WithScenarioExtension(chosenName);
    lastScenarioName = Q(path);
    try {
        WriteScenarioFile(path, Scenario::Capture(state, sizing.Choice()));
    } catch (const SonavirError& e) {
        ShowError(this, e.what());
    } catch (const std::bad_alloc&) {
        ShowError(this, msg::kOutOfMemory);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    StopRun();
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    LayoutToolPanel();
}

void MainWindow::LayoutPicture()
{
    const QRect target(0, 0, sizing.ControlWidth(PictureArea->width()),
                       sizing.ControlHeight(PictureArea->height()));
    if (ResultImage->geometry() != target) ResultImage->setGeometry(target);
}

void MainWindow::PictureAreaResized()
{
    // FormResize: in auto size the picture takes the new size and is blank
    // until the next run, unless a zoom has it drawn again at once.
    const unsigned before = sizing.pictureChanges;
    try {
        sizing.Resize(state.picture, PictureArea->width(), PictureArea->height(),
                      state.settings.PlotBackColor);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
    PictureMayHaveChanged(before);
    LayoutPicture();
    ResultImage->update();
    ShowReadout();
}

void MainWindow::PictureMayHaveChanged(unsigned changesBefore)
{
    if (sizing.pictureChanges == changesBefore) return;
    try {
        state.PictureResized();
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
}

void MainWindow::ImageOptionItemClick()
{
    if (settingsWindow_) settingsWindow_->OpenModal();
    Changed();
}

void MainWindow::ImageSizeItemClick()
{
    const unsigned before = sizing.pictureChanges;
    if (sizeWindow_) sizeWindow_->exec();
    PictureMayHaveChanged(before);
    Changed();
}

void MainWindow::Redraw(const std::function<void()>& change)
{
    try {
        change();
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
    ResultImage->update();
    Changed();
}

void MainWindow::ResultImagePress(QPoint position, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    clickTimer_->stop();
    const PlotKind plot = state.imageMenuEnabled ? state.ShownPlotAt(position.x(), position.y()) : PlotKind::None;
    if (plot != PlotKind::None) {
        if (button == Qt::LeftButton && (modifiers & Qt::ShiftModifier)) {
            Redraw([&] { state.PlaceCursor(plot, position.x()); });
            return;
        }
        // A drag or a click: the release tells.
        const bool pan = button == Qt::MiddleButton || (button == Qt::LeftButton && (modifiers & Qt::ControlModifier));
        if (button == Qt::LeftButton || pan) {
            drag_ = Drag{plot, position, false, pan, position, button};
            return;
        }
    }
    if (button == Qt::MiddleButton) return;
    ResultImageMouseDown(position);
}

void MainWindow::ResultImageWheel(QPoint position, int angleDelta)
{
    const PlotKind plot = state.imageMenuEnabled ? state.ShownPlotAt(position.x(), position.y()) : PlotKind::None;
    if (plot == PlotKind::None || angleDelta == 0) return;
    // Notches close together are one step of the history.
    const bool continuing = wheelTimer_->isActive();
    wheelTimer_->start(kWheelJoinMs);
    const long double factor = std::pow(static_cast<long double>(kWheelStep), angleDelta / 120.0L);
    Redraw([&] { state.ZoomAround(plot, position.x(), factor, continuing); });
}

void MainWindow::ResultImageMove(QPoint position)
{
    mouseAt_ = position;
    if (drag_ && drag_->pan) {
        const bool continuing = drag_->moved;
        drag_->moved = drag_->moved || std::abs(position.x() - drag_->from.x()) >= kDragDistance;
        if (drag_->moved && position.x() != drag_->last.x()) {
            const int dx = position.x() - drag_->last.x();
            drag_->last = position;
            Redraw([&] { state.PanBy(drag_->plot, dx, continuing); });
        }
    } else if (drag_) {
        drag_->moved = drag_->moved || std::abs(position.x() - drag_->from.x()) >= kDragDistance;
        if (drag_->moved) {
            const PlotPlace place = PlaceOfPlot(state.picture, state.Shown()->axes, drag_->plot);
            const int x1 = std::clamp(std::min(position.x(), drag_->from.x()), place.X0, place.X0 + place.Wp);
            const int x2 = std::clamp(std::max(position.x(), drag_->from.x()), place.X0, place.X0 + place.Wp);
            ResultImage->SetSelection(QRect(QPoint(x1, place.frameTop), QPoint(x2, place.frameBottom)));
        }
    }
    ShowReadout();
}

void MainWindow::ResultImageRelease(QPoint position, Qt::MouseButton button)
{
    if (!drag_ || button != drag_->button) return;
    const Drag drag = *drag_;
    drag_.reset();
    ResultImage->SetSelection(std::nullopt);
    if (drag.pan) {
        // A pan that did not move is a click, as any other; the middle
        // button's is nothing.
        if (!drag.moved && drag.button == Qt::LeftButton) ResultImageMouseDown(drag.from);
        return;
    }
    if (drag.moved || std::abs(position.x() - drag.from.x()) >= kDragDistance) {
        Redraw([&] { state.ZoomToColumns(drag.plot, drag.from.x(), position.x()); });
    } else if (state.zoom.Of(drag.plot)) {
        // A double click on a zoomed plot must not open the settings first.
        clickAt_ = drag.from;
        clickTimer_->start(QApplication::doubleClickInterval());
    } else {
        ResultImageMouseDown(drag.from);
    }
}

void MainWindow::ResultImageDoubleClick(QPoint position)
{
    // The second press came just before; its release is no click.
    clickTimer_->stop();
    drag_.reset();
    const PlotKind plot = state.ShownPlotAt(position.x(), position.y());
    if (plot == PlotKind::None || !state.zoom.Of(plot)) return;
    Redraw([&] { state.SetZoom(plot, std::nullopt); });
}

void MainWindow::ResultImageLeave()
{
    mouseAt_.reset();
    ShowReadout();
}

void MainWindow::WholeSignalItemClick()
{
    Redraw([this] { state.ShowWholeRun(); });
}

void MainWindow::ZoomBackItemClick()
{
    Redraw([this] { state.ZoomBack(); });
}

void MainWindow::PeakCursorItemClick()
{
    // The plot of the cursors, else the one under the mouse, else the waveform.
    PlotKind plot = mouseAt_ ? state.ShownPlotAt(mouseAt_->x(), mouseAt_->y()) : PlotKind::None;
    if (plot == PlotKind::None) plot = PlotKind::Time;
    Redraw([&] { state.CursorToPeak(plot); });
}

void MainWindow::ClearCursorsItemClick()
{
    Redraw([this] { state.ClearCursors(); });
}

void MainWindow::ShowEscape()
{
    QAction* owner = runningShown_              ? StopItem
                     : state.Cursors().Any()    ? ClearCursorsItem
                                                : WholeSignalItem;
    for (QAction* item : {StopItem, ClearCursorsItem, WholeSignalItem})
        item->setShortcut(item == owner ? QKeySequence(Qt::Key_Escape) : QKeySequence());
}

void MainWindow::HoldReferenceItemClick()
{
    try {
        state.HoldReference();
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
    Changed();
}

void MainWindow::DropReferenceItemClick()
{
    Redraw([this] { state.DropReference(); });
}

void MainWindow::ResultImageMouseDown(QPoint position)
{
    // Only once there is a result to restyle; the click's picture
    // coordinates become the window's screen position.
    if (!state.imageMenuEnabled || !settingsWindow_) return;
    settingsWindow_->OpenModal(position);
    Changed();
}

namespace {



}  // namespace

void MainWindow::SaveToFileSpeedButtonClick()
{
    // The dialog offers the filter chosen last, so that the name it offers
    // (saved under that filter) is written in the same format again.
    QString filter = lastSaveFilter.isEmpty() ? PictureFilters().front() : lastSaveFilter;
    // Asks before replacing a file, also one named by the extension added.
    const QString name = chooseSaveFile ? chooseSaveFile(lastSaveName, filter)
                                        : AskPictureName(this, QStringLiteral("Сохранить изображение"), lastSaveName, filter);
    if (name.isEmpty()) return;
    lastSaveFilter = filter;
    SaveToFile(name, PictureFormatOfFilter(filter));
}

void MainWindow::SaveToFile(const QString& chosenName, PictureFormat format)
{
    const std::string path = SaveFileName(S(chosenName), format);
    lastSaveName = Q(path);
    try {
        SavePicture(state.picture, format, path);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
}

void MainWindow::N1Click() { OpenAddress(UpdateCheckUrl()); }
void MainWindow::N7Click() { OpenAddress(ModelDescriptionUrl()); }
void MainWindow::N4Click() { OpenAddress(AllProgramsUrl()); }
void MainWindow::N6Click() { OpenAddress(SiteRootUrl()); }
void MainWindow::N8Click() { OpenAddress(SupportUrl()); }

void MainWindow::AboutItemClick()
{
    if (aboutWindow_) aboutWindow_->exec();
}

}  // namespace sonavir
