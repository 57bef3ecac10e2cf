#include "gui/ParametersWindow.h"

#include <functional>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <new>

#include "gui/ErrorBox.h"
#include "gui/GreyedLook.h"
#include "gui/QtText.h"
#include "gui/WindowBus.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {

QComboBox* PickList(QWidget* parent, const std::vector<std::string>& items)
{
    auto* box = new QComboBox(parent);
    for (const auto& item : items) box->addItem(Q(item));
    return box;
}

QComboBox* EditableList(QWidget* parent, const std::vector<std::string>& items)
{
    auto* box = PickList(parent, items);
    box->setEditable(true);
    // Typed text is the value: nothing may be added to the list, and no
    // completion may change the text behind the user's back.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    box->setMinimumContentsLength(5);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

// A pick-only list's selection, set by the program.
void ShowItem(QComboBox* box, int item)
{
    if (box->currentIndex() != item) {
        QSignalBlocker block(box);
        box->setCurrentIndex(item);
    }
}

// An editable list's text, set by the program: the matching item when there
// is one, otherwise the text itself.
void ShowText(QComboBox* box, const std::string& text)
{
    const QString t = Q(text);
    if (box->currentText() == t) return;
    QSignalBlocker block(box);
    const int item = box->findText(t, Qt::MatchExactly);
    if (item >= 0) {
        box->setCurrentIndex(item);
    } else {
        box->setCurrentIndex(-1);
        box->setEditText(t);
    }
}

void ShowText(QLineEdit* edit, const std::string& text)
{
    const QString t = Q(text);
    if (edit->text() != t) {
        QSignalBlocker block(edit);
        edit->setText(t);
        edit->setCursorPosition(0);
    }
}

void ShowChecked(QCheckBox* box, bool on)
{
    if (box->isChecked() != on) {
        QSignalBlocker block(box);
        box->setChecked(on);
    }
}

// The property that keeps a field's own tooltip while a reason replaces it.
constexpr const char* kOwnTip = "sonavirOwnTip";

// Greyed by the program (not merely inside a disabled page).
bool Greyed(const QWidget* w) { return w->testAttribute(Qt::WA_ForceDisabled); }

// Greys a control the level model leaves unused and says why in its tooltip
// (a greyed control still shows it); the tooltip of its use otherwise.
// The tooltip of its use is the one given, or else the field's own.
void ShowUsed(QWidget* w, bool used, const char* whyNot, const QString& tip = QString())
{
    if (Greyed(w) == used) SetGreyedLook(w, !used);
    const QString full = tip.isEmpty() ? w->property(kOwnTip).toString() : tip;
    const QString want = used ? full : QString::fromUtf8(whyNot) + QStringLiteral("\n\n") + full;
    if (w->toolTip() != want) w->setToolTip(want);
}

constexpr const char* kSonarOnly = "Используется только в модели уровней «Уравнение гидролокации» (вкладка «Общие»)";

void ShowValue(SpinEdit* spin, int value)
{
    // A field being typed into keeps its text while it means the same value.
    if (spin->value() != value) {
        QSignalBlocker block(spin);
        spin->setValue(value);
    }
}

// A compact page layout: label column and field column.
QGridLayout* PageGrid(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    return grid;
}

QLabel* Label(QWidget* parent, const char* text, QWidget* buddy)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* FigureEdit(QWidget* parent, const char* hint)
{
    auto* edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setToolTip(QString::fromUtf8(hint));
    SetGreyedLook(edit, true);
    return edit;
}

// A field's tooltip: the quantity with its unit on the first line, then what
// it takes and what it does.
QString Tip(const char* quantity, const char* range, const char* does)
{
    return QString::fromUtf8(quantity) + u'\n' + QString::fromUtf8(range) + u'\n' + QString::fromUtf8(does);
}

void SetTip(QWidget* field, const QString& tip, QWidget* label = nullptr)
{
    field->setProperty(kOwnTip, tip);  // what ShowUsed goes back to
    field->setToolTip(tip);
    if (label) label->setToolTip(tip);
}

}  // namespace

QString SnrTip(const std::string& snr)
{
    return QStringLiteral("Отношение сигнал / шум: ") + Q(snr) +
           QStringLiteral("\nот 0,1 до 10 (положение ползунка / 10)\n"
                          "Во сколько раз сигнал сильнее шума, который добавляется к отраженному сигналу "
                          "при включенном шуме");
}

