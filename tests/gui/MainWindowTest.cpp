// The main window driven through its controls: navigation, Start, the
// picture's menu and the click on the picture, resizing.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "gui/MainWindow.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "tests/support/MainWindowFixture.h"

using namespace sonavir;

namespace {

// Everything that mixes another colour into the picture counts as drawn.
bool AllPixels(const Picture& picture, TColor color)
{
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.PixelAt(x, y) != color) return false;
    return true;
}

bool SamePixels(const Picture& a, const Picture& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelAt(x, y) != b.PixelAt(x, y)) return false;
    return true;
}

// Holds every run at its checkpoints until released or stopped (at most 10 s).
struct HeldRuns {
    std::atomic<bool> release{false};
    std::function<void(RunControl&)> Seam()
    {
        return [this](RunControl& control) {
            control.onCheckpoint = [this, &control] {
                for (int i = 0; i < 10000 && !release && !control.StopRequested(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
        };
    }
};

void Pick(QComboBox* combo, int item)
{
    // What a user's choice does: the index changes, then activated.
    combo->setCurrentIndex(item);
    emit combo->activated(item);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    using Fixture = guitest::MainWindowFixture;

private slots:
    void startState()
    {
        Fixture f;
        MainWindow& w = f.form;
        QCOMPARE(w.windowTitle(), QStringLiteral("Сонавир"));
        QCOMPARE(w.ModelComboBox->currentText(), QStringLiteral("Сигнал"));
        QCOMPARE(w.PathComboBox->currentText(), QStringLiteral("Модель"));
        QCOMPARE(w.ModelComboBox->count(), 5);
        QCOMPARE(w.PathComboBox->count(), 8);
        QVERIFY(w.PathComboBox->isEnabled());
        QVERIFY(!w.PrevPathSpeedButton->isEnabled());
        QVERIFY(w.NextPathSpeedButton->isEnabled());
        QVERIFY(!w.ImageItem->menuAction()->isEnabled());
        QVERIFY(w.StatusText().isEmpty());
        // The default window gives the picture exactly 785 x 484, black.
        QCOMPARE(w.ResultImage->size(), QSize(785, 484));
        QCOMPARE(f.picture.Width(), 785);
        QCOMPARE(f.picture.Height(), 484);
        QVERIFY(AllPixels(f.picture, kBlack));
        QCOMPARE(w.PathComboBox->width(), w.width() - 97);
        QCOMPARE(w.Bevel5->x(), w.width() - 15);
        QCOMPARE(w.ModelComboBox->width(), 145);
        QCOMPARE(w.StartSpeedButton->toolTip(), QStringLiteral("Пуск"));
    }

    void menuLayout()
    {
        Fixture f;
        QStringList texts;
        for (QAction* a : f.form.ImageItem->actions()) texts << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(texts, (QStringList{"&Сохранить", "-", "&Размер", "-", "&Настройки...", "-", "&Весь сигнал",
                                     "&Предыдущий масштаб", "-", "Курсор на пи&к", "Убрать к&урсоры", "-",
                                     "&Запомнить как эталон", "Убрать &эталон"}));
        texts.clear();
        for (QAction* a : f.form.HelpItem->actions()) texts << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(texts, (QStringList{"&Руководство", "-", "&Проверить обновление",
                                     "С&качать описание имитационной модели", "-", "&Все программы",
                                     "&Открыть сайт разработчика", "-", "По&ддержка", "-", "О про&грамме..."}));
    }

    void walkingThePath()
    {
        Fixture f;
        MainWindow& w = f.form;
        for (int i = 0; i < 7; ++i) {
            QVERIFY(w.NextPathSpeedButton->isEnabled());
            QTest::mouseClick(w.NextPathSpeedButton, Qt::LeftButton);
            QCOMPARE(w.PathComboBox->currentIndex(), i + 1);
            QVERIFY(w.PrevPathSpeedButton->isEnabled());
        }
        QCOMPARE(w.PathComboBox->currentText(), QStringLiteral("Отраженный и принятый антенной"));
        QVERIFY(!w.NextPathSpeedButton->isEnabled());
        QTest::mouseClick(w.PrevPathSpeedButton, Qt::LeftButton);
        QCOMPARE(w.PathComboBox->currentIndex(), 6);
        QVERIFY(w.NextPathSpeedButton->isEnabled());
        QVERIFY(w.PrevPathSpeedButton->isEnabled());

        // Picking a stage sets the buttons by its place in the list.
        Pick(w.PathComboBox, 0);
        QVERIFY(!w.PrevPathSpeedButton->isEnabled());
        QVERIFY(w.NextPathSpeedButton->isEnabled());
        Pick(w.PathComboBox, 7);
        QVERIFY(w.PrevPathSpeedButton->isEnabled());
        QVERIFY(!w.NextPathSpeedButton->isEnabled());
        QCOMPARE(f.state.pathStage, 7);
    }

    void singleModelGreysThePath()
    {
        Fixture f;
        MainWindow& w = f.form;
        QTest::mouseClick(w.NextPathSpeedButton, Qt::LeftButton);
        QSignalSpy pathActivated(w.PathComboBox, &QComboBox::activated);
        Pick(w.ModelComboBox, 3);
        QCOMPARE(w.PathComboBox->currentIndex(), 0);
        QCOMPARE(pathActivated.count(), 0);  // the program's own selection
        QVERIFY(!w.PathComboBox->isEnabled());
        QCOMPARE(w.PathComboBox->palette().color(QPalette::Base), QColor(192, 192, 192));
        QCOMPARE(w.PathComboBox->palette().color(QPalette::Text), QColor(128, 128, 128));
        QVERIFY(!w.PrevPathSpeedButton->isEnabled());
        QVERIFY(!w.NextPathSpeedButton->isEnabled());

        Pick(w.ModelComboBox, 0);
        QVERIFY(w.PathComboBox->isEnabled());
        QCOMPARE(w.PathComboBox->palette().color(QPalette::Base),
                 QApplication::palette(w.PathComboBox).color(QPalette::Base));
        QVERIFY(!w.PrevPathSpeedButton->isEnabled());
        QVERIFY(w.NextPathSpeedButton->isEnabled());
    }

    void startShowsStatusAndEnablesTheImageMenu()
    {
        Fixture f;
        MainWindow& w = f.form;
        Pick(w.ModelComboBox, 4);
        // Changing choices does not draw; Start does.
        QVERIFY(AllPixels(f.picture, kBlack));
        f.settings.shortForm = true;
        QTest::mouseClick(w.StartSpeedButton, Qt::LeftButton);
        w.WaitForRun();
        QVERIFY(f.errors.empty());
        QCOMPARE(w.StatusText(), QStringLiteral("Объект - Модель"));
        QVERIFY(w.ImageItem->menuAction()->isEnabled());
        QVERIFY(!AllPixels(f.picture, kBlack));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The settings window is back in its full form.
        QVERIFY(!f.settingsWindow.ScaleGroupBox->isHidden());
        QCOMPARE(f.settingsWindow.height(), f.settingsWindow.ClientHeight());

        const QImage before = f.picture.Surface().copy();
        Pick(w.ModelComboBox, 0);
        QTest::mouseClick(w.NextPathSpeedButton, Qt::LeftButton);
        w.FilterCheckBox->setChecked(true);
        QCOMPARE(f.picture.Surface(), before);
        QVERIFY(f.params.filterOn);

        w.StartItem->trigger();
        w.WaitForRun();
        QCOMPARE(w.StatusText(), QStringLiteral("Сигнал - Излученный антенной"));
    }

    void failedStartLeavesStatusBlank()
    {
        Fixture f;
        MainWindow& w = f.form;
        // A zero frequency has no samples to make: the run fails.
        f.params.p.F0 = 0;
        f.params.p.Fmax = 0;
        f.params.p.Dt = 0;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        QCOMPARE(f.errors.size(), std::size_t(1));
        QVERIFY(w.StatusText().isEmpty());
        QVERIFY(!w.ImageItem->menuAction()->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void failureOfAnyKindIsReportedNotFatal()
    {
        // A failure from outside the program's own (a thread the system
        // refuses, say) is reported the same way, with its message.
        Fixture f;
        f.state.onMemoryFigures = [] {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "thread");
        };
        f.form.StartSpeedButtonClick();
        f.form.WaitForRun();
        QCOMPARE(f.errors.size(), std::size_t(1));
        QVERIFY(f.errors[0].rfind("thread: ", 0) == 0);
        QVERIFY(f.form.StatusText().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void clickOnPictureOpensSettingsThere()
    {
        Fixture f;
        MainWindow& w = f.form;
        bool opened = false;
        QTimer::singleShot(0, [&] { opened = f.settingsWindow.isVisible(); f.settingsWindow.reject(); });
        QTest::mouseClick(w.ResultImage, Qt::LeftButton, {}, QPoint(120, 60));
        QApplication::processEvents();
        QVERIFY(!opened);

        w.StartSpeedButtonClick();
        w.WaitForRun();
        // The first showing is centred whatever was clicked.
        QTimer::singleShot(0, [&] { f.settingsWindow.reject(); });
        w.ImageOptionItemClick();
        QVERIFY(f.settingsWindow.ShownBefore());

        QPoint where;
        QTimer::singleShot(0, [&] {
            opened = f.settingsWindow.isVisible();
            where = f.settingsWindow.pos();
            f.settingsWindow.reject();
        });
        // Off the plots (on them Shift places a cursor).
        QTest::mouseClick(w.ResultImage, Qt::LeftButton, Qt::ShiftModifier, QPoint(20, 60));
        QVERIFY(opened);
        QCOMPARE(where, QPoint(20, 60));
    }

    void dragZoomsOnePlotAndAClickStillOpensTheSettings()
    {
        Fixture f;
        MainWindow& w = f.form;
        // Whatever opens the settings is closed again and noted.
        int opened = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (f.settingsWindow.isVisible()) {
                ++opened;
                f.settingsWindow.reject();
            }
        });
        watch.start(10);
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const Picture whole = f.picture;
        QVERIFY(w.ReadoutText().startsWith(QStringLiteral("пик: t = ")));

        // A drag across the waveform, shown inverted until the release.
        w.ResultImagePress(QPoint(300, 111), Qt::LeftButton);
        w.ResultImageMove(QPoint(301, 111));
        QVERIFY(!w.ResultImage->Selection());
        w.ResultImageMove(QPoint(500, 120));
        QCOMPARE(w.ResultImage->Selection(), std::optional<QRect>(QRect(QPoint(300, 18), QPoint(500, 203))));
        QVERIFY(w.ReadoutText().startsWith(QStringLiteral("t = ")));
        w.ResultImageRelease(QPoint(500, 120), Qt::LeftButton);
        QVERIFY(!w.ResultImage->Selection());
        QVERIFY(f.state.zoom.time && !f.state.zoom.frequency);
        QVERIFY(w.WholeSignalItem->isEnabled());
        bool spectrumKept = true, waveChanged = false;
        for (int y = 0; y < 484; ++y)
            for (int x = 0; x < 785; ++x) {
                const bool same = f.picture.PixelAt(x, y) == whole.PixelAt(x, y);
                if (y >= 242) spectrumKept = spectrumKept && same;
                else waveChanged = waveChanged || !same;
            }
        QVERIFY(spectrumKept && waveChanged);
        QTest::qWait(50);
        QCOMPARE(opened, 0);

        // A click on the zoomed plot waits for a possible double click...
        w.ResultImagePress(QPoint(200, 100), Qt::LeftButton);
        w.ResultImageRelease(QPoint(201, 100), Qt::LeftButton);
        QCOMPARE(opened, 0);
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QCOMPARE(opened, 1);
        // ...which shows the whole run again, settings unopened. The second
        // press comes with the double click, its release after it.
        w.ResultImagePress(QPoint(200, 100), Qt::LeftButton);
        w.ResultImageRelease(QPoint(200, 100), Qt::LeftButton);
        w.ResultImagePress(QPoint(200, 100), Qt::LeftButton);
        w.ResultImageDoubleClick(QPoint(200, 100));
        w.ResultImageRelease(QPoint(200, 100), Qt::LeftButton);
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QCOMPARE(opened, 1);
        QVERIFY(!f.state.zoom.Active());
        QVERIFY(!w.WholeSignalItem->isEnabled());
        QVERIFY(SamePixels(f.picture, whole));
        // Unzoomed, a click on a plot opens the settings at once, as always.
        w.ResultImagePress(QPoint(200, 400), Qt::LeftButton);
        w.ResultImageRelease(QPoint(200, 400), Qt::LeftButton);
        QCOMPARE(opened, 2);
    }

    void zoomOutlivesResizeAndEscapeEndsIt()
    {
        Fixture f;
        MainWindow& w = f.form;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const Picture whole = f.picture;
        w.ResultImagePress(QPoint(300, 400), Qt::LeftButton);
        w.ResultImageMove(QPoint(420, 400));
        w.ResultImageRelease(QPoint(420, 400), Qt::LeftButton);
        QVERIFY(f.state.zoom.frequency);

        // The picture is drawn again at its new size, still zoomed.
        w.resize(w.width() + 100, w.height() + 80);
        QApplication::processEvents();
        QCOMPARE(f.picture.Width(), w.ResultImage->width());
        QVERIFY(!AllPixels(f.picture, kBlack));
        QVERIFY(f.state.PlotsOnPicture());
        QVERIFY(f.state.zoom.frequency);

        QCOMPARE(w.WholeSignalItem->shortcut(), QKeySequence(Qt::Key_Escape));
        w.WholeSignalItem->trigger();
        QVERIFY(!f.state.zoom.Active());
        w.resize(w.width() - 100, w.height() - 80);
        QApplication::processEvents();
        // Without a zoom a resize blanks the picture, and nothing is read.
        QVERIFY(AllPixels(f.picture, kBlack));
        QVERIFY(w.ReadoutText().isEmpty());
        w.StartSpeedButtonClick();
        w.WaitForRun();
        QVERIFY(SamePixels(f.picture, whole));
    }

    void referenceIsHeldUnderTheNextRunAndLetGo()
    {
        Fixture f;
        MainWindow& w = f.form;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        QVERIFY(w.HoldReferenceItem->isEnabled());
        QVERIFY(!w.DropReferenceItem->isEnabled());
        w.HoldReferenceItem->trigger();
        QVERIFY(f.errors.empty());
        QVERIFY(w.DropReferenceItem->isEnabled());

        // The next run draws it underneath and reads it.
        w.NextPathSpeedButtonClick();
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const Picture over = f.picture;
        w.ResultImageMove(QPoint(300, 111));
        QVERIFY(w.ReadoutText().contains(QStringLiteral("   эталон = ")));

        // Let go, the picture is the run's alone, as its next Start draws it.
        w.DropReferenceItem->trigger();
        QVERIFY(!w.DropReferenceItem->isEnabled());
        QVERIFY(!SamePixels(f.picture, over));
        const Picture dropped = f.picture;
        QVERIFY(!w.ReadoutText().contains(QStringLiteral("эталон")));
        w.StartSpeedButtonClick();
        w.WaitForRun();
        QVERIFY(SamePixels(f.picture, dropped));
    }

    void resizeRefillsInTheCurrentBackground()
    {
        Fixture f;
        MainWindow& w = f.form;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        f.settingsWindow.BlackOnWhiteRadioButton->click();
        QCOMPARE(f.settings.PlotBackColor, kWhite);
        // The new scheme alone does not touch the picture...
        QVERIFY(!AllPixels(f.picture, kWhite));
        // ...a resize in auto size blanks it in the new background.
        w.resize(w.width() - 120, w.height() - 60);
        QApplication::processEvents();
        QCOMPARE(f.picture.Width(), w.ResultImage->width());
        QCOMPARE(f.picture.Height(), w.ResultImage->height());
        QCOMPARE(w.ResultImage->size(), w.PictureAreaSize());
        QVERIFY(AllPixels(f.picture, kWhite));
        QCOMPARE(w.PathComboBox->width(), w.width() - 97);

        // Narrow windows hide the row-end marks.
        w.resize(480, w.height());
        QApplication::processEvents();
        QVERIFY(w.Bevel5->isHidden());
        w.resize(700, w.height());
        QApplication::processEvents();
        QVERIFY(!w.Bevel6->isHidden());
        QCOMPARE(w.Bevel6->x(), 685);

        // A picture area lower than the smallest picture holds the top of one.
        w.resize(700, 200);
        QApplication::processEvents();
        QVERIFY(w.PictureAreaSize().height() < kMinPictureHeight);
        QCOMPARE(f.picture.Height(), kMinPictureHeight);
        QCOMPARE(f.picture.Width(), w.PictureAreaSize().width());
        QCOMPARE(w.ResultImage->size(), w.PictureAreaSize());

        // However narrow the user drags it, the first tool row stays whole.
        w.resize(120, w.height());
        QApplication::processEvents();
        QVERIFY(w.width() > 120);
        QVERIFY(w.NormCheckBox->geometry().right() < w.ToolPanel->width());
        QCOMPARE(w.PathComboBox->width(), w.width() - 97);
    }

    void aRunLeavesTheWindowLiveAndStopLeavesThePreviousPicture()
    {
        Fixture f;
        MainWindow& w = f.form;
        w.StartSpeedButtonClick();
        w.WaitForRun();
        const QImage before = f.picture.Surface().copy();
        const QString status = w.StatusText();

        HeldRuns held;
        w.runSeam = held.Seam();
        Pick(w.PathComboBox, 7);
        w.StartSpeedButtonClick();
        QVERIFY(w.Running());
        QCOMPARE(w.StartSpeedButton->toolTip(), QStringLiteral("Стоп"));
        // The event loop serves a timer while the run is held.
        bool served = false;
        QTimer::singleShot(0, [&] { served = true; });
        QTRY_VERIFY(served);
        QVERIFY(w.Running());
        QVERIFY(f.state.Shown() != nullptr);  // the previous plots stay readable
        QTRY_VERIFY(w.RunProgressBar->isVisible());

        QTest::keyClick(&w, Qt::Key_Escape);
        QTRY_VERIFY(!w.Running());
        QCOMPARE(f.picture.Surface(), before);
        QCOMPARE(w.StatusText(), status);
        QCOMPARE(w.StartSpeedButton->toolTip(), QStringLiteral("Пуск"));
        QVERIFY(!w.RunProgressBar->isVisible());
    }

    void autoRunStopsAStaleRunAndFollowsTheSettings()
    {
        Fixture f;
        MainWindow& w = f.form;
        HeldRuns held;
        w.runSeam = held.Seam();
        QSignalSpy completed(&w, &MainWindow::started);
        w.AutoRunItem->trigger();
        QVERIFY(f.state.autoRun);
        QTRY_VERIFY(w.Running());  // turning it on runs what is set
        Pick(w.PathComboBox, 3);
        // The run for stage 0 is stale: stopped, and stage 3's started.
        QTRY_VERIFY(w.Running() && f.state.Request().pathStage == 3);
        QTest::qWait(3 * MainWindow::kAutoRunIntervalMs);
        QCOMPARE(completed.count(), 0);
        held.release = true;
        QTRY_COMPARE(w.StatusText(), QStringLiteral("Сигнал - Прошедший грунт"));
        QTRY_VERIFY(!w.Running());
        QCOMPARE(completed.count(), 1);

        // Only the picture settings changed: the kept plots again, no run.
        f.settings.SetColorItem(1);
        w.SyncFromState();
        QVERIFY(!w.Running());
        QCOMPARE(f.picture.PixelAt(0, 0), kWhite);
        QCOMPARE(completed.count(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
