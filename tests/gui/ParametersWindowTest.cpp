// The parameters window driven as a user would: typing, choosing, clicking.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "gui/ErrorBox.h"
#include "gui/ParametersWindow.h"
#include "gui/WindowBus.h"

using namespace sonavir;

namespace {

struct Fixture {
    ModelParameters params;
    PictureSettings settings;
    Picture picture;
    MainState main{params, settings, picture};
    WindowBus bus;
    std::vector<std::string> errors;
    std::unique_ptr<ParametersWindow> form;

    Fixture()
    {
        SetErrorSink([this](const std::string& m) { errors.push_back(m); });
        form = std::make_unique<ParametersWindow>(params, main, &bus);
        form->show();
    }
    ~Fixture() { SetErrorSink({}); }
};

// A user's choice in a list: the shown item changes, then activated.
void Choose(QComboBox* box, int item)
{
    box->setCurrentIndex(item);
    emit box->activated(item);
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

bool LooksGreyed(QWidget* w)
{
    return !w->isEnabled() && w->palette().color(QPalette::Base) == QColor(192, 192, 192) &&
           w->palette().color(QPalette::Text) == QColor(128, 128, 128);
}

}  // namespace

class ParametersWindowTest : public QObject {
    Q_OBJECT
private slots:
    void defaultsShowTheParameterSet();
    void tabsWrapOntoRowsAndTheCurrentRowMovesToThePage();
    void decimalPointIsRejectedOnEveryKeystrokeCommaAccepted();
    void invalidFrequencyKeepsDerivedValues();
    void signalKindGreysDeviation();
    void antennaKindGreysCoefficient();
    void barkerDurationShownAfterRun();
    void spinEditTakesTypedValueAndClampsOnFocusLoss();
    void focusReturnsToTheFieldAfterTheErrorBox();
    void switchesGatesAndTrackBarWriteTheState();
    void evaluationLockDisablesListedControls();
    void sonarLevelsGreyWhatTheyDoNotUseAndSayWhy();
};

void ParametersWindowTest::defaultsShowTheParameterSet()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    QCOMPARE(f.windowTitle(), QString::fromUtf8("Параметры модели"));
    QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(f.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QCOMPARE(f.minimumSize(), f.maximumSize());

    QCOMPARE(f.SignalComboBox->currentIndex(), 1);
    QCOMPARE(f.F0ComboBox->currentText(), QString("10300"));
    QCOMPARE(f.FDComboBox->currentText(), QString("1024"));
    QCOMPARE(f.TcComboBox->currentText(), QString("0,01"));
    QCOMPARE(f.KofDiscretComboBox->currentText(), QString("4"));
    QCOMPARE(f.KComboBox->currentText(), QString("3,14"));
    QCOMPARE(f.QComboBox_->currentText(), QString("5"));
    QCOMPARE(f.SlnSpinEdit->value(), 35);
    QCOMPARE(f.TemperatureSpinEdit->value(), 23);
    QCOMPARE(f.REdit->text(), QString("1"));
    QCOMPARE(f.NComboBox->currentText(), QString("1"));
    QCOMPARE(f.GruntHeightComboBox->currentText(), QString("0,1"));
    QCOMPARE(f.RadiusEdit->text(), QString("0,06"));
    QCOMPARE(f.DtEdit->text(), QString("2,024619372E-5"));
    QVERIFY(f.FDComboBox->isEnabled() && f.KComboBox->isEnabled() && f.Label19->isEnabled());
    QVERIFY(LooksGreyed(f.StaticPEdit));

    // A tooltip's first line names the quantity and ends with its unit.
    const auto unit = [](QWidget* w) { return w->toolTip().section(u'\n', 0, 0).section(QStringLiteral(", "), -1); };
    QCOMPARE(unit(f.F0ComboBox), QString::fromUtf8("Гц"));
    QCOMPARE(unit(f.TcComboBox), QString::fromUtf8("с"));
    QCOMPARE(unit(f.DtEdit), QString("c"));  // Latin
    QCOMPARE(unit(f.SignalDataSizeEdit), QString::fromUtf8("байт"));
    for (QLineEdit* e : {f.RealSignalSizeEdit, f.SignalSizeEdit, f.SignalDataSizeEdit}) {
        QCOMPARE(e->text(), QString("0"));
        QVERIFY(LooksGreyed(e));
    }

    QCOMPARE(f.NoiseTrackBar->value(), 50);
    QCOMPARE(f.NoiseTrackBar->toolTip().section(u'\n', 0, 0).section(QStringLiteral(": "), -1), QString("5"));
    QCOMPARE(f.NoiseTrackBar->minimum(), 1);
    QCOMPARE(f.NoiseTrackBar->maximum(), 100);
    QCOMPARE(f.ModelCheckListBox->count(), 7);
    for (int i = 0; i < 7; ++i) QCOMPARE(f.ModelCheckListBox->item(i)->checkState(), Qt::Checked);
    for (QCheckBox* b : {f.FilterOnCheckBox, f.FilterModeCheckBox, f.NoiseOnCheckBox, f.NormOnCheckBox,
                         f.MinCheckBox}) {
        QVERIFY(!b->isChecked());
    }
    // Building the window must not have changed the parameter set.
    QCOMPARE(fx.params.p.Dt, 1.0L / 49392);
    QVERIFY(fx.errors.empty());
}

void ParametersWindowTest::tabsWrapOntoRowsAndTheCurrentRowMovesToThePage()
{
    Fixture fx;
    TabRows* tabs = fx.form->ModelsPageControl;
    const QStringList expected = QString::fromUtf8(
        "Cигнал|Антенна|Среда|Грунт|Объект|Фильтр|Шум|Нормировка|Память|Общие|Модели").split('|');
    QCOMPARE(tabs->count(), 11);
    QCOMPARE(tabs->tabText(0).at(0), QChar('C'));  // Latin
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(tabs->rowCount() > 1);

    // Every tab visible, inside the control, none overlapping another.
    const QRect area = tabs->rect();
    for (int i = 0; i < 11; ++i) {
        QCOMPARE(tabs->tabText(i), expected[i]);
        QAbstractButton* b = tabs->tabButton(i);
        QVERIFY(b->isVisible());
        const QRect r(b->mapTo(tabs, QPoint(0, 0)), b->size());
        QVERIFY(area.contains(r));
        QVERIFY(b->width() >= b->sizeHint().width());
        for (int j = 0; j < i; ++j) {
            QAbstractButton* o = tabs->tabButton(j);
            QVERIFY(!r.intersects(QRect(o->mapTo(tabs, QPoint(0, 0)), o->size())));
        }
    }

    // The current tab's row sits next to the page.
    const auto rowOf = [tabs](int index) {
        const auto rows = tabs->rows();
        for (int r = 0; r < rows.size(); ++r) if (rows[r].contains(index)) return r;
        return -1;
    };
    QCOMPARE(rowOf(0), tabs->rowCount() - 1);
    const int last = 10;
    QVERIFY(rowOf(last) != rowOf(0));
    QSignalSpy spy(tabs, &TabRows::currentChanged);
    QTest::mouseClick(tabs->tabButton(last), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(tabs->currentWidget(), fx.form->ModelsTabSheet);
    QCOMPARE(rowOf(last), tabs->rowCount() - 1);
    const int lastTop = tabs->tabButton(last)->mapTo(tabs, QPoint(0, 0)).y();
    QVERIFY(lastTop > tabs->tabButton(0)->mapTo(tabs, QPoint(0, 0)).y());
    QVERIFY(fx.form->ModelsTabSheet->isVisible());
    QVERIFY(!fx.form->SignalTabSheet->isVisible());
}

void ParametersWindowTest::decimalPointIsRejectedOnEveryKeystrokeCommaAccepted()
{
    Fixture fx;
    QSignalSpy changed(&fx.bus, &WindowBus::changed);
    fx.form->ModelsPageControl->setCurrentIndex(2);
    QLineEdit* r = fx.form->REdit;
    Retype(r, "0.5");
    // "" and "0." and "0.5" fail; "0" took effect before the point.
    QCOMPARE(fx.errors.size(), size_t(3));
    QCOMPARE(fx.errors[0], std::string("'' is not a valid floating point value"));
    QCOMPARE(fx.errors[2], std::string("'0.5' is not a valid floating point value"));
    QCOMPARE(fx.params.p.R, 0.0);
    QCOMPARE(r->text(), QString("0.5"));  // the typed text stays for correcting
    QVERIFY(changed.count() >= 4);

    fx.errors.clear();
    Retype(r, "0,5");
    QCOMPARE(fx.params.p.R, 0.5);
    QCOMPARE(fx.errors.size(), size_t(1));  // only the cleared field

    // The same rule for the step field: clearing it keeps Dt.
    fx.errors.clear();
    const long double dt = fx.params.p.Dt;
    fx.form->DtEdit->selectAll();
    QTest::keyClick(fx.form->DtEdit, Qt::Key_Delete);
    QCOMPARE(fx.errors, std::vector<std::string>{"'' is not a valid floating point value"});
    QCOMPARE(fx.params.p.Dt, dt);
}

void ParametersWindowTest::invalidFrequencyKeepsDerivedValues()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    Retype(f.F0ComboBox->lineEdit(), "3700x");
    QCOMPARE(fx.errors.back(), std::string("'3700x' is not a valid floating point value"));
    QCOMPARE(fx.params.p.F0, 3700.0L);  // from the keystroke before
    QCOMPARE(f.F0ComboBox->currentText(), QString("3700x"));
    QCOMPARE(f.F0ComboBox->count(), 2);  // typed text never joins the list

    // A listed item chosen by the user takes effect and re-derives the step.
    Choose(f.F0ComboBox, 1);
    QCOMPARE(fx.params.p.F0, 10300.0L);
    QCOMPARE(f.DtEdit->text(), QString("2,024619372E-5"));
    Choose(f.KofDiscretComboBox, 0);
    QCOMPARE(fx.params.p.KofDiscret, 2);
    QCOMPARE(f.DtEdit->text(), QString("4,049238743E-5"));
}

void ParametersWindowTest::signalKindGreysDeviation()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    Choose(f.SignalComboBox, kRadioPulse);
    QVERIFY(LooksGreyed(f.FDComboBox));
    QVERIFY(!f.Label2->isEnabled());
    QCOMPARE(f.DtEdit->text(), QString("2,427184466E-5"));  // 1 / (4 * 10300)

