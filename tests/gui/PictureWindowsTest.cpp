// The picture settings and picture size windows, and saving the picture.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "gui/CaptionFit.h"
#include "gui/MainWindow.h"
#include "gui/PictureSettingsWindow.h"
#include "gui/PictureSizeWindow.h"
#include "tests/support/MainWindowFixture.h"

using namespace sonavir;

class PictureWindowsTest : public QObject {
    Q_OBJECT

    struct Fixture : guitest::MainWindowFixture {

        // Opens the size window modally and runs the steps inside it.
        void InSizeWindow(const std::function<void()>& steps)
        {
            QTimer::singleShot(0, [&] {
                steps();
                if (sizeWindow.isVisible()) sizeWindow.reject();
            });
            form.ImageSizeItemClick();
        }
    };

    // Every caption fits its control and every control lies in the window.
    static void CheckNothingClipped(QWidget& window)
    {
        for (QWidget* child : window.findChildren<QWidget*>()) {
            if (child->isHidden() || child->parentWidget()->isHidden()) continue;
            const QRect r(child->mapTo(&window, QPoint(0, 0)), child->size());
            QVERIFY2(window.rect().contains(r), qPrintable(child->metaObject()->className()));
            if (auto* label = qobject_cast<QLabel*>(child))
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            if (auto* box = qobject_cast<QCheckBox*>(child))
                QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
        }
    }

private slots:
    void nothingClipped()
    {
        Fixture f;
        CheckNothingClipped(f.sizeWindow);
        CheckNothingClipped(f.settingsWindow);
        // "Авторазмер" keeps its margin from the right edge.
        QVERIFY(f.sizeWindow.ImageSizeCheckBox->geometry().right() + 8 < f.sizeWindow.width());
    }

    void settingsDefaultsAndScaleCascade()
    {
        Fixture f;
        PictureSettingsWindow& o = f.settingsWindow;
        QCOMPARE(o.windowTitle(), QStringLiteral("Настройки изображения"));
        QVERIFY(o.WhiteOnBlackRadioButton->isChecked());
        QCOMPARE(f.settings.PlotForeColor, kWhite);
        QCOMPARE(o.AmplitudeSpinEdit->value(), 4);
        QCOMPARE(o.TcSpinEdit->value(), 6);
        QCOMPARE(o.FSpinEdit->value(), 6);
        // 265 wide at least, wider where the caption needs it.
        QCOMPARE(o.size(), QSize(std::max(265, CaptionWidth(o.windowTitle())), 240));

        o.TcCheckBox->click();
        QVERIFY(!o.TcSpinEdit->isEnabled());
        QVERIFY(!f.settings.tc);

        // "Шкала в дБ": off by default, on at a click, and left alone by "Шкала".
        QVERIFY(!o.DbCheckBox->isChecked());
        o.DbCheckBox->click();
        QVERIFY(f.settings.db);

        o.ScaleCheckBox->click();
        for (QCheckBox* box : {o.AmplitudeCheckBox, o.TcCheckBox, o.FCheckBox}) {
            QVERIFY(!box->isChecked());
            QVERIFY(!box->isEnabled());
        }
        for (SpinEdit* spin : {o.AmplitudeSpinEdit, o.TcSpinEdit, o.FSpinEdit}) QVERIFY(!spin->isEnabled());
        QVERIFY(o.DbCheckBox->isChecked() && o.DbCheckBox->isEnabled() && f.settings.db);

        // On again: all three ticks come back, whatever they were before.
        o.ScaleCheckBox->click();
        for (QCheckBox* box : {o.AmplitudeCheckBox, o.TcCheckBox, o.FCheckBox}) {
            QVERIFY(box->isChecked());
            QVERIFY(box->isEnabled());
        }
        for (SpinEdit* spin : {o.AmplitudeSpinEdit, o.TcSpinEdit, o.FSpinEdit}) QVERIFY(spin->isEnabled());
        QVERIFY(f.settings.scale && f.settings.amplitude && f.settings.tc && f.settings.f);

        QLineEdit* fText = o.FSpinEdit->findChild<QLineEdit*>();
        fText->selectAll();
        QTest::keyClicks(fText, "12");
        QCOMPARE(f.settings.fCount, 12);
        o.BlackOnWhiteRadioButton->click();
        QCOMPARE(f.settings.PlotForeColor, kBlack);
        QCOMPARE(f.settings.PlotBackColor, kWhite);
    }

