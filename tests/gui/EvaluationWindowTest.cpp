#include <QComboBox>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "gui/ErrorBox.h"
#include "gui/EvaluationWindow.h"
#include "gui/WindowBus.h"
#include "signal/Errors.h"

using namespace sonavir;

class EvaluationWindowTest : public QObject {
    Q_OBJECT

    struct World {
        ModelParameters params;
        PictureSettings settings;
        Picture picture;
        MainState main{params, settings, picture};
        EvaluationState eval;
        WindowBus bus;
        EvaluationWindow form{main, eval, &bus};
    };
    std::unique_ptr<World> w;
    std::vector<std::string> errors;

private slots:
    void init()
    {
        errors.clear();
        SetErrorSink([this](const std::string& m) { errors.push_back(m); });
        w = std::make_unique<World>();
        // Start-up does this wiring for every window.
        connect(&w->bus, &WindowBus::changed, &w->form, &EvaluationWindow::SyncFromState);
    }
    void cleanup()
    {
        w.reset();
        SetErrorSink({});
    }

    void layoutAndCornerSpinBox()
    {
        auto& f = w->form;
        QCOMPARE(f.windowTitle(), QString::fromUtf8("Согласованный фильтр"));
        QCOMPARE(f.size(), QSize(560, 331));
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f.NumberSpinEdit->geometry(), QRect(8, 40, 67, 22));
        QCOMPARE(f.NumberSpinEdit->minimum(), 3);
        QCOMPARE(f.NumberSpinEdit->maximum(), 15);
        QCOMPARE(f.NumberSpinEdit->value(), 6);
        QVERIFY(f.NumberSpinEdit->findChild<QLineEdit*>()->isReadOnly());

        // The corner cell lies under the spin box, which is stacked above the
        // grid, and holds no text.
        auto* grid = f.ModelStringGrid;
        QCOMPARE(grid->item(0, 0)->text(), QString());
        const QRect corner = grid->visualItemRect(grid->item(0, 0));
        const QRect inForm(grid->viewport()->mapTo(&f, corner.topLeft()), corner.size());
        QVERIFY2(f.NumberSpinEdit->geometry().contains(inForm), "corner cell not covered");
        const QObjectList& kids = f.children();
        QVERIFY(kids.indexOf(f.NumberSpinEdit) > kids.indexOf(grid));
        QWidget* top = f.childAt(inForm.center());
        QVERIFY(top == f.NumberSpinEdit || f.NumberSpinEdit->isAncestorOf(top));

        QCOMPARE(grid->columnCount(), 7);
        QCOMPARE(grid->columnWidth(0), 64);
        QCOMPARE(grid->columnWidth(6), 35);
        QCOMPARE(grid->rowHeight(0), 20);
        QCOMPARE(grid->item(1, 0)->text(), QString::fromUtf8(" Среда, км"));
        QCOMPARE(grid->item(2, 6)->text(), QString("16"));
        QVERIFY(!(grid->item(0, 3)->flags() & Qt::ItemIsEditable));
        QVERIFY(!(grid->item(1, 0)->flags() & Qt::ItemIsEditable));
        QVERIFY(grid->item(1, 3)->flags() & Qt::ItemIsEditable);

