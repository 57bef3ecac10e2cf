// The whole program as start-up builds it: which windows show, the switch
// pairs, the help menu's addresses and the about window.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "gui/ProgramWindows.h"
#include "gui/HelpLinks.h"

using namespace sonavir;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void onlyMainAndParametersWindowsShow()
    {
        TProgramWindows p;
        p.ShowStartWindows();
        QVERIFY(QTest::qWaitForWindowExposed(p.MainForm.get()));
        QVERIFY(p.MainForm->isVisible());
        QVERIFY(p.ModelsForm->isVisible());
        QVERIFY(!p.SizeImageForm->isVisible());
        QVERIFY(!p.OptionImageForm->isVisible());
        QVERIFY(!p.LogoForm->isVisible());
        QVERIFY(!p.FilterForm->isVisible());
        QCOMPARE(p.ModelsForm->windowTitle(), QStringLiteral("Параметры модели"));
        QCOMPARE(p.SizeImageForm->windowTitle(), QStringLiteral("Размер изображения"));
        QCOMPARE(p.LogoForm->windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(p.FilterForm->windowTitle(), QStringLiteral("Согласованный фильтр"));

        // "Параметры..." brings a closed parameters window back.
        p.ModelsForm->close();
        QVERIFY(!p.ModelsForm->isVisible());
        p.MainForm->ParametrItem->trigger();
        QVERIFY(p.ModelsForm->isVisible());

        QSignalSpy closed(p.MainForm.get(), &TMainForm::closed);
        p.MainForm->ExitItem->trigger();
        QCOMPARE(closed.count(), 1);
    }

    void switchPairsMirrorOnce()
    {
        TProgramWindows p;
        p.ShowStartWindows();
        const std::pair<QCheckBox*, QCheckBox*> pairs[] = {
            {p.MainForm->FilterCheckBox, p.ModelsForm->FilterOnCheckBox},
            {p.MainForm->NoiseCheckBox, p.ModelsForm->NoiseOnCheckBox},
            {p.MainForm->NormCheckBox, p.ModelsForm->NormOnCheckBox}};
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
        p.MainForm->NoiseCheckBox->click();
        QVERIFY(p.params.noiseOn);
        QVERIFY(p.ModelsForm->NoiseOnCheckBox->isChecked());
    }

    void evaluationWindowLocksTheRunControls()
    {
        TProgramWindows p;
        p.ShowStartWindows();
        emit p.ModelsForm->evaluateRequested();
        QVERIFY(p.FilterForm->isVisible());
        QVERIFY(!p.MainForm->StartSpeedButton->isEnabled());
        QVERIFY(!p.MainForm->StartItem->isEnabled());
        QVERIFY(!p.MainForm->ModelComboBox->isEnabled());
        QVERIFY(!p.MainForm->FilterCheckBox->isEnabled());
        QVERIFY(!p.ModelsForm->FilterOnCheckBox->isEnabled());
        p.FilterForm->hide();
        QVERIFY(p.MainForm->StartSpeedButton->isEnabled());
        QVERIFY(p.MainForm->ModelComboBox->isEnabled());
        QVERIFY(p.MainForm->NextPathSpeedButton->isEnabled());
        QVERIFY(p.ModelsForm->FilterOnCheckBox->isEnabled());
    }

    void helpAddresses()
    {
        TProgramWindows p;
        std::vector<std::string> opened;
        SetAddressOpener([&](const std::string& a) { opened.push_back(a); });
        for (QAction* item : {p.MainForm->N1, p.MainForm->N7, p.MainForm->N4, p.MainForm->N6, p.MainForm->N8})
            item->trigger();
        QTest::mouseClick(p.LogoForm->Label4, Qt::LeftButton);
        QTest::mouseClick(p.LogoForm->Label7, Qt::LeftButton);
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
        TProgramWindows p;
        TLogoForm& logo = *p.LogoForm;
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
        p.MainForm->AboutItem->trigger();
        QVERIFY(shown);
        QVERIFY(!logo.isVisible());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