    Choose(f.SignalComboBox, kLfmPulse);
    QVERIFY(f.FDComboBox->isEnabled());
    QVERIFY(f.Label2->isEnabled());
    QVERIFY(f.FDComboBox->palette().color(QPalette::Base) != QColor(192, 192, 192));
    QCOMPARE(f.DtEdit->text(), QString("2,024619372E-5"));
}

void ParametersWindowTest::antennaKindGreysCoefficient()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    Choose(f.AntennaComboBox, 0);
    QVERIFY(LooksGreyed(f.KComboBox));
    QVERIFY(!f.Label19->isEnabled());
    Choose(f.AntennaComboBox, 1);
    QVERIFY(f.KComboBox->isEnabled());
    QVERIFY(f.Label19->isEnabled());

    // The coefficient's text is what the wide-band model will read.
    Retype(f.KComboBox->lineEdit(), "2,5");
    QCOMPARE(fx.params.kText, std::string("2,5"));
}

void ParametersWindowTest::barkerDurationShownAfterRun()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    Choose(f.SignalComboBox, kBarkerPulse);
    QCOMPARE(f.TcComboBox->currentText(), QString("0,01"));  // nothing shown until a run
    fx.params.ShowTcText();  // what a run does with the duration in use
    f.SyncFromState();
    QCOMPARE(f.TcComboBox->currentText(), QString("0,008835"));
    QVERIFY(fx.errors.empty());
}

