#include "gui/ProgramWindows.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

#include "gui/WindowBus.h"

namespace sonavir {

bool InstallToolkitTranslations()
{
    auto* app = QCoreApplication::instance();
    if (!app) return false;
    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

ProgramWindows::ProgramWindows()
{
    mainWindow = std::make_unique<MainWindow>(main, &bus);
    parametersWindow = std::make_unique<ParametersWindow>(params, main, &bus);
    pictureSizeWindow = std::make_unique<PictureSizeWindow>(mainWindow->sizing, picture, settings, &bus);
    pictureSettingsWindow = std::make_unique<PictureSettingsWindow>(settings, &bus);
    aboutWindow = std::make_unique<AboutWindow>();
    evaluationWindow = std::make_unique<EvaluationWindow>(main, evaluation, &bus);
    ledgerWindow = std::make_unique<LedgerWindow>(main);
    ambiguityWindow = std::make_unique<AmbiguityWindow>(main);
    sweepWindow = std::make_unique<SweepWindow>(main, &bus);

    mainWindow->SetWindows(parametersWindow.get(), pictureSizeWindow.get(), pictureSettingsWindow.get(), aboutWindow.get());
    mainWindow->SetLedgerWindow(ledgerWindow.get());
    mainWindow->SetAmbiguityWindow(ambiguityWindow.get());
    mainWindow->SetSweepWindow([this](int tab) { sweepWindow->ShowTab(tab); });

    // Every window shows the shared state after any handler changed it.
    QObject::connect(&bus, &WindowBus::changed, mainWindow.get(), &MainWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, parametersWindow.get(), &ParametersWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, pictureSizeWindow.get(), &PictureSizeWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, pictureSettingsWindow.get(), &PictureSettingsWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, evaluationWindow.get(), &EvaluationWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, ledgerWindow.get(), &LedgerWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, ambiguityWindow.get(), &AmbiguityWindow::SyncFromState);
    QObject::connect(&bus, &WindowBus::changed, sweepWindow.get(), &SweepWindow::SyncFromState);
    // The ledger follows every Start while it is open.
    QObject::connect(mainWindow.get(), &MainWindow::started, ledgerWindow.get(), [this] {
        if (ledgerWindow->isVisible()) ledgerWindow->Recompute();
    });

    // The three switch pairs: a click on either box sets the other.
    mainWindow->SetMirrors(parametersWindow->FilterOnCheckBox, parametersWindow->NoiseOnCheckBox,
                         parametersWindow->NormOnCheckBox);
    const std::pair<QCheckBox*, QCheckBox*> pairs[] = {
        {parametersWindow->FilterOnCheckBox, mainWindow->FilterCheckBox},
        {parametersWindow->NoiseOnCheckBox, mainWindow->NoiseCheckBox},
        {parametersWindow->NormOnCheckBox, mainWindow->NormCheckBox}};
    for (const auto& [from, to] : pairs)
        QObject::connect(from, &QCheckBox::toggled, to, [to](bool on) {
            if (to->isChecked() != on) to->setChecked(on);
        });

    // The run repaints the memory figures while it works.
    main.onMemoryFigures = [this] {
        parametersWindow->SyncFromState();
        parametersWindow->repaint();
    };

    QObject::connect(parametersWindow.get(), &ParametersWindow::evaluateRequested, evaluationWindow.get(), [this] {
        evaluationWindow->show();
        evaluationWindow->raise();
        evaluationWindow->activateWindow();
    });
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, parametersWindow.get(),
                     &ParametersWindow::SetEvaluationLock);
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, mainWindow.get(),
                     &MainWindow::SyncFromState);
    // The series takes the picture: a run of the main window ends first.
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, mainWindow.get(), [this](bool locked) {
        if (locked) mainWindow->StopRun();
    });
}

ProgramWindows::~ProgramWindows()
{
    main.onMemoryFigures = nullptr;
    // Windows go in reverse order of creation, before the state they show.
    ambiguityWindow.reset();
    sweepWindow.reset();
    ledgerWindow.reset();
    evaluationWindow.reset();
    aboutWindow.reset();
    pictureSettingsWindow.reset();
    pictureSizeWindow.reset();
    parametersWindow.reset();
    mainWindow.reset();
}

void ProgramWindows::ShowStartWindows()
{
    // Side by side when the screen is wide enough, so the parameters window
    // does not hide the picture; otherwise each keeps its centred place.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int gap = 16;
        const int total = mainWindow->frameGeometry().width() + gap + parametersWindow->frameGeometry().width();
        if (total <= area.width()) {
            const int left = area.left() + (area.width() - total) / 2;
            mainWindow->move(left, mainWindow->y());
            parametersWindow->move(left + mainWindow->frameGeometry().width() + gap, mainWindow->y());
        }
    }
    mainWindow->show();
    parametersWindow->show();
}

}  // namespace sonavir
