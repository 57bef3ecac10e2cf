#include "gui/SweepWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <charconv>

#include "files/OutputFiles.h"
#include "gui/ErrorBox.h"
#include "gui/MainWindow.h"
#include "gui/QtText.h"
#include "gui/SaveDialogs.h"
#include "gui/WindowBus.h"
#include "model/Scenario.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kCellDigits = 6;

const char* kTableFilter = "Таблица CSV (*.csv)";

QComboBox* StageList(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    for (const auto& item : MainState::PathItems()) combo->addItem(Q(item));
    return combo;
}

void SetText(QLineEdit* edit, const std::string& text)
{
    if (edit->text() != Q(text)) {
        const QSignalBlocker block(edit);
        edit->setText(Q(text));
        // A long list shows its beginning, not where a typist would stop.
        edit->setCursorPosition(0);
    }
}

void SetIndex(QComboBox* combo, int index)
{
    if (combo->currentIndex() != index) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
}

template <typename Widget, typename Value>
void SetValue(Widget* w, Value v)
{
    const QSignalBlocker block(w);
    if constexpr (std::is_same_v<Widget, QCheckBox> || std::is_same_v<Widget, QRadioButton>) w->setChecked(v);
    else w->setValue(static_cast<int>(v));
}

QTableWidget* Table(QWidget* parent)
{
    auto* table = new QTableWidget(parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::ContiguousSelection);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->verticalHeader()->hide();
    return table;
}

QTableWidgetItem* Cell(const std::optional<long double>& v)
{
    auto* item = new QTableWidgetItem(v ? Q(FormatGeneral(*v, kCellDigits)) : QString());
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString Db(const std::optional<long double>& v)
{
    return v ? Q(FormatGeneral(*v, 4)) + QStringLiteral(" дБ") : QStringLiteral("—");
}

}  // namespace

// ---------------------------------------------------------------- chart picture

ChartPictureWidget::ChartPictureWidget(const PictureSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings)
{
    setMinimumSize(kMinPictureWidth / 2, 160);
    image = new ResultImageWidget(picture, this);
    image->onMouseDown = [this](QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers) {
        const int panel = scene.PanelAt(p.x(), p.y());
        if (button == Qt::LeftButton && panel >= 0) drag_ = std::pair{panel, p.x()};
    };
    image->onMouseMove = [this](QPoint p) {
        if (drag_) {
            const ChartPanelPlace& place = scene.Layout().panels[static_cast<std::size_t>(drag_->first)];
            const int x1 = std::clamp(std::min(p.x(), drag_->second), place.left, place.right);
            const int x2 = std::clamp(std::max(p.x(), drag_->second), place.left, place.right);
            image->SetSelection(QRect(QPoint(x1, place.top), QPoint(x2, place.bottom)));
        }
        if (onReadout) onReadout(Q(scene.Readout(p.x(), p.y())));
    };
    image->onMouseUp = [this](QPoint p, Qt::MouseButton button) {
        if (!drag_ || button != Qt::LeftButton) return;
        const auto [panel, from] = *drag_;
        drag_.reset();
        image->SetSelection(std::nullopt);
        const auto before = scene.zoom;
        scene.ZoomToColumns(panel, from, p.x());
        if (scene.zoom != before) Redraw();
    };
    image->onDoubleClick = [this](QPoint) {
        drag_.reset();
        if (!scene.zoom) return;
        scene.zoom.reset();
        Redraw();
    };
    image->onLeave = [this] {
        if (onReadout) onReadout(QString());
    };
    picture.Fill(settings_.PlotBackColor);
}

void ChartPictureWidget::SetChart(XYChart chart)
{
    scene.chart = std::move(chart);
    scene.zoom.reset();
    Redraw();
}

void ChartPictureWidget::Redraw()
{
    try {
        scene.Draw(picture, settings_);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
    image->update();
}

void ChartPictureWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    image->setGeometry(rect());
    try {
        picture.SetSize(std::max(1, width()), std::max(1, height()));
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
        return;
    }
    Redraw();
}