ParametersWindow::ParametersWindow(ModelParameters& params, MainState& main, WindowBus* bus, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), params_(params), main_(main), bus_(bus)
{
    setWindowTitle(QString::fromUtf8("Параметры модели"));
    setObjectName(QStringLiteral("parametersWindow"));

    ModelsPageControl = new TabRows(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(ModelsPageControl);

    const auto page = [this](QWidget*& sheet, const char* name, const char* caption) {
        sheet = new QWidget;
        sheet->setObjectName(QString::fromUtf8(name));
        ModelsPageControl->addTab(sheet, QString::fromUtf8(caption));
    };
    // The first caption starts with a Latin capital C.
    page(SignalTabSheet, "SignalTabSheet", "C\u0438\u0433\u043d\u0430\u043b");
    page(AntennaTabSheet, "AntennaTabSheet", "Антенна");
    page(MediumTabSheet, "MediumTabSheet", "Среда");
    page(GruntTabSheet, "GruntTabSheet", "Грунт");
    page(ObjectTabSheet, "ObjectTabSheet", "Объект");
    page(FilterTabSheet, "FilterTabSheet", "Фильтр");
    page(NoiseTabSheet, "NoiseTabSheet", "Шум");
    page(NormTabSheet, "NormTabSheet", "Нормировка");
    page(MemoryTabSheet, "MemoryTabSheet", "Память");
    page(CommonTabSheet, "CommonTabSheet", "Общие");
    page(ModelsTabSheet, "ModelsTabSheet", "Модели");

    BuildSignalPage();
    BuildAntennaPage();
    BuildMediumPage();
    BuildGruntPage();
    BuildObjectPage();
    BuildFilterPage();
    BuildNoisePage();
    BuildNormPage();
    BuildMemoryPage();
    BuildCommonPage();
    BuildModelsPage();

    SetTips();

    // The controls start from the parameter set's defaults, which already hold
    // the derived values.
    SyncFromState();
    Connect();
    ModelsPageControl->setCurrentIndex(0);

    // Not resizable: as small as the controls allow, nothing clipped.
    const int width = ModelsPageControl->sizeHint().width();
    const int height = ModelsPageControl->heightForWidth(width);
    setFixedSize(width, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width / 2, height / 2));
    }
}