void ParametersWindowTest::spinEditTakesTypedValueAndClampsOnFocusLoss()
{
    Fixture fx;
    SpinEdit* sln = fx.form->SlnSpinEdit;
    fx.form->ModelsPageControl->setCurrentIndex(2);
    QLineEdit* text = sln->findChild<QLineEdit*>();
    QVERIFY(text);
    text->selectAll();
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(fx.params.p.Sln, 0);  // not an integer: the minimum
    QTest::keyClicks(text, "7a7");  // letters are refused as typed
    QCOMPARE(text->text(), QString("77"));
    QCOMPARE(fx.params.p.Sln, 77);  // out of range, taken as typed

    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(sln, &out);
    QCOMPARE(text->text(), QString("50"));
    QCOMPARE(fx.params.p.Sln, 50);

    // The arrows step within the range.
    sln->stepBy(5);
    QCOMPARE(fx.params.p.Sln, 50);
    sln->stepBy(-3);
    QCOMPARE(fx.params.p.Sln, 47);
    QCOMPARE(fx.params.slnValue, 47);

    // More digits than an int takes is still a number beyond the range; an
    // empty text or a lone sign is 0. On leaving, the box shows what the
    // model uses.
    const std::pair<QString, int> typed[] = {{"99999999999", 50}, {"", 0}, {"-", 0}};
    for (const auto& [keys, kept] : typed) {
        text->selectAll();
        QTest::keyClick(text, Qt::Key_Backspace);
        QTest::keyClicks(text, keys);
        QApplication::sendEvent(sln, &out);
        QCOMPARE(text->text(), QString::number(kept));
        QCOMPARE(fx.params.p.Sln, kept);
    }
    QVERIFY(fx.errors.empty());
}

