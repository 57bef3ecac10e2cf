// The whole program as start-up builds it: which windows show, the switch
// pairs, the help menu's addresses, the about window and scenario files.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QPushButton>
#include <QToolButton>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "gui/ErrorBox.h"
#include "gui/HelpLinks.h"
#include "gui/ProgramWindows.h"
#include "gui/QtText.h"
#include "model/Scenario.h"

using namespace sonavir;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void onlyMainAndParametersWindowsShow()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        QVERIFY(QTest::qWaitForWindowExposed(p.mainWindow.get()));
        QVERIFY(p.mainWindow->isVisible());
        QVERIFY(p.parametersWindow->isVisible());
        QVERIFY(!p.pictureSizeWindow->isVisible());
        QVERIFY(!p.pictureSettingsWindow->isVisible());
        QVERIFY(!p.aboutWindow->isVisible());
        QVERIFY(!p.evaluationWindow->isVisible());
        QCOMPARE(p.parametersWindow->windowTitle(), QStringLiteral("Параметры модели"));
        QCOMPARE(p.pictureSizeWindow->windowTitle(), QStringLiteral("Размер изображения"));
        QCOMPARE(p.aboutWindow->windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(p.evaluationWindow->windowTitle(), QStringLiteral("Согласованный фильтр"));

        // "Параметры..." brings a closed parameters window back.
        p.parametersWindow->close();
        QVERIFY(!p.parametersWindow->isVisible());
        p.mainWindow->ParametrItem->trigger();
        QVERIFY(p.parametersWindow->isVisible());

        QSignalSpy closed(p.mainWindow.get(), &MainWindow::closed);
        p.mainWindow->ExitItem->trigger();
        QCOMPARE(closed.count(), 1);
    }

    void switchPairsMirrorOnce()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        const std::pair<QCheckBox*, QCheckBox*> pairs[] = {
            {p.mainWindow->FilterCheckBox, p.parametersWindow->FilterOnCheckBox},
            {p.mainWindow->NoiseCheckBox, p.parametersWindow->NoiseOnCheckBox},
            {p.mainWindow->NormCheckBox, p.parametersWindow->NormOnCheckBox}};
        for (const auto& [mainBox, paramBox] : pairs) {
            QSignalSpy mainToggled(mainBox, &QCheckBox::toggled);
            QSignalSpy paramToggled(paramBox, &QCheckBox::toggled);
            mainBox->click();
            QCOMPARE(mainToggled.count(), 1);
            QCOMPARE(paramToggled.count(), 1);
            QVERIFY(paramBox->isChecked());

            paramBox->click();
            QCOMPARE(mainToggled.count(), 2);
            QCOMPARE(paramToggled.count(), 2);
            QVERIFY(!mainBox->isChecked());
        }
        QVERIFY(!p.params.filterOn && !p.params.noiseOn && !p.params.normOn);
        p.mainWindow->NoiseCheckBox->click();
        QVERIFY(p.params.noiseOn);
        QVERIFY(p.parametersWindow->NoiseOnCheckBox->isChecked());
    }

    void evaluationWindowLocksTheRunControls()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        emit p.parametersWindow->evaluateRequested();
        QVERIFY(p.evaluationWindow->isVisible());
        QVERIFY(!p.mainWindow->StartSpeedButton->isEnabled());
        QVERIFY(!p.mainWindow->StartItem->isEnabled());
        QVERIFY(!p.mainWindow->ModelComboBox->isEnabled());
        QVERIFY(!p.mainWindow->FilterCheckBox->isEnabled());
        QVERIFY(!p.parametersWindow->FilterOnCheckBox->isEnabled());
        p.evaluationWindow->hide();
        QVERIFY(p.mainWindow->StartSpeedButton->isEnabled());
        QVERIFY(p.mainWindow->ModelComboBox->isEnabled());
        QVERIFY(p.mainWindow->NextPathSpeedButton->isEnabled());
        QVERIFY(p.parametersWindow->FilterOnCheckBox->isEnabled());
    }

    void helpAddresses()
    {
        ProgramWindows p;
        std::vector<std::string> opened;
        SetAddressOpener([&](const std::string& a) { opened.push_back(a); });
        for (QAction* item : {p.mainWindow->N1, p.mainWindow->N7, p.mainWindow->N4, p.mainWindow->N6, p.mainWindow->N8})
            item->trigger();
        QTest::mouseClick(p.aboutWindow->Label4, Qt::LeftButton);
        QTest::mouseClick(p.aboutWindow->Label7, Qt::LeftButton);
        SetAddressOpener({});
        const std::string host = std::string("http://") + kMakerHost;
        const std::vector<std::string> expected{
            host + "/software.htm?name=korvena&update=1&build=242",
            host + "/hydroacoustic-model.htm",
            host + "/software.htm",
            host,
            host + "/support/",
            std::string("mailto: ") + kMakerEmail,
            host};
        QCOMPARE(opened, expected);
    }

    void aboutWindow()
    {
        ProgramWindows p;
        AboutWindow& logo = *p.aboutWindow;
        QCOMPARE(logo.VersionLabel->text(), QStringLiteral("Версия 2.06 (build 242)"));
        QCOMPARE(logo.Label1->text(), QStringLiteral("Сонавир"));
        QCOMPARE(logo.size(), QSize(286, 252));
        QCOMPARE(logo.Image1->pixmap().size(), QSize(32, 32));
        // Every label lies inside the window: nothing clipped at the edges.
        for (QLabel* label : logo.findChildren<QLabel*>()) {
            const QRect r(label->mapTo(&logo, QPoint(0, 0)), label->size());
            QVERIFY2(logo.rect().contains(r), qPrintable(label->text()));
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
        }
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = logo.isVisible();
            logo.CloseSpeedButton->click();
        });
        p.mainWindow->AboutItem->trigger();
        QVERIFY(shown);
        QVERIFY(!logo.isVisible());
    }

    void scenarioOpensIntoEveryWindowAndSavesBack()
    {
        ProgramWindows p;
        p.ShowStartWindows();
        MainWindow& w = *p.mainWindow;
        ParametersWindow& pw = *p.parametersWindow;
        const QList<QAction*> file = w.FileItem->actions();
        QCOMPARE(file.size(), 5);
        QCOMPARE(file[0], w.NewScenarioItem);
        QCOMPARE(file[1]->text(), QStringLiteral("&Открыть сценарий…"));
        QCOMPARE(file[2]->text(), QStringLiteral("&Сохранить сценарий…"));
        QVERIFY(file[3]->isSeparator());
        QCOMPARE(file[4], w.ExitItem);

        QTemporaryDir dir;
        auto write = [&](const char* name, const char* text) {
            QFile f(dir.filePath(QString::fromUtf8(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write("lab.svr", "[Scenario]\nVersion=2\nSignal=0\nF0=3700\nFilter=1\nStage=3\nColors=1\n"
                         "Scale=0\nAmplitudeTicks=0\nTimeTicks=0\nFrequencyTicks=0\nPictureSize=400x300\nGridLines=1\n");
        write("bad.svr", "[Scenario]\nVersion=1\nSignal=2\nR=0.5\n");
        std::vector<std::string> errors;
        SetErrorSink([&](const std::string& m) { errors.push_back(m); });
        QString chosen;
        w.chooseScenarioFile = [&](bool, const QString&) { return chosen; };

        chosen = dir.filePath(QStringLiteral("lab.svr"));
        w.OpenScenarioItem->trigger();
        QVERIFY(errors.empty());
        QCOMPARE(pw.SignalComboBox->currentIndex(), 0);
        QCOMPARE(pw.F0ComboBox->currentText(), QStringLiteral("3700"));
        QVERIFY(!pw.FDComboBox->isEnabled());
        QVERIFY(w.FilterCheckBox->isChecked() && pw.FilterOnCheckBox->isChecked());
        QCOMPARE(w.PathComboBox->currentIndex(), 3);
        QVERIFY(w.PrevPathSpeedButton->isEnabled());
        QVERIFY(p.pictureSettingsWindow->BlackOnWhiteRadioButton->isChecked());
        QVERIFY(!p.pictureSettingsWindow->ScaleCheckBox->isChecked());
        QVERIFY(!p.pictureSizeWindow->ImageSizeCheckBox->isChecked());
        QCOMPARE(w.ResultImage->size(), QSize(400, 300));
        QCOMPARE(w.StatusText(), QStringLiteral("Сценарий lab.svr открыт. Пропущены неизвестные ключи: GridLines"));

        // Saved back (".svr" added), it describes the same situation.
        chosen = dir.filePath(QStringLiteral("copy"));
        w.SaveScenarioItem->trigger();
        QVERIFY(errors.empty());
        const auto reread = [&](const char* name) {
            return FormatScenario(ReadScenarioFile(S(dir.filePath(QString::fromUtf8(name)))).scenario);
        };
        QCOMPARE(reread("copy.svr"), reread("lab.svr"));

        // A refused file shows its message and changes nothing.
        const std::string before = FormatScenario(Scenario::Capture(p.main, w.sizing.Choice()));
        chosen = dir.filePath(QStringLiteral("bad.svr"));
        w.OpenScenarioItem->trigger();
        QCOMPARE(errors.size(), std::size_t(1));
        QVERIFY(errors[0].find("строка 4, ключ R: '0.5'") != std::string::npos);
        QCOMPARE(FormatScenario(Scenario::Capture(p.main, w.sizing.Choice())), before);
        QCOMPARE(pw.SignalComboBox->currentIndex(), 0);

        // The evaluation window holds the situation while it is open.
        emit pw.evaluateRequested();
        QVERIFY(!w.OpenScenarioItem->isEnabled());
        SetErrorSink({});
    }

    void toolkitDialogsSpeakRussian()
    {
        QVERIFY(InstallToolkitTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("&Имя файла:"));
        QCOMPARE(QCoreApplication::translate("QLineEdit", "Select All"), QStringLiteral("Выделить всё"));
        // The other tests see the toolkit's own texts.
        for (auto* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
