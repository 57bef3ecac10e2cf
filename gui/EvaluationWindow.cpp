#include "gui/EvaluationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <new>
#include <string>

#include "evaluation/SeriesRuns.h"
#include "gui/ErrorBox.h"
#include "gui/QtText.h"
#include "gui/WindowBus.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

constexpr int kClientWidth = 560;
constexpr int kClientHeight = 331;
constexpr int kSeriesCaptionWidth = 64;
constexpr int kSeriesPointWidth = 35;
constexpr int kSeriesRowHeight = 20;
constexpr int kResultDefaultWidth = 80;
constexpr int kResultWidths[] = {80, 70, 71, 73, 77, 80, 80};
constexpr int kResultHeights[] = {24, 18, 18, 18, 18, 17, 18, 17, 17};

// A grid in the manner of a string grid: no Qt headers, the first row and
// column are ordinary cells that look like buttons and cannot be edited.
QTableWidget* MakeGrid(QWidget* parent, int rows, int defaultWidth, int defaultHeight)
{
    auto* grid = new QTableWidget(rows, 1, parent);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(4);
    grid->verticalHeader()->setMinimumSectionSize(4);
    grid->horizontalHeader()->setDefaultSectionSize(defaultWidth);
    grid->verticalHeader()->setDefaultSectionSize(defaultHeight);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setTabKeyNavigation(true);
    grid->setWordWrap(false);
    // Cells clip their text like a string grid instead of eliding it.
    grid->setTextElideMode(Qt::ElideNone);
    return grid;
}

}  // namespace

EvaluationWindow::EvaluationWindow(MainState& main, EvaluationState& eval, WindowBus* bus, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      main_(main), eval_(eval), bus_(bus)
{
    setWindowTitle(Q("Согласованный фильтр"));
    setFixedSize(kClientWidth, kClientHeight);
    // The layout is in fixed pixels, so the texts get a small sans face that
    // fits the narrow table columns.
    QFont small = font();
    small.setFamilies({"Arial", "Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
    small.setPixelSize(11);
    setFont(small);

    ModelComboBox = new QComboBox(this);
    ModelComboBox->setObjectName("ModelComboBox");
    for (const auto& item : EvaluationState::PropagationItems()) ModelComboBox->addItem(Q(item));
    ModelComboBox->setGeometry(8, 8, 137, 21);

    ModeComboBox = new QComboBox(this);
    ModeComboBox->setObjectName("ModeComboBox");
    ModeComboBox->setEditable(true);
    ModeComboBox->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& item : EvaluationState::ModeItems()) ModeComboBox->addItem(Q(item));
    ModeComboBox->setGeometry(160, 8, 257, 21);

    FilterNormCheckBox = new QCheckBox(Q("Нормировка"), this);
    FilterNormCheckBox->setObjectName("FilterNormCheckBox");
    FilterNormCheckBox->setGeometry(448, 10, 97, 17);

    ModelStringGrid = MakeGrid(this, 3, kSeriesPointWidth, kSeriesRowHeight);
    ModelStringGrid->setObjectName("ModelStringGrid");
    ModelStringGrid->setGeometry(8, 40, 286, 84);

    // Typing is off, so the count changes only by its arrows and cannot
    // leave 3 .. 15; it lies over the series table's empty corner cell.
    NumberSpinEdit = new QSpinBox(this);
    NumberSpinEdit->setObjectName("NumberSpinEdit");
    NumberSpinEdit->setRange(3, 15);
    NumberSpinEdit->setValue(eval_.pointCount);
    NumberSpinEdit->setToolTip(Q("Количество"));
    NumberSpinEdit->setGeometry(8, 40, 67, 22);
    if (auto* edit = NumberSpinEdit->findChild<QLineEdit*>()) edit->setReadOnly(true);
    {
        QPalette pal = NumberSpinEdit->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        NumberSpinEdit->setPalette(pal);
    }
    NumberSpinEdit->raise();

    StartSpeedButton = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), Q("Пуск"), this);
    StartSpeedButton->setObjectName("StartSpeedButton");
    StartSpeedButton->setGeometry(328, 96, 89, 25);
    CloseSpeedButton =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), Q("Закрыть"), this);
    CloseSpeedButton->setObjectName("CloseSpeedButton");
    CloseSpeedButton->setGeometry(440, 96, 89, 25);

    SeriesProgressBar = new QProgressBar(this);
    SeriesProgressBar->setObjectName("SeriesProgressBar");
    SeriesProgressBar->setRange(0, 100);
    SeriesProgressBar->setGeometry(328, 62, 201, 22);
    SeriesProgressBar->hide();
    run_.onProgress = [this](const RunControl& control) {
        SeriesProgressBar->setFormat(Q(control.StepName()));
        SeriesProgressBar->setValue(control.Percent());
    };
    run_.onFinished = [this](bool) { FinishRun(); };

    ResultStringGrid = MakeGrid(this, 9, kResultDefaultWidth, 18);
    ResultStringGrid->setObjectName("ResultStringGrid");
    ResultStringGrid->setGeometry(8, 136, 543, 185);
    ResultStringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < 9; ++r) ResultStringGrid->setRowHeight(r, kResultHeights[r]);
    SeriesActions = AddTableExport(ModelStringGrid, Q("Сохранить серию"), &chooseCsvFile);
    ResultActions = AddTableExport(ResultStringGrid, Q("Сохранить результаты"), &chooseCsvFile);

    SyncFromState();
    ModelStringGrid->setColumnWidth(0, kSeriesCaptionWidth);
    for (int c = 0; c < 7 && c < ResultStringGrid->columnCount(); ++c) {
        ResultStringGrid->setColumnWidth(c, kResultWidths[c]);
    }

    connect(ModelComboBox, &QComboBox::activated, this, &EvaluationWindow::ModelComboBoxChange);
    connect(ModeComboBox, &QComboBox::activated, this, &EvaluationWindow::ModeComboBoxChange);
    connect(ModeComboBox->lineEdit(), &QLineEdit::textEdited, this,
            &EvaluationWindow::ModeComboBoxTextEdited);
    connect(FilterNormCheckBox, &QCheckBox::toggled, this, &EvaluationWindow::FilterNormCheckBoxClick);
    connect(ModelStringGrid, &QTableWidget::cellChanged, this,
            &EvaluationWindow::ModelStringGridCellChanged);
    connect(NumberSpinEdit, &QSpinBox::valueChanged, this, &EvaluationWindow::NumberSpinEditChange);
    connect(StartSpeedButton, &QPushButton::clicked, this, &EvaluationWindow::StartSpeedButtonClick);
    connect(CloseSpeedButton, &QPushButton::clicked, this, &EvaluationWindow::CloseSpeedButtonClick);
}

