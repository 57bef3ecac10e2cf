// What is expected of a desktop program: saves that ask before replacing,
// cursors and zoom keys with one Escape order, shortcuts and menu letters on
// any layout, a fresh start, one name, captions that fit, tooltips, the
// guide, tool windows beside the picture and tables that copy and export.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QWheelEvent>
#include <atomic>
#include <thread>

#include "gui/CaptionFit.h"
#include "gui/ProgramWindows.h"
#include "gui/QtText.h"
#include "model/Scenario.h"
#include "tests/support/MainWindowFixture.h"

using namespace sonavir;

namespace {

QByteArray Bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

void Wheel(QWidget* widget, QPoint at, int delta)
{
    QWheelEvent e(at, widget->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &e);
}

}  // namespace

class DesktopHabitsTest : public QObject {
    Q_OBJECT

private slots:
    // Every save dialog asks before it replaces a file, also one it names by
    // the extension it adds; "No" leaves the file's bytes as they were.
    void savesAskBeforeReplacing()
    {
        ProgramWindows p;
        p.mainWindow->show();
        QTemporaryDir dir;
        struct Case {
            std::function<void()> open;
            const char* typed;
            const char* file;
        } cases[] = {{[&] { p.mainWindow->SaveToFileSpeedButtonClick(); }, "pic.bmp", "pic.bmp"},
                     {[&] { p.mainWindow->SaveToFileSpeedButtonClick(); }, "pic", "pic.bmp"},
                     {[&] { p.mainWindow->SaveScenarioItemClick(); }, "lab", "lab.svr"},
                     {[&] { p.ledgerWindow->LedgerActions.saveCsv->trigger(); }, "t.csv", "t.csv"}};
        for (const Case& c : cases) {
            const QString target = dir.filePath(QString::fromUtf8(c.file));
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("kept") == 4);
            f.close();
            int asked = 0;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    ++asked;
                    QMetaObject::invokeMethod(box->button(QMessageBox::No), "click", Qt::QueuedConnection);
                } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                    if (asked) {
                        dialog->reject();
                        return;
                    }
                    // Typed into the name field, as a user does.
                    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    QVERIFY(name);
                    name->setText(dir.filePath(QString::fromUtf8(c.typed)));
                    // Queued: the question it may ask runs outside this timer's call.
                    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                }
            });
            watch.start(20);
            c.open();
            QCOMPARE(asked, 1);
            QCOMPARE(Bytes(target), QByteArray("kept"));
        }
    }

    // Shift + click places A and B, P moves the last to the peak in view, the
    // wheel zooms, Backspace steps back; Escape stops a run, else clears the
    // cursors, else shows the whole signal.
    void cursorsZoomKeysAndOneEscapeOrder()
    {
        guitest::MainWindowFixture f;
        MainWindow& w = f.form;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        QTest::mouseClick(w.ResultImage, Qt::LeftButton, Qt::ShiftModifier, QPoint(150, 111));
        QTest::mouseClick(w.ResultImage, Qt::LeftButton, Qt::ShiftModifier, QPoint(600, 111));
        QVERIFY(f.state.Cursors().a && f.state.Cursors().b);
        QVERIFY(w.ReadoutText().contains(QStringLiteral("Δt = ")));
        QTest::keyClick(&w, Qt::Key_P);
        const ShownPlots& s = *f.state.Shown();
        QCOMPARE(*f.state.Cursors().b, s.axes.Dt * LargestPoint(s, PlotKind::Time, s.waveSpan));

        Wheel(w.ResultImage, QPoint(300, 111), 120);
        QVERIFY(f.state.zoom.time);
        QTest::keyClick(&w, Qt::Key_Backspace);
        QVERIFY(!f.state.zoom.Active());
        Wheel(w.ResultImage, QPoint(300, 111), 240);

        std::atomic<bool> hold{true};
        w.runSeam = [&](RunControl& control) {
            control.onCheckpoint = [&] {
                while (hold && !control.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
        };
        w.StartSpeedButtonClick();
        QVERIFY(w.Running());
        QTest::keyClick(&w, Qt::Key_Escape);
        QTRY_VERIFY(!w.Running());
        QVERIFY(f.state.Cursors().Any() && f.state.zoom.Active());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!f.state.Cursors().Any() && f.state.zoom.Active());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!f.state.zoom.Active());
    }

    // The shortcuts reach their items, and a menu's Cyrillic letter is typed
    // by the key that carries it on a Latin layout too.
    void shortcutsAndMenuLettersOnAnyLayout()
    {
        guitest::MainWindowFixture f;
        MainWindow& w = f.form;
        w.chooseSaveFile = [](const QString&, QString&) { return QString(); };
        w.chooseScenarioFile = [](bool, const QString&) { return QString(); };
        w.confirmNewScenario = [] { return false; };
        // With a run on the picture, so that the image menu and its save are on.
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const struct {
            QKeyCombination keys;
            QAction* item;
        } keys[] = {{QKeyCombination(Qt::ControlModifier, Qt::Key_S), w.SaveItem},
                    {QKeyCombination(Qt::ControlModifier, Qt::Key_O), w.OpenScenarioItem},
                    {QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_S), w.SaveScenarioItem},
                    {QKeyCombination(Qt::Key_F1), w.GuideItem},
                    {QKeyCombination(Qt::ControlModifier, Qt::Key_N), w.NewScenarioItem},
                    {QKeyCombination(Qt::ControlModifier, Qt::Key_Q), w.ExitItem}};
        for (const auto& k : keys) {
            QCOMPARE(k.item->shortcut(), QKeySequence(k.keys));
            QSignalSpy triggered(k.item, &QAction::triggered);
            QTest::keyClick(&w, k.keys.key(), k.keys.keyboardModifiers());
            QVERIFY2(triggered.count() == 1, qPrintable(k.item->text()));
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const struct {
            Qt::Key latin;
            QMenu* menu;
            char item;
            QAction* picked;
        } letters[] = {{Qt::Key_A, w.FileItem, 'j', w.OpenScenarioItem}, {Qt::Key_V, w.ModelItem, 'v', w.ParametrItem},
                       {Qt::Key_C, w.HelpItem, 'h', w.GuideItem}};
        for (const auto& l : letters) {
            QTest::keyClick(&w, l.latin, Qt::AltModifier);
            QTRY_VERIFY(l.menu->isVisible());
            QSignalSpy picked(l.picked, &QAction::triggered);
            QTest::keyClick(l.menu, l.item);
            QCOMPARE(picked.count(), 1);
            QTRY_VERIFY(!l.menu->isVisible());
        }
    }

    // "Новый сценарий" gives every setting its built-in default and a black
    // picture, asking first when the picture holds a run; "No" changes nothing.
    void newScenarioRestoresTheDefaultsAskingFirst()
    {
        guitest::MainWindowFixture f;
        MainWindow& w = f.form;
        int asked = 0;
        bool answer = false;
        w.confirmNewScenario = [&] {
            ++asked;
            return answer;
        };
        const std::string defaults = FormatScenario(Scenario{});
        f.params.SetSignalItem(kBarkerPulse);
        f.params.SetF0Text("3700");
        f.settings.SetDb(true);
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const std::string changed = FormatScenario(Scenario::Capture(f.state, w.sizing.Choice()));
        QVERIFY(changed != defaults);
        w.NewScenarioItem->trigger();
        QCOMPARE(asked, 1);
        QCOMPARE(FormatScenario(Scenario::Capture(f.state, w.sizing.Choice())), changed);
        answer = true;
        w.NewScenarioItem->trigger();
        QCOMPARE(asked, 2);
        QCOMPARE(FormatScenario(Scenario::Capture(f.state, w.sizing.Choice())), defaults);
        QVERIFY(!w.ImageItem->menuAction()->isEnabled() && f.state.Shown() == nullptr);
        QCOMPARE(f.picture.PixelAt(300, 111), kBlack);
        w.NewScenarioItem->trigger();  // nothing on the picture: no question
        QCOMPARE(asked, 2);
    }

    // The toolkit shows the program's one name; every window's caption fits
    // it; every parameter field and switch says what it is; F1 opens the guide.
    void nameCaptionsTooltipsAndGuide()
    {
        NameTheApplication();
        QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Сонавир"));
        ProgramWindows p;
        for (QWidget* window : std::initializer_list<QWidget*>{
                 p.mainWindow.get(), p.parametersWindow.get(), p.pictureSizeWindow.get(),
                 p.pictureSettingsWindow.get(), p.aboutWindow.get(), p.evaluationWindow.get(),
                 p.ledgerWindow.get(), p.guideWindow.get()})
            QVERIFY2(window->width() >= CaptionWidth(window->windowTitle()), qPrintable(window->windowTitle()));

        ParametersWindow& pw = *p.parametersWindow;
        for (QWidget* field : pw.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QComboBox*>(field) || qobject_cast<QCheckBox*>(field) ||
                                 qobject_cast<QSlider*>(field) || qobject_cast<QListWidget*>(field) ||
                                 qobject_cast<QPushButton*>(field) || qobject_cast<SpinEdit*>(field) ||
                                 (qobject_cast<QLineEdit*>(field) && !qobject_cast<QComboBox*>(field->parent()) &&
                                  !qobject_cast<SpinEdit*>(field->parent()));
            if (control) QVERIFY2(field->toolTip().count(u'\n') >= 2, qPrintable(field->objectName() + field->toolTip()));
        }
        QVERIFY(pw.REdit->toolTip().startsWith(QStringLiteral("Глубина: дальность")) &&
                pw.REdit->toolTip().section(u'\n', 0, 0).endsWith(QStringLiteral(", км")));
        QVERIFY(pw.GruntHeightComboBox->toolTip().startsWith(QStringLiteral("Глубина: толщина")) &&
                pw.GruntHeightComboBox->toolTip().section(u'\n', 0, 0).endsWith(QStringLiteral(", м")));

        p.mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.mainWindow.get()));
        QTest::keyClick(p.mainWindow.get(), Qt::Key_F1);
        QVERIFY(p.guideWindow->isVisible());
        QCOMPARE(p.guideWindow->GuideBrowser->documentTitle(), QStringLiteral("Сонавир: руководство"));
        // F1 from a tool window too.
        p.guideWindow->hide();
        p.parametersWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.parametersWindow.get()));
        QTest::keyClick(p.parametersWindow.get(), Qt::Key_F1);
        QVERIFY(p.guideWindow->isVisible());
    }

    // At 1280 x 1024 every tool window lies beside the main window; at
    // 1024 x 768 each stays on the screen and off the waveform, and the
    // evaluation's off the whole picture (the main window lower for it).
    void toolWindowsBesideThePicture()
    {
        ProgramWindows p;
        const QSize main = p.mainWindow->size();
        const QSize tools[] = {p.parametersWindow->size(), p.ledgerWindow->size(), p.evaluationWindow->size()};
        for (const QRect screen : {QRect(0, 0, 1280, 1024), QRect(0, 0, 1024, 768)}) {
            PlacementScene scene;
            scene.screen = screen;
            scene.mainFrame = PlaceMainWindow(screen, main, tools[0]);
            const int pictureTop = scene.mainFrame.top() + main.height() - Picture::kDefaultHeight - 24;
            scene.picture = QRect(scene.mainFrame.left(), pictureTop, main.width(), Picture::kDefaultHeight);
            scene.waveform = QRect(scene.picture.topLeft(), QSize(main.width(), Picture::kDefaultHeight / 2));
            scene.minPictureHeight = kMinPictureHeight;
            for (int i = 0; i < 3; ++i) {
                const ToolPlacement place = PlaceToolWindow(scene, tools[i], i == 2);
                const QRect frame(place.at, tools[i]);
                QVERIFY(screen.contains(frame));
                QVERIFY(!frame.intersects(scene.waveform));
                QRect picture = scene.picture;
                if (place.mainHeight) picture.setBottom(picture.bottom() - (scene.mainFrame.height() - place.mainHeight));
                if (i == 2) QVERIFY(!frame.intersects(picture) && picture.height() >= kMinPictureHeight);
                if (screen.width() == 1280) QCOMPARE(place.tier, 0);
                if (i < 2) scene.taken.push_back(frame);
            }
        }
        // A window that fits itself to its table on showing is placed at the
        // size it then has.
        p.mainWindow->show();
        p.ShowToolWindow(p.ledgerWindow.get());
        const QRect ledger = p.ledgerWindow->frameGeometry();
        QCOMPARE(ledger.topLeft(), PlaceToolWindow(p.SceneFor(p.ledgerWindow.get()), ledger.size(), false).at);
        // Where the user moved it, it stays for the session.
        p.ledgerWindow->move(ledger.topLeft() + QPoint(17, 9));
        p.ledgerWindow->hide();
        p.ShowToolWindow(p.ledgerWindow.get());
        QCOMPARE(p.ledgerWindow->frameGeometry().topLeft(), ledger.topLeft() + QPoint(17, 9));
    }

    // A table copies as tab-separated text and saves as CSV what it shows,
    // its headers included.
    void tablesCopyAndSaveWhatTheyShow()
    {
        ProgramWindows p;
        LedgerWindow& w = *p.ledgerWindow;
        w.show();
        QTableWidget* grid = w.LedgerGrid;
        QTemporaryDir dir;
        w.chooseCsvFile = [&] { return dir.filePath(QStringLiteral("ledger.csv")); };
        w.LedgerActions.saveCsv->trigger();
        w.LedgerActions.copy->trigger();
        const QStringList csv = QString::fromUtf8(Bytes(dir.filePath(QStringLiteral("ledger.csv")))).split(u'\n');
        const QStringList copied = QApplication::clipboard()->text().split(u'\n');
        QCOMPARE(csv.size(), grid->rowCount() + 2);  // headers, rows, the last line's end
        QCOMPARE(copied.size(), csv.size());
        for (int r = 0; r < grid->rowCount(); ++r) {
            QStringList cells{grid->verticalHeaderItem(r)->text()};
            for (int c = 0; c < grid->columnCount(); ++c) cells << grid->item(r, c)->text();
            QCOMPARE(csv[r + 1], cells.join(u';'));
            QCOMPARE(copied[r + 1], cells.join(u'\t'));
        }
        QCOMPARE(csv[0].section(u';', 1, 1), grid->horizontalHeaderItem(0)->text());
        // A selection copies its cells alone.
        grid->setRangeSelected(QTableWidgetSelectionRange(2, 1, 3, 2), true);
        w.LedgerActions.copy->trigger();
        QCOMPARE(QApplication::clipboard()->text(), grid->item(2, 1)->text() + u'\t' + grid->item(2, 2)->text() +
                                                        u'\n' + grid->item(3, 1)->text() + u'\t' +
                                                        grid->item(3, 2)->text() + u'\n');
    }
};

QTEST_MAIN(DesktopHabitsTest)
#include "DesktopHabitsTest.moc"