void ParametersWindowTest::focusReturnsToTheFieldAfterTheErrorBox()
{
    Fixture fx;
    SetErrorSink({});  // the real box this time
    QWidget mainWindow;  // the window that would take the activation
    mainWindow.show();
    fx.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fx.form.get()));
    QComboBox* f0 = fx.form->F0ComboBox;
    f0->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f0));

    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->close();
        }
    });
    closer.start(10);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    closer.stop();
    QCOMPARE(shown, QString("'10300x' is not a valid floating point value"));

    // The next keys reach the field being edited.
    QTRY_VERIFY(fx.form->isActiveWindow());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_5);
    QCOMPARE(f0->currentText(), QString("103005"));
    QCOMPARE(fx.params.p.F0, 103005.0L);
}

void ParametersWindowTest::switchesGatesAndTrackBarWriteTheState()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    QSignalSpy eval(&f, &ParametersWindow::evaluateRequested);
    f.FilterOnCheckBox->click();
    f.NoiseOnCheckBox->click();
    f.MinCheckBox->click();
    f.FilterModeCheckBox->click();
    QVERIFY(fx.params.filterOn && fx.params.noiseOn && !fx.params.normOn && fx.params.depthOn);
    QVERIFY(fx.main.MatchToEcho);

    // The state changed elsewhere (the main window's twin box) shows here
    // without running this window's handlers.
    fx.params.normOn = true;
    QSignalSpy toggled(f.NormOnCheckBox, &QCheckBox::toggled);
    f.SyncFromState();
    QVERIFY(f.NormOnCheckBox->isChecked());
    QCOMPARE(toggled.count(), 0);

    f.ModelCheckListBox->item(3)->setCheckState(Qt::Unchecked);
    QVERIFY(!fx.params.gates[3]);
    QVERIFY(fx.params.gates[4]);

    f.NoiseTrackBar->setValue(25);
    QCOMPARE(fx.params.Snr(), 2.5L);
    const auto snr = [&] { return f.NoiseTrackBar->toolTip().section(u'\n', 0, 0).section(QStringLiteral(": "), -1); };
    QCOMPARE(snr(), QString("2,5"));
    f.NoiseTrackBar->setValue(1);
    QCOMPARE(snr(), QString("0,1"));

    f.SpeedButton1->click();
    QCOMPARE(eval.count(), 1);
    QVERIFY(fx.errors.empty());
}

