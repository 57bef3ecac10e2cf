#include "gui/TableExport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QTableWidget>
#include <algorithm>
#include <new>

#include "files/OutputFiles.h"
#include "gui/ErrorBox.h"
#include "gui/QtText.h"
#include "gui/SaveDialogs.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

QString Text(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

QString HeaderText(const QTableWidget* table, Qt::Orientation orientation, int section)
{
    const QTableWidgetItem* item = orientation == Qt::Horizontal ? table->horizontalHeaderItem(section)
                                                                 : table->verticalHeaderItem(section);
    if (item) return item->text();
    return table->model()->headerData(section, orientation).toString();
}

}  // namespace

std::vector<QStringList> ShownCells(const QTableWidget* table, bool selectionOnly)
{
    int top = 0, left = 0, bottom = table->rowCount() - 1, right = table->columnCount() - 1;
    const QList<QTableWidgetSelectionRange> ranges = table->selectedRanges();
    const bool selected = selectionOnly && !ranges.isEmpty();
    if (selected) {
        top = table->rowCount();
        left = table->columnCount();
        bottom = right = -1;
        for (const QTableWidgetSelectionRange& r : ranges) {
            top = std::min(top, r.topRow());
            left = std::min(left, r.leftColumn());
            bottom = std::max(bottom, r.bottomRow());
            right = std::max(right, r.rightColumn());
        }
    }
    // A selection is cells alone, as a spreadsheet copies them; the whole
    // table carries the headers it shows.
    const bool rowHeads = !selected && !table->verticalHeader()->isHidden();
    const bool columnHeads = !selected && !table->horizontalHeader()->isHidden();
    std::vector<QStringList> rows;
    if (columnHeads) {
        QStringList heads;
        if (rowHeads) heads << QString();
        for (int c = left; c <= right; ++c) heads << HeaderText(table, Qt::Horizontal, c);
        rows.push_back(heads);
    }
    for (int r = top; r <= bottom; ++r) {
        QStringList cells;
        if (rowHeads) cells << HeaderText(table, Qt::Vertical, r);
        for (int c = left; c <= right; ++c) cells << Text(table, r, c);
        rows.push_back(cells);
    }
    return rows;
}

QString TabText(const std::vector<QStringList>& rows)
{
    QString text;
    for (const QStringList& row : rows) text += row.join(u'\t') + u'\n';
    return text;
}

QString CsvText(const std::vector<QStringList>& rows)
{
    QString text;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (QString cell : row) {
            if (cell.contains(u';') || cell.contains(u'"') || cell.contains(u'\n') || cell.contains(u'\r'))
                cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
            cells << cell;
        }
        text += cells.join(u';') + u'\n';
    }
    return text;
}

void SaveTableCsv(QTableWidget* table, const QString& path)
{
    try {
        WriteFileAtomically(S(path), S(CsvText(ShownCells(table, false))));
    } catch (const SonavirError& e) {
        ShowError(table, e.what());
    } catch (const std::bad_alloc&) {
        ShowError(table, msg::kOutOfMemory);
    }
}

TableActions AddTableExport(QTableWidget* table, const QString& title, const std::function<QString()>* chooseCsv)
{
    TableActions actions;
    actions.copy = new QAction(QStringLiteral("&Копировать"), table);
    actions.copy->setShortcut(QKeySequence::Copy);
    actions.copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    actions.saveCsv = new QAction(QStringLiteral("&Сохранить как CSV…"), table);
    table->addAction(actions.copy);
    table->addAction(actions.saveCsv);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The keyboard's copy needs the table to take the focus from a click.
    if (table->focusPolicy() == Qt::NoFocus) table->setFocusPolicy(Qt::ClickFocus);

    QObject::connect(actions.copy, &QAction::triggered, table, [table] {
        QApplication::clipboard()->setText(TabText(ShownCells(table, true)));
    });
    QObject::connect(actions.saveCsv, &QAction::triggered, table, [table, title, chooseCsv] {
        QString path;
        if (chooseCsv && *chooseCsv) {
            path = (*chooseCsv)();
        } else {
            QString filter = QStringLiteral("CSV (*.csv)");
            path = AskSaveName(table->window(), title, QString(), {filter}, filter, QStringLiteral("csv"));
        }
        if (!path.isEmpty()) SaveTableCsv(table, path);
    });
    return actions;
}

}  // namespace sonavir
