#include "gui/LedgerWindow.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <new>
#include <string>

#include "gui/QtText.h"
#include "model/Ledger.h"
#include "model/PulseCompression.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kDecibelDigits = 4;
constexpr int kValueDigits = 7;

QTableWidget* Grid(QWidget* parent, int rows, const QStringList& columns, const QStringList& tips)
{
    auto* grid = new QTableWidget(rows, static_cast<int>(columns.size()), parent);
    grid->setHorizontalHeaderLabels(columns);
    for (int c = 0; c < columns.size(); ++c) grid->horizontalHeaderItem(c)->setToolTip(tips[c]);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->setFocusPolicy(Qt::NoFocus);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns.size(); ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    return grid;
}

QString Cell(const std::optional<long double>& value, int digits)
{
    return value ? Q(FormatGeneral(*value, digits)) : QString();
}

void ClearCells(QTableWidget* grid)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c) grid->item(r, c)->setText(QString());
}

// A table exactly as large as its cells: no scrolling in a fixed window.
void FitTable(QTableWidget* grid)
{
    grid->resizeColumnsToContents();
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnWidth(c, std::max(grid->columnWidth(c), 80));
    int width = grid->verticalHeader()->width() + 2 * grid->frameWidth();
    for (int c = 0; c < grid->columnCount(); ++c) width += grid->columnWidth(c);
    int height = grid->horizontalHeader()->height() + 2 * grid->frameWidth();
    for (int r = 0; r < grid->rowCount(); ++r) height += grid->rowHeight(r);
    grid->setFixedSize(width, height);
}

// Runs a computation for a table; its failure becomes the table's message.
template <typename Action>
std::string FailureOf(Action action)
{
    try {
        action();
    } catch (const SonavirError& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return msg::kOutOfMemory;
    }
    return {};
}

void ShowMessage(QLabel* label, const std::string& text)
{
    label->setText(Q(text));
    label->setVisible(!text.empty());
}

}  // namespace

