#include "gui/LedgerWindow.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "gui/QtText.h"
#include "model/Ledger.h"
#include "model/PulseCompression.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

constexpr int kLossColumn = 7;

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

// A figure as a person reads it (signal/NumberText.h), 0 when it is nothing
// beside the largest of its column; a time with its unit.
QString Cell(const std::optional<long double>& value, long double largest)
{
    return value ? Q(FormatReadable(*value, largest)) : QString();
}

QString TimeCell(const std::optional<long double>& value, long double largest)
{
    return value ? Q(FormatDuration(*value, largest)) : QString();
}

// The largest magnitude of a column.
template <typename Value>
long double Largest(const Ledger& ledger, Value value)
{
    long double most = 0;
    for (const LedgerRow& row : ledger.rows)
        if (const std::optional<long double> v = value(row)) most = std::max(most, std::fabs(*v));
    return most;
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
        if (!grid->isColumnHidden(c)) grid->setColumnWidth(c, std::max(grid->columnWidth(c), 80));
    // A header whose labels were set while the table was hidden has not
    // been laid out yet: its hint is what it will take.
    int width = std::max(grid->verticalHeader()->width(), grid->verticalHeader()->sizeHint().width()) +
                2 * grid->frameWidth();
    for (int c = 0; c < grid->columnCount(); ++c)
        if (!grid->isColumnHidden(c)) width += grid->columnWidth(c);
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
                       QStringLiteral("Время пика")},
                      {QStringLiteral("Сумма квадратов отсчетов сигнала после этапа"),
                       QStringLiteral("Уровень энергии относительно излученного сигнала"),
                       QStringLiteral("Изменение энергии на этом этапе"),
                       QStringLiteral("Наибольшее абсолютное значение отсчета"),
                       QStringLiteral("Время первого отсчета с пиковым значением")});
    QStringList stages;
    for (const auto& name : MainState::PathItems()) stages << Q(name);
    LedgerGrid->setVerticalHeaderLabels(stages);
    LedgerMessage = new QLabel(this);

    BudgetLabel = new QLabel(QStringLiteral("Уравнение гидролокации: EL = SL − 2·TL + TS, "
                                            "ОСШ = EL − (NL − DI) + 10·lg(B·T)"),
                             this);
    BudgetGrid = Grid(this, 0,
                      {QStringLiteral("Уравнение, дБ"), QStringLiteral("Модель, дБ"), QStringLiteral("Разность, дБ")},
                      {QStringLiteral("Член уравнения на частоте F0"),
                       QStringLiteral("Уровень, измеренный на сигнале модели: энергия за длительность импульса"),
                       QStringLiteral("Модель минус уравнение")});
    BudgetNote = new QLabel(this);

    CompressionLabel = new QLabel(QStringLiteral("Сжатие импульса"), this);
    CompressionGrid = Grid(this, 1,
                           {QStringLiteral("Время пика"), QStringLiteral("Пик"),
                            QStringLiteral("Ширина -3 дБ"), QStringLiteral("УБЛ, дБ"),
                            QStringLiteral("ИУБЛ, дБ"), QStringLiteral("BT"),
                            QStringLiteral("Выигрыш, дБ"), QStringLiteral("Потери окна, дБ")},
                           {QStringLiteral("Время и значение пика огибающей"),
                            QStringLiteral("Время и значение пика огибающей"),
                            QStringLiteral("Ширина главного лепестка огибающей по уровню -3 дБ"),
                            QStringLiteral("Наибольший уровень бокового лепестка относительно пика"),
                            QStringLiteral("Интегральный уровень боковых лепестков: их энергия "
                                           "относительно энергии главного лепестка"),
                            QStringLiteral("База сигнала: произведение длительности на ширину спектра"),
                            QStringLiteral("Выигрыш от сжатия, 10·lg BT"),
                            QStringLiteral("Потери отношения сигнал/шум от окна фильтра против "
                                           "невзвешенного согласованного фильтра")});
    // The weighting's loss only when the measured run's filter was weighted.
    CompressionGrid->setColumnHidden(kLossColumn, true);
    CompressionGrid->setVerticalHeaderLabels({QStringLiteral("S(t)")});
    CompressionMessage = new QLabel(this);
    LedgerActions = AddTableExport(LedgerGrid, QStringLiteral("Сохранить баланс"), &chooseCsvFile);
    CompressionActions = AddTableExport(CompressionGrid, QStringLiteral("Сохранить показатели сжатия"), &chooseCsvFile);
    BudgetActions = AddTableExport(BudgetGrid, QStringLiteral("Сохранить бюджет"), &chooseCsvFile);
    for (QLabel* label : {LedgerMessage, CompressionMessage, BudgetNote}) {
        label->setWordWrap(true);
        label->hide();
    }
    BudgetLabel->hide();
    BudgetGrid->hide();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    column->addWidget(LedgerGrid);
    column->addWidget(LedgerMessage);
    column->addSpacing(6);
    column->addWidget(BudgetLabel);
    column->addWidget(BudgetGrid);
    column->addWidget(BudgetNote);
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