    void tickCountsTakeTypedDigitsAndKeepTheRange()
    {
        Fixture f;
        PictureSettingsWindow& o = f.settingsWindow;
        QLineEdit* text = o.AmplitudeSpinEdit->findChild<QLineEdit*>();
        text->selectAll();
        QTest::keyClicks(text, "45");
        // Taken as typed while the field has the focus; the plotter's count
        // never leaves 1 .. 30.
        QCOMPARE(text->text(), QString("45"));
        QCOMPARE(f.settings.amplitudeCount, 30);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(o.AmplitudeSpinEdit, &out);
        QCOMPARE(text->text(), QString("30"));

        text->selectAll();
        QTest::keyClick(text, Qt::Key_Backspace);
        QCOMPARE(f.settings.amplitudeCount, 1);  // not a number: the minimum
        QTest::keyClicks(text, "0");
        QCOMPARE(f.settings.amplitudeCount, 1);
        QApplication::sendEvent(o.AmplitudeSpinEdit, &out);
        QCOMPARE(text->text(), QString("1"));

        QTest::keyClicks(text, "x");  // letters are refused
        QCOMPARE(text->text(), QString("1"));
    }

    void settingsShortForm()
    {
        Fixture f;
        f.settings.shortForm = true;
        emit f.bus.changed();
        QVERIFY(f.settingsWindow.ScaleGroupBox->isHidden());
        QCOMPARE(f.settingsWindow.height(), 155 - PictureSettingsWindow::kCaptionHeight);
        // The close button stays inside, at the bottom.
        QVERIFY(f.settingsWindow.rect().contains(
            f.settingsWindow.CloseSpeedButton->mapTo(&f.settingsWindow, f.settingsWindow.CloseSpeedButton->rect().bottomRight())));
        f.state.Start();
        emit f.bus.changed();
        QVERIFY(!f.settingsWindow.ScaleGroupBox->isHidden());
        QCOMPARE(f.settingsWindow.height(), 240);
    }

    void sizeWindowShowsTheBitmapSize()
    {
        Fixture f;
        f.InSizeWindow([&] {
            QCOMPARE(f.sizeWindow.HorizEdit->text(), QStringLiteral("785"));
            QCOMPARE(f.sizeWindow.VertEdit->text(), QStringLiteral("484"));
            QVERIFY(f.sizeWindow.ImageSizeCheckBox->isChecked());
            QVERIFY(!f.sizeWindow.SizeGroupBox->isEnabled());
            f.sizeWindow.ImageSizeCheckBox->click();
            QVERIFY(f.sizeWindow.SizeGroupBox->isEnabled());
            QVERIFY(!f.form.sizing.ImageAutoSize);
        });
        // Closed with the close box: nothing applied, but auto size is off.
        QVERIFY(f.form.sizing.aligned);
        f.form.resize(700, 500);
        QApplication::processEvents();
        QCOMPARE(f.picture.Width(), 785);
    }

