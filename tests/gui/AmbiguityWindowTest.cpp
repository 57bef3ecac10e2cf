// The ambiguity window as start-up wires it: opened from "Модель", its map
// worked out on a worker thread and following the parameters, a stop that
// keeps the picture shown, the readout and a vector file.
#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/ProgramWindows.h"
#include "tests/support/TempDir.h"

using namespace sonavir;

class AmbiguityWindowTest : public QObject {
    Q_OBJECT

private slots:
    void mapFollowsStopsReadsAndSaves()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        AmbiguityWindow& w = *p.ambiguityWindow;
        p.mainWindow->AmbiguityItem->trigger();
        QVERIFY(w.isVisible());
        w.WaitForRun();
        QVERIFY(w.View().HasMap());
        QVERIFY(!w.View().Result().target);

        // A target typed in the parameters window: a new map, with its marker.
        QLineEdit* v = p.parametersWindow->VEdit;
        v->selectAll();
        QTest::keyClicks(v, "10");
        QTRY_VERIFY(w.View().Result().target && !w.Computing());
        QCOMPARE(static_cast<double>(w.View().Result().target->velocity), 10.0);
        QVERIFY(w.View().Data().marker);

        const QRect map = LayoutAmbiguity(w.View().Width(), w.View().Height()).map;
        QMouseEvent move(QEvent::MouseMove, QPointF(map.center()), QPointF(w.MapImage->mapToGlobal(map.center())),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w.MapImage, &move);
        QVERIFY(w.ReadoutLabel->text().contains(QStringLiteral("c·ν/(2·F0) = ")));

        // A slowed map, stopped: the picture and the result shown stay.
        const QImage before = w.View().Image();
        w.runSeam = [](RunControl& c) { c.onCheckpoint = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }; };
        w.WidebandCheckBox->click();
        QVERIFY(w.Computing());
        w.StopButton->click();
        w.WaitForRun();
        QVERIFY(w.View().Image() == before);
        QVERIFY(!w.View().Result().request.wideband);
        w.runSeam = {};
        w.Recompute();
        w.WaitForRun();
        QVERIFY(w.View().Result().request.wideband);

        // A vector file: the map an image, the measures text.
        testsupport::TempDir dir;
        w.chooseSaveFile = [&](const QString&, QString& filter) {
            filter = QStringLiteral("SVG (*.svg)");
            return QString::fromStdString(dir / "map");
        };
        w.SaveButton->click();
        std::ifstream in(dir / "map.svg");
        std::stringstream svg;
        svg << in.rdbuf();
        QVERIFY(svg.str().find("<image") != std::string::npos);
        QVERIFY(svg.str().find("Ширина по задержке") != std::string::npos);
    }
};

QTEST_MAIN(AmbiguityWindowTest)
#include "AmbiguityWindowTest.moc"