// ---------------------------------------------------------------- the window

SweepWindow::SweepWindow(MainState& main, WindowBus* bus, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), bus_(bus)
{
    setWindowTitle(QStringLiteral("Серия по параметру"));
    setObjectName(QStringLiteral("sweepWindow"));
    Tabs = new QTabWidget(this);
    Tabs->addTab(BuildSweepPage(), QStringLiteral("Серия"));
    Tabs->addTab(BuildDetectionPage(), QStringLiteral("Обнаружение"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->addWidget(Tabs);
    work_.onProgress = [this](const RunControl& control) {
        QProgressBar* bar = workIsSweep_ ? SweepProgressBar : DetectProgressBar;
        bar->setFormat(Q(control.StepName()) + QStringLiteral(" %p%"));
        bar->setValue(control.Percent());
    };
    // The results say themselves whether they were stopped.
    work_.onFinished = [this](bool) { FinishWork(); };

    setMinimumSize(800, 560);
    QSize size(1000, 720);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = size.boundedTo(area.size() - QSize(24, 48));
        resize(size);
        move(area.center() - QPoint(width() / 2, height() / 2));
    } else {
        resize(size);
    }
    SyncFromState();
}

QWidget* SweepWindow::BuildSweepPage()
{
    auto* page = new QWidget;
    auto* controls = new QWidget(page);
    auto* form = new QFormLayout(controls);
    form->setContentsMargins(0, 0, 0, 0);

    ParamComboBox = new QComboBox(controls);
    CurveParamComboBox = new QComboBox(controls);
    CurveParamComboBox->addItem(QStringLiteral("—"));
    for (const std::string& name : SweepParameterNames()) {
        ParamComboBox->addItem(Q(name));
        CurveParamComboBox->addItem(Q(name));
    }
    ParamComboBox->setToolTip(QStringLiteral("Параметр серии: имя из сценария и --set"));
    form->addRow(QStringLiteral("Параметр"), ParamComboBox);

    ListRadioButton = new QRadioButton(QStringLiteral("Списком"), controls);
    ValuesEdit = new QLineEdit(controls);
    ValuesEdit->setToolTip(QStringLiteral("Значения через ';', как в поле параметра: 128;256;1024"));
    form->addRow(ListRadioButton, ValuesEdit);
    RangeRadioButton = new QRadioButton(QStringLiteral("Диапазоном"), controls);
    auto* range = new QWidget(controls);
    auto* rangeRow = new QHBoxLayout(range);
    rangeRow->setContentsMargins(0, 0, 0, 0);
    FromEdit = new QLineEdit(range);
    ToEdit = new QLineEdit(range);
    CountSpinEdit = new QSpinBox(range);
    CountSpinEdit->setRange(2, kMaxSweepPoints);
    CountSpinEdit->setToolTip(QStringLiteral("Число точек"));
    rangeRow->addWidget(FromEdit);
    rangeRow->addWidget(new QLabel(QStringLiteral("…"), range));
    rangeRow->addWidget(ToEdit);
    rangeRow->addWidget(CountSpinEdit);
    form->addRow(RangeRadioButton, range);
    LogCheckBox = new QCheckBox(QStringLiteral("Логарифмически"), controls);
    LogCheckBox->setToolTip(QStringLiteral("Точки диапазона и ось параметра в логарифмическом масштабе"));
    form->addRow(QString(), LogCheckBox);
    form->addRow(QStringLiteral("Кривые по"), CurveParamComboBox);
    CurveValuesEdit = new QLineEdit(controls);
    CurveValuesEdit->setToolTip(QStringLiteral("Значения параметра кривых через ';'"));
    form->addRow(QStringLiteral("Значения кривых"), CurveValuesEdit);
    SweepStageComboBox = StageList(controls);
    form->addRow(QStringLiteral("Этап"), SweepStageComboBox);
    MeasureList = new QListWidget(controls);
    for (const std::string& name : SweepMeasureNames()) {
        auto* item = new QListWidgetItem(Q(MeasureTitle(name)), MeasureList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    MeasureList->setMaximumHeight(MeasureList->sizeHintForRow(0) * 9 + 8);
    form->addRow(QStringLiteral("Величины"), MeasureList);

    SweepStartButton = new QPushButton(QStringLiteral("Пуск"), controls);
    SweepProgressBar = new QProgressBar(controls);
    SweepProgressBar->setRange(0, 100);
    SweepProgressBar->hide();
    form->addRow(SweepStartButton, SweepProgressBar);
    SweepTableButton = new QPushButton(QStringLiteral("Таблица…"), controls);
    SweepChartButton = new QPushButton(QStringLiteral("График…"), controls);
    form->addRow(SweepTableButton, SweepChartButton);
    HoldReferenceButton = new QPushButton(QStringLiteral("Запомнить эталон"), controls);
    DropReferenceButton = new QPushButton(QStringLiteral("Убрать эталон"), controls);
    form->addRow(HoldReferenceButton, DropReferenceButton);

    SweepChart = new ChartPictureWidget(main_.settings, page);
    SweepTable = Table(page);
    SweepReadout = new QLabel(page);
    SweepChart->onReadout = [this](const QString& text) { SweepReadout->setText(text); };
    auto* splitter = new QSplitter(Qt::Vertical, page);
    splitter->addWidget(SweepChart);
    splitter->addWidget(SweepTable);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(splitter, 1);
    right->addWidget(SweepReadout);
    auto* row = new QHBoxLayout(page);
    controls->setFixedWidth(330);
    auto* left = new QVBoxLayout;
    left->addWidget(controls);
    left->addStretch(1);
    row->addLayout(left);
    row->addLayout(right, 1);

    SweepSetup& s = main_.sweep;
    connect(ParamComboBox, &QComboBox::activated, this, [this, &s](int i) {
        s.param = S(ParamComboBox->itemText(i));
        Changed();
    });
    connect(CurveParamComboBox, &QComboBox::activated, this, [this, &s](int i) {
        s.curveParam = i == 0 ? std::string() : S(CurveParamComboBox->itemText(i));
        Changed();
    });
    const std::pair<QLineEdit*, std::string SweepSetup::*> texts[] = {{ValuesEdit, &SweepSetup::values},
                                                                      {FromEdit, &SweepSetup::from},
                                                                      {ToEdit, &SweepSetup::to},
                                                                      {CurveValuesEdit, &SweepSetup::curveValues}};
    for (const auto& [edit, field] : texts)
        connect(edit, &QLineEdit::textEdited, this, [this, &s, field = field](const QString& t) {
            s.*field = S(t);
            Changed();
        });
    connect(RangeRadioButton, &QRadioButton::toggled, this, [this, &s](bool on) {
        s.range = on;
        Changed();
    });
    connect(ListRadioButton, &QRadioButton::toggled, this, [this](bool on) {
        if (on == RangeRadioButton->isChecked()) RangeRadioButton->setChecked(!on);
    });
    connect(CountSpinEdit, &QSpinBox::valueChanged, this, [this, &s](int v) {
        s.count = v;
        Changed();
    });
    connect(LogCheckBox, &QCheckBox::toggled, this, [this, &s](bool on) {
        s.log = on;
        Changed();
    });
    connect(SweepStageComboBox, &QComboBox::activated, this, [this, &s](int i) {
        s.stage = i;
        Changed();
    });
    connect(MeasureList, &QListWidget::itemChanged, this, [this, &s] {
        if (syncing_) return;
        std::string list;
        for (int i = 0; i < MeasureList->count(); ++i)
            if (MeasureList->item(i)->checkState() == Qt::Checked)
                list += (list.empty() ? "" : ",") + SweepMeasureNames()[static_cast<std::size_t>(i)];
        s.measures = list;
        Changed();
    });
    connect(SweepStartButton, &QPushButton::clicked, this, &SweepWindow::SweepStartButtonClick);
    connect(SweepTableButton, &QPushButton::clicked, this, &SweepWindow::SweepTableButtonClick);
    connect(SweepChartButton, &QPushButton::clicked, this, &SweepWindow::SweepChartButtonClick);
    connect(HoldReferenceButton, &QPushButton::clicked, this, &SweepWindow::HoldReferenceButtonClick);
    connect(DropReferenceButton, &QPushButton::clicked, this, &SweepWindow::DropReferenceButtonClick);
    return page;
}

QWidget* SweepWindow::BuildDetectionPage()
{
    auto* page = new QWidget;
    auto* controls = new QWidget(page);
    auto* form = new QFormLayout(controls);
    form->setContentsMargins(0, 0, 0, 0);
    DetectStageComboBox = StageList(controls);
    form->addRow(QStringLiteral("Этап"), DetectStageComboBox);
    SnrEdit = new QLineEdit(controls);
    SnrEdit->setToolTip(QStringLiteral("ОСШ теории A²/(2σ²) на выходе фильтра, дБ, через ';'"));
    form->addRow(QStringLiteral("ОСШ, дБ"), SnrEdit);
    PfaEdit = new QLineEdit(controls);
    PfaEdit->setToolTip(QStringLiteral("Желаемые вероятности ложной тревоги через ';'"));
    form->addRow(QStringLiteral("Pfa"), PfaEdit);
    ThresholdComboBox = new QComboBox(controls);
    ThresholdComboBox->addItems({QStringLiteral("По Pfa, σ по фильтру"), QStringLiteral("По Pfa, σ измерена"),
                                 QStringLiteral("Уровнями в σ")});
    ThresholdComboBox->setToolTip(QStringLiteral("T = σ·√(−2·ln Pfa), σ огибающей шума по фильтру или "
                                                 "измеренная на испытаниях шума; или уровни T/σ"));
    form->addRow(QStringLiteral("Порог"), ThresholdComboBox);
    LevelsEdit = new QLineEdit(controls);
    LevelsEdit->setToolTip(QStringLiteral("Пороги в единицах σ огибающей шума через ';'"));
    form->addRow(QStringLiteral("Уровни, σ"), LevelsEdit);
    RocSnrEdit = new QLineEdit(controls);
    RocSnrEdit->setToolTip(QStringLiteral("ОСШ кривых обнаружения (Pd от Pfa), дБ, через ';'"));
    form->addRow(QStringLiteral("ROC: ОСШ, дБ"), RocSnrEdit);
    TrialsSpinEdit = new QSpinBox(controls);
    TrialsSpinEdit->setRange(1, 1000000);
    TrialsSpinEdit->setSingleStep(1000);
    form->addRow(QStringLiteral("Испытаний K"), TrialsSpinEdit);
    GateSpinEdit = new QSpinBox(controls);
    GateSpinEdit->setRange(0, 100000);
    GateSpinEdit->setToolTip(QStringLiteral("Строб: отсчеты по обе стороны от пика эхо-сигнала"));
    form->addRow(QStringLiteral("Строб ±, отсчетов"), GateSpinEdit);
    SeedCheckBox = new QCheckBox(QStringLiteral("Зерно"), controls);
    SeedEdit = new QLineEdit(controls);
    SeedEdit->setToolTip(QStringLiteral("С зерном испытания повторяются; без него каждый пуск берет новый шум"));
    form->addRow(SeedCheckBox, SeedEdit);
    WantedPdEdit = new QLineEdit(controls);
    WantedPdEdit->setToolTip(QStringLiteral("Pd, для которой находится нужное ОСШ"));
    form->addRow(QStringLiteral("Искомая Pd"), WantedPdEdit);
    DetectChartComboBox = new QComboBox(controls);
    DetectChartComboBox->addItems({QStringLiteral("Pd от ОСШ"), QStringLiteral("Pd от Pfa (ROC)")});
    form->addRow(QStringLiteral("График"), DetectChartComboBox);
    DetectStartButton = new QPushButton(QStringLiteral("Пуск"), controls);
    DetectProgressBar = new QProgressBar(controls);
    DetectProgressBar->setRange(0, 100);
    DetectProgressBar->hide();
    form->addRow(DetectStartButton, DetectProgressBar);
    DetectTableButton = new QPushButton(QStringLiteral("Таблица…"), controls);
    DetectChartButton = new QPushButton(QStringLiteral("График…"), controls);
    form->addRow(DetectTableButton, DetectChartButton);
    DetectSummary = new QLabel(controls);
    DetectSummary->setWordWrap(true);
    DetectSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    DetectChart = new ChartPictureWidget(main_.settings, page);
    DetectTable = Table(page);
    DetectReadout = new QLabel(page);
    DetectChart->onReadout = [this](const QString& text) { DetectReadout->setText(text); };
    auto* splitter = new QSplitter(Qt::Vertical, page);
    splitter->addWidget(DetectChart);
    splitter->addWidget(DetectTable);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(splitter, 1);
    right->addWidget(DetectReadout);
    controls->setFixedWidth(330);
    auto* left = new QVBoxLayout;
    left->addWidget(controls);
    left->addWidget(DetectSummary);
    DetectSummary->setFixedWidth(330);
    left->addStretch(1);
    auto* row = new QHBoxLayout(page);
    row->addLayout(left);
    row->addLayout(right, 1);

    DetectionSetup& d = main_.detection;
    const std::pair<QLineEdit*, std::string DetectionSetup::*> texts[] = {{SnrEdit, &DetectionSetup::snrDb},
                                                                          {PfaEdit, &DetectionSetup::pfa},
                                                                          {LevelsEdit, &DetectionSetup::levels},
                                                                          {RocSnrEdit, &DetectionSetup::rocSnrDb}};
    for (const auto& [edit, field] : texts)
        connect(edit, &QLineEdit::textEdited, this, [this, &d, field = field](const QString& t) {
            d.*field = S(t);
            Changed();
        });
    connect(DetectStageComboBox, &QComboBox::activated, this, [this, &d](int i) {
        d.stage = i;
        Changed();
    });
    connect(ThresholdComboBox, &QComboBox::activated, this, [this, &d](int i) {
        d.thresholdMode = i;
        Changed();
    });
    connect(TrialsSpinEdit, &QSpinBox::valueChanged, this, [this, &d](int v) {
        d.trials = v;
        Changed();
    });
    connect(GateSpinEdit, &QSpinBox::valueChanged, this, [this, &d](int v) {
        d.gate = v;
        Changed();
    });
    connect(SeedCheckBox, &QCheckBox::toggled, this, [this, &d](bool on) {
        d.seeded = on;
        Changed();
    });
    // Numbers that must parse whole: a text that does not is refused and
    // the field shows the value kept.
    connect(SeedEdit, &QLineEdit::editingFinished, this, [this, &d] {
        const std::string t = S(SeedEdit->text());
        std::uint32_t v = 0;
        const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || ec != std::errc() || ptr != t.data() + t.size()) {
            SetText(SeedEdit, std::to_string(d.seed));
            ShowError(this, "'" + t + "' is not a valid integer value");
            return;
        }
        d.seed = v;
        Changed();
    });
    connect(WantedPdEdit, &QLineEdit::editingFinished, this, [this, &d] {
        long double v = 0;
        const std::string t = S(WantedPdEdit->text());
        if (!TryStrToFloat(t, v) || !(v > 0 && v < 1)) {
            SetText(WantedPdEdit, FormatGeneral(d.wantedPd, 6));
            ShowError(this, "Искомая Pd: ожидается число больше 0 и меньше 1, получено '" + t + "'");
            return;
        }
        d.wantedPd = static_cast<double>(v);
        Changed();
    });
    connect(DetectChartComboBox, &QComboBox::activated, this, &SweepWindow::DetectChartComboBoxChange);
    connect(DetectStartButton, &QPushButton::clicked, this, &SweepWindow::DetectStartButtonClick);
    connect(DetectTableButton, &QPushButton::clicked, this, &SweepWindow::DetectTableButtonClick);
    connect(DetectChartButton, &QPushButton::clicked, this, &SweepWindow::DetectChartButtonClick);
    return page;
}

void SweepWindow::ShowTab(int tab)
{
    Tabs->setCurrentIndex(tab);
    show();
    raise();
    activateWindow();
}

void SweepWindow::Changed()
{
    if (syncing_) return;
    if (bus_) emit bus_->changed();
    else SyncFromState();
}

void SweepWindow::SyncFromState()
{
    syncing_ = true;
    const SweepSetup& s = main_.sweep;
    SetIndex(ParamComboBox, ParamComboBox->findText(Q(s.param)));
    SetIndex(CurveParamComboBox, s.curveParam.empty() ? 0 : CurveParamComboBox->findText(Q(s.curveParam)));
    SetText(ValuesEdit, s.values);
    SetText(FromEdit, s.from);
    SetText(ToEdit, s.to);
    SetText(CurveValuesEdit, s.curveValues);
    SetValue(RangeRadioButton, s.range);
    SetValue(ListRadioButton, !s.range);
    SetValue(CountSpinEdit, s.count);
    SetValue(LogCheckBox, s.log);
    SetIndex(SweepStageComboBox, s.stage);
    std::vector<std::string> chosen;
    try {
        chosen = ParseMeasures(s.measures);
    } catch (const SonavirError&) {
        // None ticked, or a name the list does not have: Start says which.
    }
    for (int i = 0; i < MeasureList->count(); ++i) {
        const bool on = std::find(chosen.begin(), chosen.end(), SweepMeasureNames()[static_cast<std::size_t>(i)]) !=
                        chosen.end();
        MeasureList->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    ValuesEdit->setEnabled(!s.range);
    for (QWidget* w : std::initializer_list<QWidget*>{FromEdit, ToEdit, CountSpinEdit}) w->setEnabled(s.range);
    CurveValuesEdit->setEnabled(!s.curveParam.empty());

    const DetectionSetup& d = main_.detection;
    SetIndex(DetectStageComboBox, d.stage);
    SetText(SnrEdit, d.snrDb);
    SetText(PfaEdit, d.pfa);
    SetText(LevelsEdit, d.levels);
    SetText(RocSnrEdit, d.rocSnrDb);
    SetIndex(ThresholdComboBox, d.thresholdMode);
    SetValue(TrialsSpinEdit, std::min<long long>(d.trials, TrialsSpinEdit->maximum()));
    SetValue(GateSpinEdit, d.gate);
    SetValue(SeedCheckBox, d.seeded);
    SetText(SeedEdit, std::to_string(d.seed));
    SetText(WantedPdEdit, FormatGeneral(d.wantedPd, 6));
    SeedEdit->setEnabled(d.seeded);
    LevelsEdit->setEnabled(d.thresholdMode == 2);
    PfaEdit->setEnabled(d.thresholdMode != 2);

    const bool running = Running();
    SweepTableButton->setEnabled(sweep_ && !sweep_->curves.empty());
    SweepChartButton->setEnabled(!SweepChart->scene.Empty());
    HoldReferenceButton->setEnabled(sweep_ && !sweep_->curves.empty());
    DropReferenceButton->setEnabled(reference_.has_value());
    DetectTableButton->setEnabled(detection_ && detection_->Done());
    DetectChartButton->setEnabled(!DetectChart->scene.Empty());
    SweepStartButton->setEnabled(!running || workIsSweep_);
    DetectStartButton->setEnabled(!running || !workIsSweep_);
    syncing_ = false;
}

// ---------------------------------------------------------------- runs

void SweepWindow::SweepStartButtonClick()
{
    if (Running()) {
        work_.Stop();
        return;
    }
    StartWork(true);
}

void SweepWindow::DetectStartButtonClick()
{
    if (Running()) {
        work_.Stop();
        return;
    }
    StartWork(false);
}

void SweepWindow::StartWork(bool sweep)
{
    workIsSweep_ = sweep;
    pendingSweep_ = SweepResult{};
    pendingDetection_ = DetectionResult{};
    ShowRunning(true);
    if (sweep) {
        const SweepRequest q = SweepRequest::Of(main_);
        work_.Start([this, q](RunControl& control) { pendingSweep_ = RunSweep(q, control); }, runSeam);
    } else {
        const DetectionRequest q = DetectionRequest::Of(main_);
        work_.Start([this, q](RunControl& control) { pendingDetection_ = RunDetection(q, control); }, runSeam);
    }
}

void SweepWindow::WaitForRun() { work_.WaitForRun(); }

void SweepWindow::StopRun() { work_.StopAndFinish(); }

void SweepWindow::FinishWork()
{
    ShowRunning(false);
    std::string error;
    const auto message = [](const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            return FailureMessage(e);
        }
    };
    if (workIsSweep_) {
        SweepResult r = std::move(pendingSweep_);
        if (r.stopped) return Changed();
        if (r.failure) error = message(r.failure);
        // A failed point still leaves the others to look at.
        if (!r.curves.empty()) {
            sweep_ = std::move(r);
            ShowSweep();
        }
    } else {
        DetectionResult r = std::move(pendingDetection_);
        if (r.stopped) return Changed();
        if (r.failure) error = message(r.failure);
        else {
            detection_ = std::move(r);
            ShowDetection();
        }
    }
    Changed();
    if (!error.empty()) ShowError(this, error);
}

void SweepWindow::ShowRunning(bool running)
{
    QPushButton* button = workIsSweep_ ? SweepStartButton : DetectStartButton;
    QProgressBar* bar = workIsSweep_ ? SweepProgressBar : DetectProgressBar;
    button->setText(running ? QStringLiteral("Стоп") : QStringLiteral("Пуск"));
    bar->setValue(0);
    bar->setFormat(QString());
    bar->setVisible(running);
    (workIsSweep_ ? DetectStartButton : SweepStartButton)->setEnabled(!running);
}

void SweepWindow::ShowSweep()
{
    const SweepResult& r = *sweep_;
    SweepChart->SetChart(sonavir::SweepChart(r, reference_ ? &*reference_ : nullptr));
    QStringList heads{Q(r.param)};
    if (!r.curveParam.empty()) heads << Q(r.curveParam);
    for (const auto& m : r.measures) heads << Q(MeasureTitle(m));
    SweepTable->clear();
    SweepTable->setColumnCount(static_cast<int>(heads.size()));
    SweepTable->setHorizontalHeaderLabels(heads);
    int rows = 0;
    for (const auto& c : r.curves) rows += static_cast<int>(c.points.size());
    SweepTable->setRowCount(rows);
    int row = 0;
    for (const auto& c : r.curves)
        for (const auto& p : c.points) {
            int col = 0;
            SweepTable->setItem(row, col++, new QTableWidgetItem(Q(p.text)));
            if (!r.curveParam.empty()) SweepTable->setItem(row, col++, new QTableWidgetItem(Q(c.text)));
            for (const auto& v : p.values) SweepTable->setItem(row, col++, Cell(v));
            ++row;
        }
    SweepTable->resizeColumnsToContents();
}

void SweepWindow::ShowDetection()
{
    const DetectionResult& r = *detection_;
    DetectChartComboBoxChange(DetectChartComboBox->currentIndex());
    const QStringList heads{QStringLiteral("ОСШ, дБ"),   QStringLiteral("Шум, пик/σ"), QStringLiteral("Pfa"),
                            QStringLiteral("Порог, σ"),  QStringLiteral("K"),          QStringLiteral("Pd"),
                            QStringLiteral("Pd от"),     QStringLiteral("Pd до"),      QStringLiteral("Pfa изм."),
                            QStringLiteral("Pfa от"),    QStringLiteral("Pfa до"),     QStringLiteral("Pd, Q Маркума"),
                            QStringLiteral("ОСШ по Альберсхейму, дБ")};
    DetectTable->clear();
    DetectTable->setColumnCount(static_cast<int>(heads.size()));
    DetectTable->setHorizontalHeaderLabels(heads);
    DetectTable->setRowCount(static_cast<int>(r.rows.size()));
    for (int i = 0; i < static_cast<int>(r.rows.size()); ++i) {
        const DetectionRow& x = r.rows[static_cast<std::size_t>(i)];
        const std::optional<long double> cells[] = {x.snrDb,
                                                    x.programSnr,
                                                    x.pfa,
                                                    x.level,
                                                    static_cast<long double>(x.trials),
                                                    x.Pd(),
                                                    x.pdInterval.low,
                                                    x.pdInterval.high,
                                                    x.PfaMeasured(),
                                                    x.pfaInterval.low,
                                                    x.pfaInterval.high,
                                                    x.pdTheory,
                                                    x.albersheimDb};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) DetectTable->setItem(i, c, Cell(cells[c]));
    }
    DetectTable->resizeColumnsToContents();

    QString text = QStringLiteral("σ огибающей шума: по фильтру %1, измерена %2; ячеек на независимую: %3.")
                       .arg(Q(FormatGeneral(r.scene.sigmaEnv, 5)),
                            r.sigmaEnvMeasured ? Q(FormatGeneral(*r.sigmaEnvMeasured, 5)) : QStringLiteral("—"),
                            Q(FormatGeneral(r.scene.correlation, 3)));
    text += QStringLiteral("\nОСШ для Pd = %1:").arg(Q(FormatGeneral(r.request.setup.wantedPd, 4)));
    for (const RequiredSnr& q : r.required)
        text += QStringLiteral("\nPfa = %1: испытания %2, Q Маркума %3, Альберсхейм %4")
                    .arg(Q(FormatGeneral(q.pfa, 3)), Db(q.measuredDb), Db(q.exactDb), Db(q.albersheimDb));
    DetectSummary->setText(text);
}

void SweepWindow::DetectChartComboBoxChange(int item)
{
    if (!detection_ || !detection_->Done()) return;
    DetectChart->SetChart(item == 1 ? RocChart(*detection_) : PdSnrChart(*detection_));
    Changed();
}

void SweepWindow::HoldReferenceButtonClick()
{
    if (!sweep_) return;
    reference_ = sweep_;
    ShowSweep();
    Changed();
}

void SweepWindow::DropReferenceButtonClick()
{
    reference_.reset();
    if (sweep_) ShowSweep();
    Changed();
}

// ---------------------------------------------------------------- files

void SweepWindow::SaveTable(const std::string& csv)
{
    QString filter = QString::fromUtf8(kTableFilter);
    const QString name = chooseSaveFile ? chooseSaveFile(QStringLiteral("Сохранить таблицу"), filter, filter)
                                        : AskSaveName(this, QStringLiteral("Сохранить таблицу"), lastTableName_,
                                                      {filter}, filter, QStringLiteral("csv"));
    if (name.isEmpty()) return;
    lastTableName_ = name;
    try {
        WriteFileAtomically(S(name), csv);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
}

void SweepWindow::SaveChart(const ChartPictureWidget& chart)
{
    QString filter = lastChartFilter_.isEmpty() ? PictureFilters().front() : lastChartFilter_;
    const QString name =
        chooseSaveFile ? chooseSaveFile(QStringLiteral("Сохранить график"), PictureFilters().join(QStringLiteral(";;")), filter)
                       : AskPictureName(this, QStringLiteral("Сохранить график"), lastChartName_, filter);
    if (name.isEmpty()) return;
    lastChartFilter_ = filter;
    const PictureFormat format = PictureFormatOfFilter(filter);
    const std::string path = SaveFileName(S(name), format);
    lastChartName_ = Q(path);
    try {
        SavePicture(chart.picture, format, path);
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
}

void SweepWindow::SweepTableButtonClick()
{
    if (sweep_) SaveTable(SweepCsv(*sweep_));
}

void SweepWindow::SweepChartButtonClick() { SaveChart(*SweepChart); }

void SweepWindow::DetectTableButtonClick()
{
    if (detection_) SaveTable(DetectionCsv(*detection_));
}

void SweepWindow::DetectChartButtonClick() { SaveChart(*DetectChart); }

void SweepWindow::closeEvent(QCloseEvent* event)
{
    StopRun();
    QWidget::closeEvent(event);
}

}  // namespace sonavir