void EvaluationWindow::SyncTable(QTableWidget* grid, const std::vector<std::vector<std::string>>& cells,
                            bool editable)
{
    const QSignalBlocker block(grid);
    const int rows = static_cast<int>(cells.size());
    const int cols = rows ? static_cast<int>(cells[0].size()) : 0;
    if (grid->rowCount() != rows) grid->setRowCount(rows);
    if (grid->columnCount() != cols) grid->setColumnCount(cols);
    const QBrush fixed = palette().brush(QPalette::Button);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QString text = Q(cells[r][c]);
            QTableWidgetItem* item = grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem(text);
                Qt::ItemFlags flags = Qt::ItemIsEnabled;
                if (r == 0 || c == 0) {
                    item->setBackground(fixed);
                } else {
                    flags |= Qt::ItemIsSelectable;
                    if (editable) flags |= Qt::ItemIsEditable;
                }
                item->setFlags(flags);
                grid->setItem(r, c, item);
            } else if (item->text() != text) {
                item->setText(text);
            }
        }
    }
}

void EvaluationWindow::SyncFromState()
{
    {
        const QSignalBlocker block(ModelComboBox);
        if (ModelComboBox->currentIndex() != eval_.propagationItem) {
            ModelComboBox->setCurrentIndex(eval_.propagationItem);
        }
    }
    {
        const QSignalBlocker block(ModeComboBox);
        const QSignalBlocker blockEdit(ModeComboBox->lineEdit());
        if (eval_.modeItem >= 0 && ModeComboBox->currentIndex() != eval_.modeItem) {
            ModeComboBox->setCurrentIndex(eval_.modeItem);
        }
        if (ModeComboBox->currentText() != Q(eval_.modeText)) {
            ModeComboBox->setEditText(Q(eval_.modeText));
        }
    }
    if (FilterNormCheckBox->isChecked() != eval_.filterNorm) {
        const QSignalBlocker block(FilterNormCheckBox);
        FilterNormCheckBox->setChecked(eval_.filterNorm);
    }
    if (NumberSpinEdit->value() != eval_.pointCount) {
        const QSignalBlocker block(NumberSpinEdit);
        NumberSpinEdit->setValue(eval_.pointCount);
    }
    SyncTable(ModelStringGrid, eval_.series, true);
    SyncTable(ResultStringGrid, eval_.ShownResult(), false);
}

