// The ledger window as start-up wires it: opened from "Модель", following
// every Start, its measures following the plots in the picture.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "evaluation/SeriesRuns.h"
#include "gui/ProgramWindows.h"
#include "gui/QtText.h"
#include "model/Ledger.h"
#include "model/PulseCompression.h"
#include "signal/NumberText.h"

using namespace sonavir;

namespace {

QString Text(QTableWidget* grid, int row, int column) { return grid->item(row, column)->text(); }

}  // namespace

class LedgerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void opensFromTheMenuAndFollowsEveryStart()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        LedgerWindow& w = *p.ledgerWindow;
        QVERIFY(!w.isVisible());
        QVERIFY(w.windowFlags() & Qt::Tool);
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);

        p.mainWindow->LedgerItem->trigger();
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowTitle(), QStringLiteral("Баланс по этапам"));
        QCOMPARE(w.LedgerGrid->rowCount(), 8);
        QCOMPARE(w.LedgerGrid->verticalHeaderItem(7)->text(), QStringLiteral("Отраженный и принятый антенной"));
        // The ledger needs no run; the measures need a drawn waveform.
        const Ledger before = ComputeLedger(p.main);
        QCOMPARE(Text(w.LedgerGrid, 4, 2), Q(FormatGeneral(*before.rows[4].dbStep, 4)));
        QVERIFY(Text(w.LedgerGrid, 4, 2).contains(','));
        QCOMPARE(Text(w.LedgerGrid, 0, 1), QStringLiteral("0"));
        QVERIFY(w.CompressionMessage->isVisible());
        QCOMPARE(w.CompressionMessage->text(), Q(kNothingShown));
        QVERIFY(Text(w.CompressionGrid, 0, 5).isEmpty());

        // Changed settings show at the next Start, and so do the measures.
        p.params.SetRText("2");
        p.params.depthOn = true;
        p.mainWindow->FilterCheckBox->setChecked(true);
        QCOMPARE(Text(w.LedgerGrid, 2, 2), Q(FormatGeneral(*before.rows[2].dbStep, 4)));
        p.mainWindow->StartSpeedButtonClick();
        p.mainWindow->WaitForRun();
        const Ledger after = ComputeLedger(p.main);
        QCOMPARE(Text(w.LedgerGrid, 2, 2), Q(FormatGeneral(*after.rows[2].dbStep, 4)));
        QVERIFY(Text(w.LedgerGrid, 2, 2) != Q(FormatGeneral(*before.rows[2].dbStep, 4)));
        QVERIFY(!w.CompressionMessage->isVisible());
        QCOMPARE(Text(w.CompressionGrid, 0, 5), QStringLiteral("20,48"));
        QCOMPARE(w.CompressionLabel->text(), QStringLiteral("Сжатие импульса: Сигнал - Модель"));

        // Without the filter: the pulse's own length in ms, no PSL, and why.
        p.mainWindow->FilterCheckBox->setChecked(false);
        p.mainWindow->StartSpeedButtonClick();
        p.mainWindow->WaitForRun();
        QVERIFY(w.CompressionMessage->isVisible() && w.CompressionMessage->text() == Q(kUncompressedNote));
        QVERIFY(Text(w.CompressionGrid, 0, 2).endsWith(QStringLiteral(" мс")));
        QVERIFY(Text(w.CompressionGrid, 0, 3).isEmpty());

        // The evaluation's chart takes the waveform, and its measures, away.
        EvaluationStart(p.main, p.evaluation);
        emit p.bus.changed();
        QVERIFY(w.CompressionMessage->isVisible());
        QVERIFY(Text(w.CompressionGrid, 0, 5).isEmpty());

        // A ledger that cannot be made says why, with empty cells.
        p.params.SetRadiusText("0");
        w.close();
        p.mainWindow->LedgerItem->trigger();
        QVERIFY(w.LedgerMessage->isVisible());
        QVERIFY(!w.LedgerMessage->text().isEmpty());
        QVERIFY(Text(w.LedgerGrid, 0, 0).isEmpty());
    }

    void aLongRecordsLedgerComesFromTheWorkerWithTheSameFigures()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        LedgerWindow& w = *p.ledgerWindow;
        p.params.SetFDText("6024");
        p.params.SetKofDiscretItem(4);
        p.params.SetTcText("0,2");  // 2^19 columns
        p.mainWindow->LedgerItem->trigger();
        QVERIFY(w.Computing());
        QVERIFY(!w.LedgerGrid->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w.Computing(), 30000);
        QVERIFY(w.LedgerGrid->isEnabled());
        const Ledger ledger = ComputeLedger(p.main);
        QCOMPARE(Text(w.LedgerGrid, 7, 2), Q(FormatGeneral(*ledger.rows[7].dbStep, 4)));
    }
};

QTEST_MAIN(LedgerWindowTest)
#include "LedgerWindowTest.moc"