void LedgerWindow::FitSize()
{
    FitTable(LedgerGrid);
    FitTable(CompressionGrid);
    FitTable(BudgetGrid);
    const int width = std::max(LedgerGrid->width(), CompressionGrid->width());
    for (QLabel* label : {LedgerMessage, CompressionMessage, BudgetNote}) label->setFixedWidth(width);
    layout()->activate();
    setFixedSize(layout()->sizeHint());
    // Grown by the budget, it stays on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && isVisible()) {
        const QRect area = screen->availableGeometry();
        if (frameGeometry().bottom() > area.bottom())
            move(x(), std::max(area.top(), area.bottom() - frameGeometry().height()));
    }
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
        for (QWidget* grid : {LedgerGrid, BudgetGrid}) grid->setEnabled(false);
        work_.onFinished = [this](bool stopped) {
            for (QWidget* grid : {LedgerGrid, BudgetGrid}) grid->setEnabled(true);
            if (!stopped) {
                ShowLedgerResult(pending_, pendingFailure_, pendingSonar_);
                ShowBudgetResult(pendingSonar_, pendingBudget_, pendingBudgetFailure_);
            }
            FitSize();
        };
        work_.Start([this, request](RunControl&) {
            pendingFailure_ = FailureOf([&] {
                try {
                    pending_ = ComputeLedger(request);
                } catch (const RunStopped&) {
                }
            });
            pendingSonar_ = request.levels.On();
            if (pendingSonar_)
                pendingBudgetFailure_ = FailureOf([&] {
                    try {
                        pendingBudget_ = ComputeBudget(request);
                    } catch (const RunStopped&) {
                    }
                });
        });
        return;
    }
    Ledger ledger;
    const std::string failure = sizing.empty() ? FailureOf([&] { ledger = ComputeLedger(request); }) : sizing;
    const bool sonar = request.levels.On();
    ShowLedgerResult(ledger, failure, sonar);
    SonarBudget budget;
    const std::string budgetFailure =
        !sonar ? std::string() : sizing.empty() ? FailureOf([&] { budget = ComputeBudget(request); }) : sizing;
    ShowBudgetResult(sonar, budget, budgetFailure);
}