void EvaluationWindow::ModelComboBoxChange(int item)
{
    eval_.propagationItem = item;
    if (bus_) emit bus_->changed();
}

void EvaluationWindow::ModeComboBoxChange(int item)
{
    if (item >= 0 && item < static_cast<int>(EvaluationState::ModeItems().size())) {
        eval_.SetModeText(EvaluationState::ModeItems()[item]);
    }
    if (bus_) emit bus_->changed();
}

void EvaluationWindow::ModeComboBoxTextEdited(const QString& text)
{
    eval_.SetModeText(S(text));
}

void EvaluationWindow::FilterNormCheckBoxClick(bool checked)
{
    eval_.filterNorm = checked;
}

void EvaluationWindow::ModelStringGridCellChanged(int row, int col)
{
    if (row < 1 || col < 1 || row >= static_cast<int>(eval_.series.size()) ||
        col >= eval_.SeriesColumns()) {
        return;
    }
    const QTableWidgetItem* item = ModelStringGrid->item(row, col);
    eval_.series[row][col] = item ? S(item->text()) : std::string();
}

void EvaluationWindow::NumberSpinEditChange(int value)
{
    eval_.SetPointCount(value);
    SyncFromState();
    if (bus_) emit bus_->changed();
}

void EvaluationWindow::StartSpeedButtonClick()
{
    if (Running()) {
        run_.Stop();  // the poll finishes it once it has ended
        return;
    }
    pending_ = SeriesResult{};
    const SeriesRequest request = SeriesRequest::Of(main_, eval_);
    ShowRunning(true);
    run_.Start([this, request](RunControl& control) { pending_ = RunSeries(request, control); }, runSeam);
}

void EvaluationWindow::WaitForRun() { run_.WaitForRun(); }

void EvaluationWindow::StopRun() { run_.StopAndFinish(); }

void EvaluationWindow::FinishRun()
{
    ShowRunning(false);
    SeriesResult result = std::move(pending_);
    pending_ = SeriesResult{};
    if (result.stopped) return;  // the table, the range and the thickness as they were
    std::string error;
    try {
        FinishSeries(main_, eval_, result);
    } catch (const std::exception& e) {
        error = FailureMessage(e);
    }
    // The cells written before a failure and the blanked picture are shown
    // with the message, not after it.
    SyncFromState();
    if (bus_) emit bus_->changed();
    if (!error.empty()) ShowError(this, error);
    else emit seriesFinished();
}

void EvaluationWindow::ShowRunning(bool running)
{
    StartSpeedButton->setText(running ? Q("Стоп") : Q("Пуск"));
    StartSpeedButton->setIcon(style()->standardIcon(running ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    SeriesProgressBar->setValue(0);
    SeriesProgressBar->setFormat(QString());
    SeriesProgressBar->setVisible(running);
}

void EvaluationWindow::CloseSpeedButtonClick()
{
    hide();
}

void EvaluationWindow::SetShown(bool shown)
{
    if (main_.evaluationShown == shown) return;
    // Unlocking derives the timing again, which can fail on absurd
    // parameters; the controls are unlocked all the same.
    std::string error;
    try {
        main_.SetEvaluationShown(shown);
    } catch (const std::exception& e) {
        error = FailureMessage(e);
    }
    // A close box that failed to derive fails the same way here: one report.
    if (error.empty()) error = closeError_;
    closeError_.clear();
    emit lockChanged(shown);
    if (bus_) emit bus_->changed();
    if (!error.empty()) ShowError(this, error);
}

void EvaluationWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Placed by whoever shows it (ProgramWindows), beside the main window.
    if (!event->spontaneous()) SetShown(true);
}

void EvaluationWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A series whose window has gone would draw over what comes next.
    if (!event->spontaneous()) StopRun();
    // Minimising hides spontaneously; only a real hide unlocks.
    if (!event->spontaneous()) SetShown(false);
}

void EvaluationWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    try {
        main_.params.DeriveParameters();
    } catch (const std::exception& e) {
        // The hide that follows unlocks and derives again; its report
        // stands for both.
        if (isVisible() && main_.evaluationShown) closeError_ = FailureMessage(e);
        else ShowError(this, FailureMessage(e));
    }
}

}  // namespace sonavir
