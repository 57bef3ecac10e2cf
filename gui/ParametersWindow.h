#pragma once
// The parameters window: every control writes the program's parameter set at
// once (there is no OK or Cancel). The logic lives in ModelParameters; the
// handlers here only read their control, call its setter and report failures.

#include <QWidget>
#include <functional>

#include "gui/SpinEdit.h"
#include "gui/TabRows.h"
#include "gui/WindowBus.h"
#include "model/MainState.h"
#include "model/ModelParameters.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;

namespace sonavir {

// The noise slider's tooltip for the ratio it stands at ("5").
QString SnrTip(const std::string& snr);

class ParametersWindow : public QWidget {
    Q_OBJECT
public:
    ParametersWindow(ModelParameters& params, MainState& main, WindowBus* bus, QWidget* parent = nullptr);

    // Refresh every control from the state, touching only those whose shown
    // value differs; no handler runs.
    void SyncFromState();
    // While the evaluation window is shown, the settings it fixes are locked.
    void SetEvaluationLock(bool locked);

    TabRows* ModelsPageControl;
    QWidget *SignalTabSheet, *AntennaTabSheet, *MediumTabSheet, *GruntTabSheet, *ObjectTabSheet,
        *FilterTabSheet, *NoiseTabSheet, *NormTabSheet, *MemoryTabSheet, *CommonTabSheet,
        *ModelsTabSheet;

    // "Cигнал"
    QComboBox* SignalComboBox;
    QGroupBox* FrequencyGroupBox;
    QLabel* Label1;  // "Центральная"
    QComboBox* F0ComboBox;
    QLabel* Label2;  // "Девиации"
    QComboBox* FDComboBox;
    QLabel* TcLabel;
    QComboBox* TcComboBox;
    QLabel* KofDiscretLabel;
    QComboBox* KofDiscretComboBox;
    QLineEdit* SlEdit;  // the sonar equation's source level
    // "Антенна"
    QComboBox* AntennaComboBox;
    QLabel* QualityLabel;  // "Добротность"
    QComboBox* QComboBox_;  // the Q factor; a trailing _ because QComboBox names the class
    QLabel* Label19;  // "Коэффициент широкополостности"
    QComboBox* KComboBox;
    // "Среда"
    QComboBox* RangeComboBox;
    SpinEdit* SlnSpinEdit;
    SpinEdit* TemperatureSpinEdit;
    QLineEdit* REdit;
    QLineEdit* StaticPEdit;
    QComboBox* AbsorptionComboBox;  // the sonar equation's absorption formula
    QLineEdit* SeaDepthEdit;        // Francois-Garrison's depth
    QLineEdit* PhEdit;
    // "Грунт"
    QComboBox* GruntComboBox;
    QComboBox* NComboBox;
    QComboBox* GruntHeightComboBox;
    // "Объект"
    QComboBox* ObjectComboBox;
    QLineEdit* RadiusEdit;
    QLineEdit* VEdit;  // "Скорость цели", m/s
    // "Фильтр"
    QComboBox* FilterComboBox;
    QCheckBox* FilterModeCheckBox;
    QCheckBox* FilterOnCheckBox;
    QComboBox* WindowComboBox;  // "Окно фильтра"
    QPushButton* SpeedButton1;  // "Оценить"
    // "Шум"
    QComboBox* NoiseComboBox;
    QCheckBox* NoiseOnCheckBox;
    QSlider* NoiseTrackBar;
    QLineEdit* NlEdit;  // the sonar equation's noise spectral level
    QLineEdit* DiEdit;  // and the receiving array's gain
    // "Нормировка"
    QComboBox* NormComboBox;
    QCheckBox* NormOnCheckBox;
    // "Память"
    QLineEdit* RealSignalSizeEdit;
    QLineEdit* SignalSizeEdit;
    QLineEdit* SignalDataSizeEdit;
    // "Общие"
    QCheckBox* MinCheckBox;
    QLineEdit* DtEdit;
    QComboBox* LevelModelComboBox;  // "Модель уровней"
    // "Модели"
    QListWidget* ModelCheckListBox;

signals:
    void evaluateRequested();

private:
    void BuildSignalPage();
    void BuildAntennaPage();
    void BuildMediumPage();
    void BuildGruntPage();
    void BuildObjectPage();
    void BuildFilterPage();
    void BuildNoisePage();
    void BuildNormPage();
    void BuildMemoryPage();
    void BuildCommonPage();
    void BuildModelsPage();
    void Connect();
    // Every field's and switch's tooltip: quantity and unit, range, purpose.
    void SetTips();

    // Runs a handler's body: a failure is shown in the standard error box and
    // ends the handler; the state reached so far stands and is shown.
    void Handle(const std::function<void()>& body);
    using TextSetter = void (ModelParameters::*)(const std::string&);
    // A text control's change: the setter with the text as typed.
    void ApplyText(TextSetter setter, const QString& text);

    ModelParameters& params_;
    MainState& main_;
    WindowBus* bus_;
};

}  // namespace sonavir