void ParametersWindow::BuildSignalPage()
{
    QWidget* p = SignalTabSheet;
    auto* grid = PageGrid(p);
    SignalComboBox = PickList(p, ModelParameters::SignalItems());
    TcComboBox = EditableList(p, ModelParameters::TcItems());
    TcLabel = Label(p, "Длительность", TcComboBox);
    KofDiscretComboBox = PickList(p, ModelParameters::KofDiscretItems());
    KofDiscretLabel = Label(p, "Коэф дискретизации", KofDiscretComboBox);

    FrequencyGroupBox = new QGroupBox(QString::fromUtf8(" Частота "), p);
    auto* fg = new QGridLayout(FrequencyGroupBox);
    fg->setContentsMargins(6, 2, 6, 4);
    fg->setHorizontalSpacing(6);
    fg->setVerticalSpacing(3);
    F0ComboBox = EditableList(FrequencyGroupBox, ModelParameters::F0Items());
    Label1 = Label(FrequencyGroupBox, "Центральная", F0ComboBox);
    FDComboBox = EditableList(FrequencyGroupBox, ModelParameters::FDItems());
    Label2 = Label(FrequencyGroupBox, "Девиации", FDComboBox);
    fg->addWidget(Label1, 0, 0);
    fg->addWidget(F0ComboBox, 0, 1);
    fg->addWidget(Label2, 1, 0);
    fg->addWidget(FDComboBox, 1, 1);
    fg->setColumnStretch(1, 1);

    grid->addWidget(SignalComboBox, 0, 0, 1, 3);
    grid->addWidget(TcLabel, 1, 0);
    grid->addWidget(TcComboBox, 1, 1);
    grid->addWidget(KofDiscretLabel, 2, 0);
    grid->addWidget(KofDiscretComboBox, 2, 1);
    SlEdit = new QLineEdit(p);
    grid->addWidget(Label(p, "Уровень источника", SlEdit), 3, 0);
    grid->addWidget(SlEdit, 3, 1);
    grid->addWidget(FrequencyGroupBox, 1, 2, 4, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
}

void ParametersWindow::BuildAntennaPage()
{
    QWidget* p = AntennaTabSheet;
    auto* grid = PageGrid(p);
    AntennaComboBox = PickList(p, ModelParameters::AntennaItems());
    QComboBox_ = EditableList(p, ModelParameters::QItems());
    QualityLabel = Label(p, "Добротность", QComboBox_);
    KComboBox = EditableList(p, ModelParameters::KItems());
    Label19 = Label(p, "Коэффициент широкополостности", KComboBox);
    grid->addWidget(AntennaComboBox, 0, 0, 1, 2);
    grid->addWidget(QualityLabel, 1, 0);
    grid->addWidget(QComboBox_, 1, 1);
    grid->addWidget(Label19, 2, 0);
    grid->addWidget(KComboBox, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
}

void ParametersWindow::BuildMediumPage()
{
    QWidget* p = MediumTabSheet;
    auto* grid = PageGrid(p);
    RangeComboBox = PickList(p, ModelParameters::RangeItems());
    SlnSpinEdit = new SpinEdit(p);
    SlnSpinEdit->setRange(0, 50);
    TemperatureSpinEdit = new SpinEdit(p);
    TemperatureSpinEdit->setRange(0, 100);
    REdit = new QLineEdit(p);
    StaticPEdit = new QLineEdit(p);
    SetGreyedLook(StaticPEdit, true);

    grid->addWidget(RangeComboBox, 0, 0, 1, 2);
    grid->addWidget(Label(p, "Соленность", SlnSpinEdit), 1, 0);
    grid->addWidget(SlnSpinEdit, 1, 1);
    grid->addWidget(Label(p, "Температура", TemperatureSpinEdit), 2, 0);
    grid->addWidget(TemperatureSpinEdit, 2, 1);
    grid->addWidget(Label(p, "Глубина", REdit), 1, 2);
    grid->addWidget(REdit, 1, 3);
    grid->addWidget(Label(p, "Статическое давление", StaticPEdit), 2, 2);
    grid->addWidget(StaticPEdit, 2, 3);
    AbsorptionComboBox = PickList(p, ModelParameters::AbsorptionItems());
    SeaDepthEdit = new QLineEdit(p);
    PhEdit = new QLineEdit(p);
    grid->addWidget(Label(p, "Поглощение", AbsorptionComboBox), 3, 0);
    grid->addWidget(AbsorptionComboBox, 3, 1, 1, 3);
    grid->addWidget(Label(p, "Глубина слоя", SeaDepthEdit), 4, 0);
    grid->addWidget(SeaDepthEdit, 4, 1);
    grid->addWidget(Label(p, "pH", PhEdit), 4, 2);
    grid->addWidget(PhEdit, 4, 3);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

void ParametersWindow::BuildGruntPage()
{
    QWidget* p = GruntTabSheet;
    auto* grid = PageGrid(p);
    GruntComboBox = PickList(p, ModelParameters::GruntItems());
    NComboBox = EditableList(p, ModelParameters::NItems());
    GruntHeightComboBox = EditableList(p, ModelParameters::GruntHeightItems());
    grid->addWidget(GruntComboBox, 0, 0, 1, 2);
    grid->addWidget(Label(p, "Порядок затухания", NComboBox), 1, 0);
    grid->addWidget(NComboBox, 1, 1);
    grid->addWidget(Label(p, "Глубина", GruntHeightComboBox), 2, 0);
    grid->addWidget(GruntHeightComboBox, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
}

void ParametersWindow::BuildObjectPage()
{
    QWidget* p = ObjectTabSheet;
    auto* grid = PageGrid(p);
    ObjectComboBox = PickList(p, ModelParameters::ObjectItems());
    RadiusEdit = new QLineEdit(p);
    VEdit = new QLineEdit(p);
    grid->addWidget(ObjectComboBox, 0, 0, 1, 2);
    grid->addWidget(Label(p, "Радиус", RadiusEdit), 1, 0);
    grid->addWidget(RadiusEdit, 1, 1);
    grid->addWidget(Label(p, "Скорость цели", VEdit), 2, 0);
    grid->addWidget(VEdit, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
}

void ParametersWindow::BuildFilterPage()
{
    QWidget* p = FilterTabSheet;
    auto* grid = PageGrid(p);
    FilterComboBox = PickList(p, ModelParameters::FilterItems());
    FilterOnCheckBox = new QCheckBox(QString::fromUtf8("Вкл"), p);
    FilterModeCheckBox = new QCheckBox(QString::fromUtf8("Согласовывать с эхо-сигналом"), p);
    SpeedButton1 = new QPushButton(QString::fromUtf8("Оценить"), p);
    WindowComboBox = PickList(p, ModelParameters::WindowItems());
    auto* window = new QHBoxLayout;
    window->addWidget(Label(p, "Окно фильтра", WindowComboBox));
    window->addWidget(WindowComboBox, 1);
    grid->addWidget(FilterComboBox, 0, 0);
    grid->addWidget(FilterOnCheckBox, 0, 1);
    grid->addWidget(FilterModeCheckBox, 1, 0, 1, 2);
    grid->addLayout(window, 2, 0);
    grid->addWidget(SpeedButton1, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);
}

void ParametersWindow::BuildNoisePage()
{
    QWidget* p = NoiseTabSheet;
    auto* grid = PageGrid(p);
    NoiseComboBox = PickList(p, ModelParameters::NoiseItems());
    NoiseOnCheckBox = new QCheckBox(QString::fromUtf8("Вкл"), p);
    NoiseTrackBar = new QSlider(Qt::Horizontal, p);
    NoiseTrackBar->setRange(1, 100);
    NoiseTrackBar->setTickPosition(QSlider::TicksBothSides);
    NoiseTrackBar->setTickInterval(5);
    NoiseTrackBar->setPageStep(10);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel(QStringLiteral("0.1"), p));
    ends->addStretch(1);
    ends->addWidget(new QLabel(QStringLiteral("10"), p));
    grid->addWidget(NoiseComboBox, 0, 0);
    grid->addWidget(NoiseOnCheckBox, 0, 1);
    grid->addWidget(Label(p, "Соотношение сигнал / шум", NoiseTrackBar), 1, 0, 1, 2);
    grid->addWidget(NoiseTrackBar, 2, 0, 1, 2);
    grid->addLayout(ends, 3, 0, 1, 2);
    NlEdit = new QLineEdit(p);
    DiEdit = new QLineEdit(p);
    auto* levels = new QGridLayout;
    levels->addWidget(Label(p, "Спектральный уровень NL", NlEdit), 0, 0);
    levels->addWidget(NlEdit, 0, 1);
    levels->addWidget(Label(p, "Выигрыш антенны DI", DiEdit), 1, 0);
    levels->addWidget(DiEdit, 1, 1);
    grid->addLayout(levels, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(0, 1);
}

void ParametersWindow::BuildNormPage()
{
    QWidget* p = NormTabSheet;
    auto* grid = PageGrid(p);
    NormComboBox = PickList(p, ModelParameters::NormItems());
    NormOnCheckBox = new QCheckBox(QString::fromUtf8("Вкл"), p);
    grid->addWidget(NormComboBox, 0, 0);
    grid->addWidget(NormOnCheckBox, 0, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);
}

void ParametersWindow::BuildMemoryPage()
{
    QWidget* p = MemoryTabSheet;
    auto* grid = PageGrid(p);
    auto* counts = new QGroupBox(QString::fromUtf8(" Количество отсчетов "), p);
    auto* cg = new QGridLayout(counts);
    cg->setContentsMargins(6, 2, 6, 4);
    cg->setVerticalSpacing(3);
    RealSignalSizeEdit = FigureEdit(counts, "шт");
    SignalSizeEdit = FigureEdit(counts, "шт");
    cg->addWidget(Label(counts, "Реальных", RealSignalSizeEdit), 0, 0);
    cg->addWidget(RealSignalSizeEdit, 0, 1);
    cg->addWidget(Label(counts, "Дополненых", SignalSizeEdit), 1, 0);
    cg->addWidget(SignalSizeEdit, 1, 1);
    SignalDataSizeEdit = FigureEdit(p, "байт");
    grid->addWidget(counts, 0, 0, 1, 2);
    grid->addWidget(Label(p, "Объем памяти занимаемый сигналом", SignalDataSizeEdit), 1, 0);
    grid->addWidget(SignalDataSizeEdit, 1, 1);
    grid->setRowStretch(2, 1);
}

void ParametersWindow::BuildCommonPage()
{
    QWidget* p = CommonTabSheet;
    auto* grid = PageGrid(p);
    MinCheckBox = new QCheckBox(QString::fromUtf8("Учитывать затухания от глубины"), p);
    DtEdit = new QLineEdit(p);
    grid->addWidget(MinCheckBox, 0, 0, 1, 2);
    grid->addWidget(Label(p, "Шаг дискретизации", DtEdit), 1, 0);
    grid->addWidget(DtEdit, 1, 1);
    LevelModelComboBox = PickList(p, ModelParameters::LevelModelItems());
    LevelModelComboBox->setToolTip(QString::fromUtf8(
        "«Уравнение гидролокации»: уровни в мкПа, сферическое расширение фронта, поглощение, время "
        "распространения, сила цели жесткой сферы и шум приемника по NL и DI"));
    grid->addWidget(Label(p, "Модель уровней", LevelModelComboBox), 2, 0);
    grid->addWidget(LevelModelComboBox, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
}

void ParametersWindow::BuildModelsPage()
{
    QWidget* p = ModelsTabSheet;
    auto* grid = PageGrid(p);
    ModelCheckListBox = new QListWidget(p);
    for (const auto& gate : ModelParameters::GateItems()) {
        auto* item = new QListWidgetItem(Q(gate), ModelCheckListBox);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Checked);
    }
    // Tall enough for all seven gates and no taller.
    ModelCheckListBox->setFixedHeight(ModelCheckListBox->sizeHintForRow(0) * ModelCheckListBox->count() +
                                      2 * ModelCheckListBox->frameWidth() + 2);
    grid->addWidget(ModelCheckListBox, 0, 0);
    grid->setRowStretch(1, 1);
}

void ParametersWindow::Handle(const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        ShowError(this, FailureMessage(e));
    }
    SyncFromState();
    if (bus_) emit bus_->changed();
}

void ParametersWindow::ApplyText(TextSetter setter, const QString& text)
{
    const std::string typed = S(text);
    Handle([this, setter, &typed] { std::invoke(setter, params_, typed); });
}

void ParametersWindow::Connect()
{
    // Pick-only lists: the user's choice.
    connect(SignalComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetSignalItem(item); }); });
    connect(KofDiscretComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetKofDiscretItem(item); }); });
    connect(AntennaComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetAntennaItem(item); }); });
    connect(GruntComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetGruntItem(item); }); });
    connect(WindowComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetWindowItem(item); }); });
    connect(LevelModelComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetLevelModel(item); }); });
    connect(AbsorptionComboBox, &QComboBox::activated, this,
            [this](int item) { Handle([&] { params_.SetAbsorptionItem(item); }); });

    // Editable lists: a chosen item or every keystroke.
    const auto editable = [this](QComboBox* box, TextSetter setter) {
        const auto apply = [this, box, setter] { ApplyText(setter, box->currentText()); };
        connect(box, &QComboBox::activated, this, apply);
        connect(box->lineEdit(), &QLineEdit::textEdited, this, apply);
    };
    editable(F0ComboBox, &ModelParameters::SetF0Text);
    editable(FDComboBox, &ModelParameters::SetFDText);
    editable(TcComboBox, &ModelParameters::SetTcText);
    editable(QComboBox_, &ModelParameters::SetQText);
    editable(KComboBox, &ModelParameters::SetKText);
    editable(NComboBox, &ModelParameters::SetNText);
    editable(GruntHeightComboBox, &ModelParameters::SetGruntHeightText);

    const auto edit = [this](QLineEdit* line, TextSetter setter) {
        connect(line, &QLineEdit::textEdited, this,
                [this, setter](const QString& text) { ApplyText(setter, text); });
    };
    edit(REdit, &ModelParameters::SetRText);
    edit(RadiusEdit, &ModelParameters::SetRadiusText);
    edit(VEdit, &ModelParameters::SetVText);
    edit(DtEdit, &ModelParameters::SetDtText);
    edit(SlEdit, &ModelParameters::SetSlText);
    edit(NlEdit, &ModelParameters::SetNlText);
    edit(DiEdit, &ModelParameters::SetDiText);
    edit(SeaDepthEdit, &ModelParameters::SetSeaDepthText);
    edit(PhEdit, &ModelParameters::SetPhText);

    connect(SlnSpinEdit, &SpinEdit::changed, this,
            [this](int v) { Handle([&] { params_.SetSln(v); }); });
    connect(TemperatureSpinEdit, &SpinEdit::changed, this,
            [this](int v) { Handle([&] { params_.SetTemperature(v); }); });

    connect(NoiseTrackBar, &QSlider::valueChanged, this,
            [this](int v) { Handle([&] { params_.SetSnrPosition(v); }); });

    connect(FilterModeCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { Handle([&] { main_.SetFilterMode(on); }); });
    connect(FilterOnCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { Handle([&] { params_.filterOn = on; }); });
    connect(NoiseOnCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { Handle([&] { params_.noiseOn = on; }); });
    connect(NormOnCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { Handle([&] { params_.normOn = on; }); });
    connect(MinCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { Handle([&] { params_.depthOn = on; }); });

    connect(ModelCheckListBox, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int row = ModelCheckListBox->row(item);
        if (row < 0 || row >= static_cast<int>(params_.gates.size())) return;
        Handle([&] { params_.gates[row] = item->checkState() == Qt::Checked; });
    });

    connect(SpeedButton1, &QPushButton::clicked, this, &ParametersWindow::evaluateRequested);
}

