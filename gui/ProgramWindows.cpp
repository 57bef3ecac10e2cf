#include "gui/ProgramWindows.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

#include "gui/HelpLinks.h"
#include "gui/QtText.h"
#include "display/PictureSizing.h"
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

void NameTheApplication()
{
    QGuiApplication::setApplicationName(Q(kProgramTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.sonavir"));
    QGuiApplication::setWindowIcon(QIcon(ProgramIcon()));
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
    guideWindow = std::make_unique<GuideWindow>();

    mainWindow->SetWindows(parametersWindow.get(), pictureSizeWindow.get(), pictureSettingsWindow.get(), aboutWindow.get());
    mainWindow->SetLedgerWindow(ledgerWindow.get());
    mainWindow->SetAmbiguityWindow(ambiguityWindow.get());
    mainWindow->SetSweepWindow([this](int tab) {
        sweepWindow->Tabs->setCurrentIndex(tab);
        ShowToolWindow(sweepWindow.get());
    });
    mainWindow->SetGuideWindow(guideWindow.get());
    mainWindow->showToolWindow = [this](QWidget* window) { ShowToolWindow(window); };

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

    QObject::connect(parametersWindow.get(), &ParametersWindow::evaluateRequested, evaluationWindow.get(),
                     [this] { ShowToolWindow(evaluationWindow.get()); });
    // A finished series' chart is the picture: the window steps off it.
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::seriesFinished, evaluationWindow.get(), [this] {
        const PlacementScene scene = SceneFor(evaluationWindow.get());
        if (evaluationWindow->frameGeometry().intersects(scene.picture)) Place(evaluationWindow.get());
    });
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, parametersWindow.get(),
                     &ParametersWindow::SetEvaluationLock);
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, mainWindow.get(),
                     &MainWindow::SyncFromState);
    // The series takes the picture: a run of the main window ends first.
    QObject::connect(evaluationWindow.get(), &EvaluationWindow::lockChanged, mainWindow.get(), [this](bool locked) {
        if (locked) mainWindow->StopRun();
        // Lowered for the series' window, the main window gets its height
        // back when that closes, unless the user has resized it meanwhile.
        if (!locked && heightBeforeSeries_ > 0) {
            if (mainWindow->height() == loweredHeight_) mainWindow->resize(mainWindow->width(), heightBeforeSeries_);
            heightBeforeSeries_ = 0;
        }
    });
}

ProgramWindows::~ProgramWindows()
{
    main.onMemoryFigures = nullptr;
    // Windows go in reverse order of creation, before the state they show.
    guideWindow.reset();
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
    // At the top of the screen, so the tool windows find room below it too;
    // beside the parameters window when the screen is wide enough.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize frame = mainWindow->frameGeometry().size();
        const QSize margins = frame - mainWindow->size();
        const QRect place = PlaceMainWindow(screen->availableGeometry(), frame, parametersWindow->size() + margins);
        mainWindow->resize(place.size() - margins);
        mainWindow->move(place.topLeft());
    }
    mainWindow->show();
    ShowToolWindow(parametersWindow.get());
}

PlacementScene ProgramWindows::SceneFor(const QWidget* window) const
{
    PlacementScene scene;
    const QScreen* screen = mainWindow->screen() ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) scene.screen = screen->availableGeometry();
    scene.mainFrame = mainWindow->frameGeometry();
    // The picture as far as the window shows it (a fixed size may be larger).
    const QRect area(mainWindow->PictureArea->mapToGlobal(QPoint(0, 0)), mainWindow->PictureArea->size());
    const QRect image(mainWindow->ResultImage->mapToGlobal(QPoint(0, 0)), mainWindow->ResultImage->size());
    scene.picture = area.intersected(image);
    scene.waveform = QRect(image.topLeft(), QSize(image.width(), picture.Height() / 2)).intersected(area);
    for (const QWidget* other : std::initializer_list<const QWidget*>{
             parametersWindow.get(), ledgerWindow.get(), evaluationWindow.get(), ambiguityWindow.get(),
             guideWindow.get()})
        if (other != window && other->isVisible()) scene.taken.push_back(other->frameGeometry());
    // The series' chart fills the picture: the main window may be made lower
    // for it while its picture keeps the smallest size, in auto size only.
    if (window == evaluationWindow.get() && mainWindow->sizing.ImageAutoSize)
        scene.minPictureHeight = kMinPictureHeight;
    return scene;
}

void ProgramWindows::Place(QWidget* window)
{
    const PlacementScene scene = SceneFor(window);
    // Before its first showing a window has no frame yet: the main window's.
    const QSize margins = mainWindow->frameGeometry().size() - mainWindow->size();
    const QSize frame = window->isVisible() ? window->frameGeometry().size() : window->size() + margins;
    const ToolPlacement place = PlaceToolWindow(scene, frame, window == evaluationWindow.get());
    if (place.mainHeight > 0) {
        if (heightBeforeSeries_ == 0) heightBeforeSeries_ = mainWindow->height();
        mainWindow->resize(mainWindow->width(), place.mainHeight - margins.height());
        loweredHeight_ = mainWindow->height();
    }
    window->move(place.at);
}

void ProgramWindows::ShowToolWindow(QWidget* window)
{
    const bool first = placed_.insert(window).second;
    if (first) Place(window);
    const QSize before = window->size();
    window->show();
    // A window that fits itself to what it shows (the ledger) knows its
    // size only once shown: placed again for it.
    if (first && window->size() != before) Place(window);
    window->raise();
    window->activateWindow();
}

}  // namespace sonavir
