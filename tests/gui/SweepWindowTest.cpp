// The sweep window as start-up wires it: opened from "Модель" on either tab,
// its fields writing the set-ups, the work on a worker thread with Stop, and
// the table and chart saved as the window shows them.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/ProgramWindows.h"
#include "gui/QtText.h"

using namespace sonavir;

namespace {

std::string Read(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class SweepWindowTest : public QObject {
    Q_OBJECT

private slots:
    void runsStopsAndSaves()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        SweepWindow& w = *p.sweepWindow;
        p.mainWindow->DetectionItem->trigger();
        QVERIFY(w.isVisible());
        QCOMPARE(w.Tabs->currentIndex(), SweepWindow::kDetectionTab);
        p.mainWindow->SweepItem->trigger();
        QCOMPARE(w.Tabs->currentIndex(), SweepWindow::kSweepTab);

        // A set-up from elsewhere (a scenario) shows; typing writes it back.
        p.main.sweep.param = "F0";
        emit p.bus.changed();
        QCOMPARE(w.ParamComboBox->currentText(), QStringLiteral("F0"));
        QTest::keyClicks(w.ValuesEdit, "3700;10300");
        QCOMPARE(p.main.sweep.values, std::string("3700;10300"));

        QTemporaryDir dir;
        QString chosen;
        w.chooseSaveFile = [&](const QString&, const QString&, QString& filter) {
            if (chosen.endsWith(".svg")) filter = QStringLiteral("SVG (*.svg)");
            return chosen;
        };
        w.SweepStartButtonClick();
        w.WaitForRun();
        QVERIFY(w.LastSweep() && w.LastSweep()->Done());
        QCOMPARE(w.SweepTable->rowCount(), 2);
        chosen = dir.filePath("sweep.csv");
        w.SweepTableButtonClick();
        QCOMPARE(Read(chosen), SweepCsv(*w.LastSweep()));

        // A stopped run leaves the last result as it was.
        p.main.sweep.values = "3700;5000;10300";
        w.runSeam = [](RunControl& c) {
            c.onCheckpoint = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
        };
        w.SweepStartButtonClick();
        QVERIFY(w.Running());
        w.SweepStartButtonClick();
        w.WaitForRun();
        QCOMPARE(w.SweepTable->rowCount(), 2);
        w.runSeam = nullptr;

        p.main.detection = {};
        p.main.detection.snrDb = "10";
        p.main.detection.trials = 300;
        w.DetectStartButtonClick();
        w.WaitForRun();
        QVERIFY(w.LastDetection() && w.LastDetection()->Done());
        QCOMPARE(w.DetectTable->rowCount(), 3);
        chosen = dir.filePath("pd.svg");
        w.DetectChartButtonClick();
        QVERIFY(Read(chosen).find("Pfa = 1E-6") != std::string::npos);
    }
};

QTEST_MAIN(SweepWindowTest)
#include "SweepWindowTest.moc"