void ParametersWindow::SyncFromState()
{
    const ModelParameters& s = params_;
    ShowItem(SignalComboBox, s.signalItem);
    ShowText(F0ComboBox, s.f0Text);
    ShowText(FDComboBox, s.fdText);
    ShowText(TcComboBox, s.tcText);
    ShowItem(KofDiscretComboBox, s.kofDiscretItem);
    if (Greyed(FDComboBox) == s.fdEnabled) {
        SetGreyedLook(FDComboBox, !s.fdEnabled);
        Label2->setEnabled(s.fdEnabled);
    }

    ShowItem(AntennaComboBox, s.antennaItem);
    ShowText(QComboBox_, s.qText);
    ShowText(KComboBox, s.kText);
    if (Greyed(KComboBox) == s.kEnabled) {
        SetGreyedLook(KComboBox, !s.kEnabled);
        Label19->setEnabled(s.kEnabled);
    }

    ShowItem(RangeComboBox, 0);
    ShowValue(SlnSpinEdit, s.slnValue);
    ShowValue(TemperatureSpinEdit, s.temperatureValue);
    ShowText(REdit, s.rText);
    ShowText(StaticPEdit, s.staticPText);

    ShowItem(GruntComboBox, s.gruntItem);
    ShowText(NComboBox, s.nText);
    ShowText(GruntHeightComboBox, s.gruntHeightText);

    ShowItem(ObjectComboBox, 0);
    ShowText(RadiusEdit, s.radiusText);
    ShowText(VEdit, s.vText);

    ShowItem(FilterComboBox, 0);
    ShowChecked(FilterModeCheckBox, s.filterMode);
    ShowChecked(FilterOnCheckBox, s.filterOn);
    ShowItem(WindowComboBox, s.windowItem);
    ShowItem(NoiseComboBox, 0);
    ShowChecked(NoiseOnCheckBox, s.noiseOn);
    if (NoiseTrackBar->value() != s.snrPosition) {
        QSignalBlocker block(NoiseTrackBar);
        NoiseTrackBar->setValue(s.snrPosition);
    }
    const bool sonar = s.levels.On();
    ShowUsed(NoiseTrackBar, !sonar,
             "Не используется в модели уровней «Уравнение гидролокации»: шум приемника задают NL и DI",
             SnrTip(s.snrHint));
    ShowItem(NormComboBox, 0);
    ShowChecked(NormOnCheckBox, s.normOn);

    ShowText(RealSignalSizeEdit, s.realSizeText);
    ShowText(SignalSizeEdit, s.paddedSizeText);
    ShowText(SignalDataSizeEdit, s.bytesText);

    ShowChecked(MinCheckBox, s.depthOn);
    ShowText(DtEdit, s.dtText);
    ShowItem(LevelModelComboBox, s.levels.model);
    ShowUsed(MinCheckBox, !sonar,
             "Не используется в модели уровней «Уравнение гидролокации»: расширение фронта и поглощение — "
             "в самой среде");
    ShowText(SlEdit, s.slText);
    ShowText(NlEdit, s.nlText);
    ShowText(DiEdit, s.diText);
    ShowItem(AbsorptionComboBox, s.levels.absorption);
    ShowText(SeaDepthEdit, s.seaDepthText);
    ShowText(PhEdit, s.phText);
    const bool fg = sonar && s.levels.absorption == kFrancoisGarrison;
    ShowUsed(SlEdit, sonar, kSonarOnly);
    ShowUsed(NlEdit, sonar, kSonarOnly);
    ShowUsed(DiEdit, sonar, kSonarOnly);
    ShowUsed(AbsorptionComboBox, sonar, kSonarOnly);
    ShowUsed(SeaDepthEdit, fg, "Используется поглощением Франсуа – Гаррисона");
    ShowUsed(PhEdit, fg, "Используется поглощением Франсуа – Гаррисона");

    QSignalBlocker block(ModelCheckListBox);
    for (int i = 0; i < ModelCheckListBox->count() && i < static_cast<int>(s.gates.size()); ++i) {
        const Qt::CheckState want = s.gates[i] ? Qt::Checked : Qt::Unchecked;
        if (ModelCheckListBox->item(i)->checkState() != want) ModelCheckListBox->item(i)->setCheckState(want);
    }
}