void LedgerWindow::ShowLedgerResult(const Ledger& ledger, const std::string& failure, bool sonar)
{
    ShowMessage(LedgerMessage, failure);
    if (!failure.empty()) {
        ClearCells(LedgerGrid);
        return;
    }
    using Field = std::optional<long double>;
    // The sonar equation's levels span its losses, 160 dB and more between the
    // source and the echo: there no energy or peak is nothing beside the largest.
    const long double energy = sonar ? 0 : Largest(ledger, [](const LedgerRow& r) { return Field(r.energy); });
    const long double dbProbe = Largest(ledger, [](const LedgerRow& r) { return r.dbProbe; });
    const long double dbStep = Largest(ledger, [](const LedgerRow& r) { return r.dbStep; });
    const long double peak = sonar ? 0 : Largest(ledger, [](const LedgerRow& r) { return Field(r.peak); });
    const long double time = Largest(ledger, [](const LedgerRow& r) { return Field(r.peakTime); });
    for (int k = 0; k <= MainState::kLastStage; ++k) {
        const LedgerRow& row = ledger.rows[k];
        const QString cells[] = {Cell(row.energy, energy), Cell(row.dbProbe, dbProbe), Cell(row.dbStep, dbStep),
                                 Cell(row.peak, peak), TimeCell(row.peakTime, time)};
        for (int c = 0; c < 5; ++c) LedgerGrid->item(k, c)->setText(cells[c]);
    }
}

void LedgerWindow::ShowBudgetResult(bool sonar, const SonarBudget& budget, const std::string& failure)
{
    for (QWidget* w : std::initializer_list<QWidget*>{BudgetLabel, BudgetGrid}) w->setVisible(sonar);
    if (!sonar) {
        ShowMessage(BudgetNote, {});
        return;
    }
    ShowMessage(BudgetNote, failure.empty() ? budget.note : failure);
    if (!failure.empty()) {
        ClearCells(BudgetGrid);
        return;
    }
    if (BudgetGrid->rowCount() != static_cast<int>(budget.terms.size())) {
        BudgetGrid->setRowCount(static_cast<int>(budget.terms.size()));
        for (int r = 0; r < BudgetGrid->rowCount(); ++r)
            for (int c = 0; c < 3; ++c) {
                auto* item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                BudgetGrid->setItem(r, c, item);
            }
    }
    long double largest = 0;
    for (const BudgetTerm& t : budget.terms)
        largest = std::max({largest, std::fabs(t.equation), t.simulated ? std::fabs(*t.simulated) : 0.0L});
    QStringList labels;
    for (std::size_t r = 0; r < budget.terms.size(); ++r) {
        const BudgetTerm& t = budget.terms[r];
        // The shares of a transmission loss stand indented under it.
        labels << (t.part ? QStringLiteral("    ") : QString()) + Q(t.label);
        // Differences to a thousandth of a decibel: below that they are rounding.
        std::optional<long double> difference = t.Difference();
        if (difference) difference = std::nearbyint(*difference * 1000) / 1000 + 0.0L;  // "0", not "-0"
        const QString cells[] = {Cell(t.equation, largest), Cell(t.simulated, largest), Cell(difference, largest)};
        for (int c = 0; c < 3; ++c) BudgetGrid->item(static_cast<int>(r), c)->setText(cells[c]);
    }
    BudgetGrid->setVerticalHeaderLabels(labels);
    BudgetGrid->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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
    ShowMessage(CompressionMessage, failure.empty() && m.uncompressed ? kUncompressedNote : failure);
    CompressionGrid->setColumnHidden(kLossColumn, !m.weightingLossDb);
    if (!failure.empty()) {
        ClearCells(CompressionGrid);
        return;
    }
    // One row: each figure is the largest of its column.
    const EnvelopeMeasures& e = m.envelope;
    auto cell = [](const std::optional<long double>& v) { return Cell(v, v ? *v : 0); };
    auto time = [](const std::optional<long double>& v) { return TimeCell(v, v ? *v : 0); };
    const QString cells[] = {time(e.peakTime), cell(e.peak),  time(e.width3db), cell(e.pslDb),
                             cell(e.islDb),    cell(m.bt),    cell(m.gainDb),   cell(m.weightingLossDb)};
    for (int c = 0; c < 8; ++c) CompressionGrid->item(0, c)->setText(cells[c]);
}

}  // namespace sonavir