        auto* result = f.ResultStringGrid;
        QCOMPARE(result->rowCount(), 9);
        QCOMPARE(result->columnCount(), 7);
        QCOMPARE(result->columnWidth(1), 70);
        QCOMPARE(result->rowHeight(0), 24);
        QCOMPARE(result->item(7, 0)->text(), QString::fromUtf8("Вых отн с/п (э)"));
        QVERIFY(!(result->item(3, 3)->flags() & Qt::ItemIsEditable));
        QCOMPARE(f.ModelComboBox->count(), 3);
        QVERIFY(!f.ModelComboBox->isEditable());
        QVERIFY(f.ModeComboBox->isEditable());
        QVERIFY(f.FilterNormCheckBox->isChecked());
    }

    void pointCountResizesBothGrids()
    {
        auto& f = w->form;
        f.NumberSpinEdit->stepUp();
        f.NumberSpinEdit->stepUp();
        QCOMPARE(w->eval.pointCount, 8);
        QCOMPARE(f.ModelStringGrid->columnCount(), 9);
        QCOMPARE(f.ResultStringGrid->columnCount(), 9);
        QCOMPARE(f.ModelStringGrid->columnWidth(8), 35);
        QCOMPARE(f.ModelStringGrid->item(0, 8)->text(), QString("8"));
        QCOMPARE(f.ModelStringGrid->item(1, 7)->text(), QString("0"));
        QCOMPARE(f.ModelStringGrid->item(2, 8)->text(), QString("0"));
        QCOMPARE(f.ResultStringGrid->item(0, 7)->text(), QString("7"));

        f.NumberSpinEdit->setValue(3);
        QCOMPARE(f.ModelStringGrid->columnCount(), 4);
        f.NumberSpinEdit->setValue(6);
        QCOMPARE(f.ModelStringGrid->item(1, 4)->text(), QString("0"));
        QCOMPARE(f.ModelStringGrid->item(2, 6)->text(), QString("0"));
        QCOMPARE(f.ModelStringGrid->item(1, 3)->text(), QString("2"));
    }

    void editsWriteIntoTheState()
    {
        auto& f = w->form;
        f.ModelStringGrid->item(1, 2)->setText(QString::fromUtf8("5,5"));
        QCOMPARE(w->eval.series[1][2], std::string("5,5"));

        f.ModeComboBox->lineEdit()->setText("x");  // the program's own text: no handler
        QCOMPARE(w->eval.modeItem, 0);
        emit f.ModeComboBox->lineEdit()->textEdited("x");
        QCOMPARE(w->eval.modeItem, -1);
        emit f.ModeComboBox->activated(1);
        QCOMPARE(w->eval.modeItem, 1);
        emit f.ModelComboBox->activated(2);
        QCOMPARE(w->eval.propagationItem, 2);
        f.FilterNormCheckBox->setChecked(false);
        QVERIFY(!w->eval.filterNorm);

        // The state pushed back into the widgets raises no handler.
        w->eval.series[2][1] = std::string(1, '9');
        w->eval.pointCount = 6;
        emit w->bus.changed();
        QCOMPARE(f.ModelStringGrid->item(2, 1)->text(), QString("9"));
        QCOMPARE(w->eval.series[1][2], std::string("5,5"));
    }

    void showAndHideLockAndUnlock()
    {
        auto& f = w->form;
        QSignalSpy lock(&f, &EvaluationWindow::lockChanged);
        w->main.SelectPath(7);
        f.show();
        QVERIFY(w->main.evaluationShown);
        QCOMPARE(lock.count(), 1);
        QCOMPARE(lock.at(0).at(0).toBool(), true);

        f.CloseSpeedButton->click();
        QVERIFY(!f.isVisible());
        QVERIFY(!w->main.evaluationShown);
        QCOMPARE(lock.count(), 2);
        QCOMPARE(lock.at(1).at(0).toBool(), false);
        QVERIFY(w->main.prevEnabled);
        QVERIFY(!w->main.nextEnabled);
        QVERIFY(w->main.pathEnabled);
    }

    void closeBoxDerivesAgain()
    {
        auto& f = w->form;
        f.show();
        w->params.p.Dt = 1;
        f.close();
        QVERIFY(!f.isVisible());
        QVERIFY(!w->main.evaluationShown);
        QCOMPARE(w->params.p.Dt, 1.0L / 49392);
    }

    void failingDeriveOnCloseIsReportedOnce()
    {
        auto& f = w->form;
        f.show();
        w->params.p.KofDiscret = 0;  // no sampling step can be derived
        f.close();
        QVERIFY(!f.isVisible());
        QVERIFY(!w->main.evaluationShown);
        QCOMPARE(errors.size(), size_t(1));
        QCOMPARE(errors[0], std::string(msg::kDivByZero));

        // "Закрыть" derives once, on the hide, and reports once too.
        f.show();
        f.CloseSpeedButton->click();
        QCOMPARE(errors.size(), size_t(2));
        QVERIFY(!w->main.evaluationShown);
    }

    void startShowsResultsOrTheError()
    {
        auto& f = w->form;
        QSignalSpy changed(&w->bus, &WindowBus::changed);
        f.StartSpeedButton->click();
        f.WaitForRun();
        QVERIFY(errors.empty());
        QCOMPARE(w->main.statusText, std::string("Согласованный фильтр"));
        QVERIFY(w->main.imageMenuEnabled);
        QVERIFY(w->settings.shortForm);
        QVERIFY(!f.ResultStringGrid->item(7, 6)->text().isEmpty());
        QVERIFY(changed.count() >= 1);
        QVERIFY(QApplication::overrideCursor() == nullptr);

        f.ModelStringGrid->item(1, 4)->setText("abc");
        emit f.ModeComboBox->activated(1);
        // The other windows have been told (the main window shows the blank
        // picture) by the time the message box is up.
        int changesAtError = -1;
        SetErrorSink([&](const std::string& m) {
            errors.push_back(m);
            changesAtError = changed.count();
        });
        const int changesBefore = changed.count();
        f.StartSpeedButton->click();
        f.WaitForRun();
        QVERIFY(changesAtError > changesBefore);
        QCOMPARE(errors.size(), size_t(1));
        QCOMPARE(errors[0], std::string("'abc' is not a valid floating point value"));
        // The energy-ratio captions and the cells before the bad point show.
        QCOMPARE(f.ResultStringGrid->item(1, 0)->text(), QString::fromUtf8("Радиоимпульс"));
        QCOMPARE(f.ResultStringGrid->item(1, 3)->text().isEmpty(), false);
        QCOMPARE(f.ResultStringGrid->item(4, 0)->text(), QString());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(EvaluationWindowTest)
#include "EvaluationWindowTest.moc"