void ParametersWindow::SetTips()
{
    // The label that names a field, where it has one.
    const auto labelOf = [this](QWidget* field) -> QWidget* {
        for (QLabel* label : findChildren<QLabel*>())
            if (label->buddy() == field) return label;
        return nullptr;
    };
    const auto tip = [&](QWidget* field, const char* quantity, const char* range, const char* does) {
        SetTip(field, Tip(quantity, range, does), labelOf(field));
    };
    tip(SignalComboBox, "Вид зондирующего сигнала", "радиоимпульс, ЛЧМ-импульс или код Баркера (13 элементов)",
        "Какой импульс излучает антенна");
    tip(F0ComboBox, "Центральная частота F0, Гц", "в списке 3700 и 10300; можно ввести любое положительное число",
        "Несущая частота импульса; от нее зависят шаг дискретизации и длительность элемента кода Баркера");
    tip(FDComboBox, "Девиация частоты FD, Гц", "в списке от 128 до 6024; только для ЛЧМ-импульса",
        "Частота ЛЧМ-импульса проходит от F0 - FD до F0 + FD; база сигнала BT = 2·FD·Tc");
    tip(TcComboBox, "Длительность импульса Tc, с", "в списке от 0,01 до 8",
        "Для кода Баркера округляется вниз до целого числа элементов по целому числу периодов");
    tip(KofDiscretComboBox, "Коэффициент дискретизации, отсчетов на период", "2, 4, 8, 16 или 64",
        "Отсчетов на период наибольшей частоты сигнала: шаг Dt = 1 / (коэффициент · Fmax)");
    tip(AntennaComboBox, "Вид антенны", "узкополосная (один резонанс) или широкополосная (три резонанса)",
        "Частотная характеристика антенны при излучении и приеме");
    tip(QComboBox_, "Добротность Q, безразмерная", "в списке 5 и 15; положительное число",
        "Ширина резонанса антенны: полоса около F0 / Q");
    tip(KComboBox, "Коэффициент широкополосности, безразмерный", "в списке от 0,75 до 6,28; только для широкополосной",
        "Как далеко от F0 лежат боковые резонансы широкополосной антенны (F0 · K / Q)");
    tip(RangeComboBox, "Среда распространения", "вода", "Водная среда между антенной и целью");
    tip(SlnSpinEdit, "Соленость, ‰ (промилле)", "от 0 до 50", "Соленость воды; от нее зависит поглощение звука");
    tip(TemperatureSpinEdit, "Температура, °C", "от 0 до 100", "Температура воды; от нее зависит поглощение звука");
    tip(REdit, "Глубина: дальность до цели R, км", "положительное число, например 1",
        "Путь сигнала в воде в одну сторону: поглощение и (на вкладке «Общие») затухание от расстояния");
    tip(StaticPEdit, "Статическое давление", "только для чтения", "Давление в среде, как оно задано в модели");
    tip(GruntComboBox, "Вид грунта", "ил-глина, песок или смешанные частицы",
        "Коэффициент затухания k в грунте: 0,041, 0,5 или 0,7");
    tip(NComboBox, "Порядок затухания n, безразмерный", "в списке 0,5, 1 и 2",
        "Затухание в грунте k · f^n дБ на метр слоя, f в кГц");
    tip(GruntHeightComboBox, "Глубина: толщина слоя грунта, м", "в списке от 0,01 до 10",
        "Толщина слоя, который сигнал проходит до цели и обратно");
    tip(ObjectComboBox, "Цель", "сфера", "Отражающий объект: жесткая сфера");
    tip(RadiusEdit, "Радиус сферы, м", "положительное число, например 0,06", "Размер цели; от него зависит отражение");
    tip(VEdit, "Скорость цели V, м/с", "от -50 до 50; положительная: цель приближается",
        "Радиальная скорость цели: эхо-сигнал сжимается (цель приближается) или растягивается во времени, "
        "его частоты сдвигаются (эффект Доплера)");
    tip(FilterComboBox, "Фильтр", "согласованный", "Сжатие эхо-сигнала согласованным фильтром");
    tip(FilterOnCheckBox, "Фильтр: вкл/выкл", "то же, что «Фильтр» в главном окне",
        "Пропускает принятый сигнал через согласованный фильтр");
    tip(WindowComboBox, "Окно фильтра", "нет, Хэмминг, Ханн, Блэкман или Тейлор",
        "Весовое окно опорного сигнала: снижает боковые лепестки сжатого сигнала ценой более широкого главного");
    tip(FilterModeCheckBox, "Опорный сигнал фильтра", "выкл: зондирующий сигнал; вкл: эхо-сигнал",
        "С чем согласован фильтр");
    tip(SpeedButton1, "Оценить", "окно «Согласованный фильтр»", "Серия расчетов по дальностям и толщинам грунта");
    tip(NoiseComboBox, "Шум", "нормальный", "Гауссов шум, добавляемый к принятому сигналу");
    tip(NoiseOnCheckBox, "Шум: вкл/выкл", "то же, что «Шум» в главном окне",
        "Добавляет шум с отношением сигнал / шум, заданным ползунком");
    tip(NormComboBox, "Нормировка", "энергетическая", "Приведение сигнала к энергии излученного");
    tip(NormOnCheckBox, "Нормировка: вкл/выкл", "то же, что «Нормировка» в главном окне",
        "Масштабирует принятый сигнал по энергии излученного");
    tip(RealSignalSizeEdit, "Реальных отсчетов, шт", "только для чтения, после расчета",
        "Отсчетов в записи сигнала");
    tip(SignalSizeEdit, "Дополненных отсчетов, шт", "только для чтения, после расчета",
        "Длина записи, дополненная до степени двойки для преобразования Фурье");
    tip(SignalDataSizeEdit, "Объем памяти, байт", "только для чтения, после расчета", "Память, которую занимает сигнал");
    tip(MinCheckBox, "Затухание от глубины: вкл/выкл", "выкл по умолчанию",
        "Учитывает ослабление сигнала с расстоянием и толщиной грунта");
    tip(DtEdit, "Шаг дискретизации Dt, c", "положительное число; выводится из F0 и коэффициента дискретизации",
        "Время между отсчетами; можно ввести свой шаг");
    tip(ModelCheckListBox, "Этапы пути сигнала", "отметка: этап учитывается",
        "Снятая отметка исключает модель этапа из расчета");
    tip(LevelModelComboBox, "Модель уровней", "учебная (исходная) или уравнение гидролокации",
        "Учебная: уровни программы; уравнение гидролокации: уровень источника, потери на распространение, "
        "сила цели и шум приемника");
    tip(SlEdit, "Уровень источника SL, дБ относительно 1 мкПа на 1 м", "например 210",
        "Среднеквадратичное давление излученного импульса на расстоянии 1 м");
    tip(NlEdit, "Спектральный уровень шума NL, дБ относительно 1 мкПа²/Гц", "например 60",
        "Шум моря на входе приемника, в полосе записи");
    tip(DiEdit, "Индекс направленности DI, дБ", "например 10",
        "Выигрыш приемной антенны против изотропного шума");
    tip(AbsorptionComboBox, "Поглощение", "формула программы или Франсуа – Гаррисон (1982)",
        "Чем считать поглощение звука в воде");
    tip(SeaDepthEdit, "Глубина моря для поглощения, м", "например 100; только для Франсуа – Гаррисона",
        "Глубина, от которой зависит поглощение по Франсуа – Гаррисону (не дальность до цели)");
    tip(PhEdit, "Кислотность pH", "например 8; только для Франсуа – Гаррисона",
        "Кислотность воды; от нее зависит поглощение борной кислотой");
}

void ParametersWindow::SetEvaluationLock(bool locked)
{
    for (QWidget* w : std::initializer_list<QWidget*>{FilterOnCheckBox, FilterModeCheckBox, NoiseOnCheckBox,
                                                       NormOnCheckBox, MinCheckBox, AntennaTabSheet,
                                                       ObjectTabSheet}) {
        w->setEnabled(!locked);
    }
}

}  // namespace sonavir
