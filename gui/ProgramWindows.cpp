#include "gui/ProgramWindows.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>

namespace sonavir {

TProgramWindows::TProgramWindows()
{
    MainForm = std::make_unique<TMainForm>(main, &bus);
    ModelsForm = std::make_unique<TModelsForm>(params, main, &bus);
    SizeImageForm = std::make_unique<TSizeImageForm>(MainForm->sizing, picture, settings, &bus);
    OptionImageForm = std::make_unique<TOptionImageForm>(settings, &bus);
    LogoForm = std::make_unique<TLogoForm>();
    FilterForm = std::make_unique<TFilterForm>(main, evaluation, &bus);

    MainForm->SetWindows(ModelsForm.get(), SizeImageForm.get(), OptionImageForm.get(), LogoForm.get());

    // Every window shows the shared state after any handler changed it.
    QObject::connect(&bus, &StateBus::changed, MainForm.get(), &TMainForm::SyncFromState);
    QObject::connect(&bus, &StateBus::changed, ModelsForm.get(), &TModelsForm::SyncFromState);
    QObject::connect(&bus, &StateBus::changed, SizeImageForm.get(), &TSizeImageForm::SyncFromState);
    QObject::connect(&bus, &StateBus::changed, OptionImageForm.get(), &TOptionImageForm::SyncFromState);
    QObject::connect(&bus, &StateBus::changed, FilterForm.get(), &TFilterForm::SyncFromState);

    // The three switch pairs: a click on either box sets the other.
    MainForm->SetMirrors(ModelsForm->FilterOnCheckBox, ModelsForm->NoiseOnCheckBox,
                         ModelsForm->NormOnCheckBox);
    const std::pair<QCheckBox*, QCheckBox*> pairs[] = {
        {ModelsForm->FilterOnCheckBox, MainForm->FilterCheckBox},
        {ModelsForm->NoiseOnCheckBox, MainForm->NoiseCheckBox},
        {ModelsForm->NormOnCheckBox, MainForm->NormCheckBox}};
    for (const auto& [from, to] : pairs)
        QObject::connect(from, &QCheckBox::toggled, to, [to](bool on) {
            if (to->isChecked() != on) to->setChecked(on);
        });

    // The run repaints the memory figures while it works.
    main.onMemoryFigures = [this] {
        ModelsForm->SyncFromState();
        ModelsForm->repaint();
    };

    QObject::connect(ModelsForm.get(), &TModelsForm::evaluateRequested, FilterForm.get(), [this] {
        FilterForm->show();
        FilterForm->raise();
        FilterForm->activateWindow();
    });
    QObject::connect(FilterForm.get(), &TFilterForm::lockChanged, ModelsForm.get(),
                     &TModelsForm::SetEvaluationLock);
    QObject::connect(FilterForm.get(), &TFilterForm::lockChanged, MainForm.get(),
                     &TMainForm::SyncFromState);
}

TProgramWindows::~TProgramWindows()
{
    main.onMemoryFigures = nullptr;
    // Windows go in reverse order of creation, before the state they show.
    FilterForm.reset();
    LogoForm.reset();
    OptionImageForm.reset();
    SizeImageForm.reset();
    ModelsForm.reset();
    MainForm.reset();
}

void TProgramWindows::ShowStartWindows()
{
    // Side by side when the screen is wide enough, so the parameters window
    // does not hide the picture; otherwise each keeps its centred place.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int gap = 16;
        const int total = MainForm->frameGeometry().width() + gap + ModelsForm->frameGeometry().width();
        if (total <= area.width()) {
            const int left = area.left() + (area.width() - total) / 2;
            MainForm->move(left, MainForm->y());
            ModelsForm->move(left + MainForm->frameGeometry().width() + gap, MainForm->y());
        }
    }
    MainForm->show();
    ModelsForm->show();
}

}  // namespace sonavir
