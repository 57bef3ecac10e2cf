#pragma once
// "Баланс по этапам": the energy ledger of the echo path, stage by stage, and
// under it the pulse-compression measures of the waveform now shown. A tool
// window on top; the numbers come from model/Ledger and model/PulseCompression.

#include <QWidget>
#include <cstdint>
#include <optional>

#include "gui/TableExport.h"
#include "gui/WorkWatcher.h"
#include "model/Ledger.h"
#include "model/MainState.h"
#include "model/SonarBudget.h"

class QLabel;
class QTableWidget;

namespace sonavir {

class LedgerWindow : public QWidget {
    Q_OBJECT
public:
    explicit LedgerWindow(MainState& main, QWidget* parent = nullptr);

    // Ledgers of long records are worked out on a worker thread from this
    // many columns on; shorter ones at once.
    static constexpr int kBackgroundColumns = 1 << 18;
    bool Computing() const { return work_.Running(); }

    // Both tables afresh, on opening and after every Start (the measures only
    // when the plots are not those measured already).
    void Recompute();
    // After any change of the shared state: the measures follow the plots in
    // the picture (the evaluation's chart takes them away).
    void SyncFromState();

    QTableWidget* LedgerGrid;
    QLabel* LedgerMessage;       // why the ledger could not be made, or hidden
    // The sonar equation's budget, shown in that level model only.
    QLabel* BudgetLabel;
    QTableWidget* BudgetGrid;
    QLabel* BudgetNote;          // where the differences come from, or why there is no budget
    QLabel* CompressionLabel;    // "Сжатие импульса" and the waveform measured
    QTableWidget* CompressionGrid;
    QLabel* CompressionMessage;  // why there are no measures, or hidden
    // Copy and "Сохранить как CSV…" of each table; tests set the CSV chooser.
    TableActions LedgerActions, CompressionActions, BudgetActions;
    std::function<QString()> chooseCsvFile;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowLedger();
    void ShowLedgerResult(const Ledger& ledger, const std::string& failure, bool sonar);
    void ShowBudgetResult(bool sonar, const SonarBudget& budget, const std::string& failure);
    void ShowMeasures();
    void FitSize();

    MainState& main_;
    Ledger pending_;  // written by the worker, read once it has returned
    std::string pendingFailure_;
    bool pendingSonar_ = false;
    SonarBudget pendingBudget_;
    std::string pendingBudgetFailure_;
    WorkWatcher work_;  // after what it writes: it waits for the worker as it goes
    // The run whose waveform the measures show (none when they show none).
    std::optional<std::uint64_t> measuredRun_;
};

}  // namespace sonavir