LedgerWindow::LedgerWindow(MainState& main, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), main_(main)
{
    setWindowTitle(QStringLiteral("Баланс по этапам"));
    setObjectName(QStringLiteral("ledgerWindow"));

    LedgerGrid = Grid(this, MainState::kLastStage + 1,
                      {QStringLiteral("Энергия"), QStringLiteral("К излученному, дБ"),
                       QStringLiteral("К предыдущему, дБ"), QStringLiteral("Пик"),
                       QStringLiteral("Время пика, с")},
                      {QStringLiteral("Сумма квадратов отсчетов сигнала после этапа"),
                       QStringLiteral("Уровень энергии относительно излученного сигнала"),
                       QStringLiteral("Изменение энергии на этом этапе"),
                       QStringLiteral("Наибольшее абсолютное значение отсчета"),
                       QStringLiteral("Время первого отсчета с пиковым значением")});
    QStringList stages;
    for (const auto& name : MainState::PathItems()) stages << Q(name);
    LedgerGrid->setVerticalHeaderLabels(stages);
    LedgerMessage = new QLabel(this);

    CompressionLabel = new QLabel(QStringLiteral("Сжатие импульса"), this);
    CompressionGrid = Grid(this, 1,
                           {QStringLiteral("Время пика, с"), QStringLiteral("Пик"),
                            QStringLiteral("Ширина -3 дБ, с"), QStringLiteral("УБЛ, дБ"),
                            QStringLiteral("ИУБЛ, дБ"), QStringLiteral("BT"),
                            QStringLiteral("Выигрыш, дБ")},
                           {QStringLiteral("Время и значение пика огибающей"),
                            QStringLiteral("Время и значение пика огибающей"),
                            QStringLiteral("Ширина главного лепестка огибающей по уровню -3 дБ"),
                            QStringLiteral("Наибольший уровень бокового лепестка относительно пика"),
                            QStringLiteral("Интегральный уровень боковых лепестков: их энергия "
                                           "относительно энергии главного лепестка"),
                            QStringLiteral("База сигнала: произведение длительности на ширину спектра"),
                            QStringLiteral("Выигрыш от сжатия, 10·lg BT")});
    CompressionGrid->setVerticalHeaderLabels({QStringLiteral("S(t)")});
    CompressionMessage = new QLabel(this);
    LedgerActions = AddTableExport(LedgerGrid, QStringLiteral("Сохранить баланс"), &chooseCsvFile);
    CompressionActions = AddTableExport(CompressionGrid, QStringLiteral("Сохранить показатели сжатия"), &chooseCsvFile);
    for (QLabel* label : {LedgerMessage, CompressionMessage}) {
        label->setWordWrap(true);
        label->hide();
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    column->addWidget(LedgerGrid);
    column->addWidget(LedgerMessage);
    column->addSpacing(6);
    column->addWidget(CompressionLabel);
    column->addWidget(CompressionGrid);
    column->addWidget(CompressionMessage);
    column->addStretch(1);
    FitSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

LedgerWindow::~LedgerWindow()
{
    work_.Stop();
    work_.Wait();
}

void LedgerWindow::FitSize()
{
    FitTable(LedgerGrid);
    FitTable(CompressionGrid);
    const int width = std::max(LedgerGrid->width(), CompressionGrid->width());
    for (QLabel* label : {LedgerMessage, CompressionMessage}) label->setFixedWidth(width);
    layout()->activate();
    setFixedSize(layout()->sizeHint());
}

void LedgerWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Recompute();
}

void LedgerWindow::Recompute()
{
    ShowLedger();
    ShowMeasures();
    FitSize();
}

void LedgerWindow::SyncFromState()
{
    const ShownPlots* shown = main_.Shown();
    const std::optional<std::uint64_t> run = shown ? std::optional(shown->run) : std::nullopt;
    if (isVisible() && run != measuredRun_) {
        ShowMeasures();
        FitSize();
    }
}

void LedgerWindow::ShowLedger()
{
    const RunRequest request = main_.Request();
    int N = 0;
    const std::string sizing = FailureOf([&] { N = TransformSize(HalfSampleCount(request.p.Tc, request.p.Dt)); });
    if (sizing.empty() && N >= kBackgroundColumns) {
        // A long record: the window keeps its old figures, greyed, meanwhile.
        LedgerGrid->setEnabled(false);
        if (!pollTimer_) {
            pollTimer_ = new QTimer(this);
            pollTimer_->setInterval(30);
            connect(pollTimer_, &QTimer::timeout, this, &LedgerWindow::PollLedger);
        }
        work_.Start([this, request](RunControl&) {
            pendingFailure_ = FailureOf([&] {
                try {
                    pending_ = ComputeLedger(request);
                } catch (const RunStopped&) {
                }
            });
        });
        if (work_.Finished()) PollLedger();
        else pollTimer_->start();
        return;
    }
    Ledger ledger;
    const std::string failure = sizing.empty() ? FailureOf([&] { ledger = ComputeLedger(request); }) : sizing;
    ShowLedgerResult(ledger, failure);
}

void LedgerWindow::PollLedger()
{
    if (!work_.Finished()) return;
    if (pollTimer_) pollTimer_->stop();
    const bool stopped = work_.Stopped();
    work_.Collect();
    LedgerGrid->setEnabled(true);
    if (!stopped) ShowLedgerResult(pending_, pendingFailure_);
    FitSize();
}

void LedgerWindow::ShowLedgerResult(const Ledger& ledger, const std::string& failure)
{
    ShowMessage(LedgerMessage, failure);
    if (!failure.empty()) {
        ClearCells(LedgerGrid);
        return;
    }
    for (int k = 0; k <= MainState::kLastStage; ++k) {
        const LedgerRow& row = ledger.rows[k];
        const QString cells[] = {Cell(row.energy, kValueDigits), Cell(row.dbProbe, kDecibelDigits),
                                 Cell(row.dbStep, kDecibelDigits), Cell(row.peak, kValueDigits),
                                 Cell(row.peakTime, kValueDigits)};
        for (int c = 0; c < 5; ++c) LedgerGrid->item(k, c)->setText(cells[c]);
    }
}

void LedgerWindow::ShowMeasures()
{
    const ShownPlots* shown = main_.Shown();
    const std::optional<std::uint64_t> run = shown ? std::optional(shown->run) : std::nullopt;
    if (run && run == measuredRun_) return;  // these plots are measured already
    measuredRun_ = run;
    QString what = QStringLiteral("Сжатие импульса");
    if (shown && shown->hasWave)
        what += QStringLiteral(": ") + Q(MainState::ModelItems()[shown->modelItem] + " - " +
                                         MainState::PathItems()[shown->pathStage]);
    CompressionLabel->setText(what);
    CompressionGrid->setVerticalHeaderLabels({shown && shown->hasWave ? Q(shown->waveCaption)
                                                                      : QStringLiteral("S(t)")});

    PulseCompression m;
    const std::string failure = FailureOf([&] { m = MeasureShown(main_); });
    ShowMessage(CompressionMessage, failure);
    if (!failure.empty()) {
        ClearCells(CompressionGrid);
        return;
    }
    const EnvelopeMeasures& e = m.envelope;
    const QString cells[] = {Cell(e.peakTime, kValueDigits), Cell(e.peak, kValueDigits),
                             Cell(e.width3db, kValueDigits), Cell(e.pslDb, kDecibelDigits),
                             Cell(e.islDb, kDecibelDigits), Cell(m.bt, kValueDigits),
                             Cell(m.gainDb, kDecibelDigits)};
    for (int c = 0; c < 7; ++c) CompressionGrid->item(0, c)->setText(cells[c]);
}

}  // namespace sonavir
