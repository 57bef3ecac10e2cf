#pragma once
// Copy and export for the program's tables (the ledger, the measures and the
// evaluation's): Ctrl+C and the context menu copy the cells as tab-separated
// text, for a spreadsheet or a report; "Сохранить как CSV…" writes what the
// table shows, header row and column included, cells separated by ';' (the
// numbers keep their decimal comma, as shown).

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QAction;
class QTableWidget;

namespace sonavir {

// The texts a table shows, row by row: its header row and column first where
// it shows them. With `selectionOnly`, the selected cells alone (the
// smallest rectangle holding them; every cell when none is selected).
std::vector<QStringList> ShownCells(const QTableWidget* table, bool selectionOnly);
// Cells joined by tabs, rows ended by line feeds.
QString TabText(const std::vector<QStringList>& rows);
// Cells joined by ';', rows ended by line feeds; a cell holding ';', a quote
// or a line break is quoted, its quotes doubled.
QString CsvText(const std::vector<QStringList>& rows);

// The table's own actions: "Копировать" (Ctrl+C, the selection or the whole
// table), "Сохранить как CSV…". `chooseCsv`, when set at the time of saving
// (tests set it), gives the file name, "" to cancel; otherwise the save
// dialog asks (and asks before replacing). It must outlive the table.
struct TableActions {
    QAction* copy = nullptr;
    QAction* saveCsv = nullptr;
};
TableActions AddTableExport(QTableWidget* table, const QString& title,
                            const std::function<QString()>* chooseCsv = nullptr);
// Writes the whole table as the CSV above; a failure is shown in the error box.
void SaveTableCsv(QTableWidget* table, const QString& path);

}  // namespace sonavir