void ParametersWindowTest::evaluationLockDisablesListedControls()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    Choose(f.AntennaComboBox, 0);  // narrow band: K greyed before the lock
    f.SetEvaluationLock(true);
    for (QWidget* w : std::initializer_list<QWidget*>{f.FilterOnCheckBox, f.FilterModeCheckBox,
                                                      f.NoiseOnCheckBox, f.NormOnCheckBox, f.MinCheckBox,
                                                      f.AntennaTabSheet, f.ObjectTabSheet, f.RadiusEdit}) {
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    }
    // Signal, water and seabed stay editable for the series.
    QVERIFY(f.SignalTabSheet->isEnabled() && f.MediumTabSheet->isEnabled() && f.GruntTabSheet->isEnabled());
    QVERIFY(f.SpeedButton1->isEnabled() && f.NoiseTrackBar->isEnabled());

    f.SetEvaluationLock(false);
    QVERIFY(f.FilterOnCheckBox->isEnabled() && f.MinCheckBox->isEnabled() && f.RadiusEdit->isEnabled());
    QVERIFY(f.AntennaComboBox->isEnabled());
    // Unlocking must not undo the antenna kind's greying.
    QVERIFY(LooksGreyed(f.KComboBox));
    QVERIFY(!f.Label19->isEnabled());
}

// The sonar equation's noise comes from NL and DI: the SNR slider and the
// depth attenuation are greyed with a tooltip why, the sonar values are not;
// the depth and pH serve Francois-Garrison only. Back to the teaching levels,
// all as it was.
void ParametersWindowTest::sonarLevelsGreyWhatTheyDoNotUseAndSayWhy()
{
    Fixture fx;
    ParametersWindow& f = *fx.form;
    QVERIFY(LooksGreyed(f.NlEdit) && LooksGreyed(f.SlEdit) && f.NoiseTrackBar->isEnabled());
    Choose(f.LevelModelComboBox, kSonarEquation);
    QVERIFY(fx.params.levels.On());
    QVERIFY(LooksGreyed(f.NoiseTrackBar) && LooksGreyed(f.MinCheckBox));
    QVERIFY(f.NoiseTrackBar->toolTip().contains("NL"));
    QVERIFY(f.NlEdit->isEnabled() && f.SlEdit->isEnabled() && LooksGreyed(f.SeaDepthEdit));
    Retype(f.NlEdit, "55,5");
    QCOMPARE(fx.params.levels.NL, 55.5);
    Choose(f.AbsorptionComboBox, kFrancoisGarrison);
    Retype(f.SeaDepthEdit, "2000");
    QCOMPARE(fx.params.levels.depth, 2000.0);
    Choose(f.LevelModelComboBox, kTeachingLevels);
    QVERIFY(f.NoiseTrackBar->isEnabled() && f.MinCheckBox->isEnabled() && LooksGreyed(f.SeaDepthEdit));
    QVERIFY(f.NoiseTrackBar->toolTip().startsWith(QString::fromUtf8("Отношение сигнал / шум: ") +
                                                   QString::fromStdString(fx.params.snrHint) + u'\n'));
    QCOMPARE(fx.errors.size(), size_t(2));  // only the two cleared fields
}

QTEST_MAIN(ParametersWindowTest)
#include "ParametersWindowTest.moc"