    void fixedSizeIsSavedAtThatSize()
    {
        Fixture f;
        f.form.StartSpeedButtonClick();
        f.form.WaitForRun();
        bool closed = false;
        f.InSizeWindow([&] {
            f.sizeWindow.ImageSizeCheckBox->click();
            f.sizeWindow.HorizEdit->clear();
            QTest::keyClicks(f.sizeWindow.HorizEdit, "1000");
            f.sizeWindow.VertEdit->clear();
            QTest::keyClicks(f.sizeWindow.VertEdit, "300");
            f.sizeWindow.CloseSpeedButton->click();
            closed = !f.sizeWindow.isVisible();
        });
        QVERIFY(closed);
        QVERIFY(f.errors.empty());
        QCOMPARE(f.form.ResultImage->geometry(), QRect(0, 0, 1000, 300));
        QCOMPARE(f.picture.Width(), 1000);
        QCOMPARE(f.picture.Height(), 300);
        // A fixed picture ignores the window's size.
        f.form.resize(600, 400);
        QApplication::processEvents();
        QCOMPARE(f.picture.Width(), 1000);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString chosen = dir.filePath("echo");
        QString offered = "none";
        f.form.chooseSaveFile = [&](const QString& last, QString&) {
            offered = last;
            return chosen;
        };
        f.form.SaveToFileSpeedButtonClick();
        QVERIFY(f.errors.empty());
        const QImage saved(chosen + ".bmp", "BMP");
        QCOMPARE(saved.size(), QSize(1000, 300));
        QVERIFY(offered.isEmpty());
        // The dialog offers the extended name next time; cancelling saves nothing.
        f.form.chooseSaveFile = [&](const QString& last, QString&) {
            offered = last;
            return QString();
        };
        f.form.SaveItem->trigger();
        QCOMPARE(offered, chosen + ".bmp");

        // Another extension is kept, the content is BMP all the same.
        f.form.SaveToFile(dir.filePath("echo.png"));
        QCOMPARE(QImage(dir.filePath("echo.png"), "BMP").size(), QSize(1000, 300));

        // The other filters write their own format, add their extension to a
        // name without one, and are offered again the next time.
        QStringList offeredFilters;
        for (const char* filter : {"PNG (*.png)", "SVG (*.svg)", "PDF (*.pdf)"}) {
            f.form.chooseSaveFile = [&](const QString&, QString& chosen) {
                offeredFilters << chosen;
                chosen = filter;
                return dir.filePath("vector");
            };
            f.form.SaveToFileSpeedButtonClick();
        }
        QCOMPARE(offeredFilters, QStringList({"Изображение в формате BMP (*.bmp)", "PNG (*.png)", "SVG (*.svg)"}));
        QCOMPARE(f.form.lastSaveName, dir.filePath("vector.pdf"));
        QCOMPARE(QImage(dir.filePath("vector.png"), "PNG").size(), QSize(1000, 300));
        QFile svg(dir.filePath("vector.svg")), pdf(dir.filePath("vector.pdf"));
        QVERIFY(svg.open(QIODevice::ReadOnly) && pdf.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("viewBox=\"0 0 1000 300\""));
        QVERIFY(pdf.readAll().startsWith("%PDF-"));
        QVERIFY(f.errors.empty());

        f.form.SaveToFile(dir.filePath("missing/echo"));
        QCOMPARE(f.errors.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(f.errors[0]).startsWith("Cannot create file"));
    }

    void refusedSizeKeepsTheWindowOpen()
    {
        Fixture f;
        bool stillOpen = false;
        f.InSizeWindow([&] {
            f.sizeWindow.ImageSizeCheckBox->click();
            f.sizeWindow.HorizEdit->setText("640");
            emit f.sizeWindow.HorizEdit->textEdited("640");
            f.sizeWindow.VertEdit->setText("abc");
            emit f.sizeWindow.VertEdit->textEdited("abc");
            f.sizeWindow.CloseSpeedButton->click();
            stillOpen = f.sizeWindow.isVisible();
        });
        QVERIFY(stillOpen);
        QCOMPARE(f.errors, std::vector<std::string>{"'abc' is not a valid integer value"});
        QCOMPARE(f.picture.Width(), 785);
        QCOMPARE(f.form.ResultImage->size(), QSize(785, 484));
    }

    void backToAutoSizeClearsToTwoColours()
    {
        Fixture f;
        f.form.StartSpeedButtonClick();
        f.form.WaitForRun();
        f.InSizeWindow([&] {
            f.sizeWindow.ImageSizeCheckBox->click();
            f.sizeWindow.CloseSpeedButton->click();
        });
        QCOMPARE(f.picture.Format(), PixelFormat::Indexed8);
        f.InSizeWindow([&] {
            f.sizeWindow.ImageSizeCheckBox->click();
            f.sizeWindow.CloseSpeedButton->click();
        });
        QCOMPARE(f.picture.Format(), PixelFormat::Mono);
        QCOMPARE(f.form.ResultImage->size(), f.form.PictureAreaSize());
        QCOMPARE(QSize(f.picture.Width(), f.picture.Height()), f.form.PictureAreaSize());
        for (int y = 0; y < f.picture.Height(); y += 7)
            for (int x = 0; x < f.picture.Width(); x += 7) QCOMPARE(f.picture.PixelAt(x, y), kBlack);
    }
};

QTEST_MAIN(PictureWindowsTest)
#include "PictureWindowsTest.moc"
