#pragma once
// The model parameter set: the numeric values the models read, the state of
// every control of the parameters window that a run reads directly, and the
// change handlers of those controls as setters that take the control's text
// exactly as typed. A setter that cannot convert its text throws SonavirError
// with the conversion message; the text is kept as typed (the control shows
// it) and the parameter keeps its previous value.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/EchoPath.h"
#include "signal/ModelParams.h"

namespace sonavir {

enum SignalKind { kRadioPulse = 0, kLfmPulse = 1, kBarkerPulse = 2 };

inline constexpr std::array<double, 3> GruntKoefTable = {0.041, 0.5, 0.7};

// The target's radial velocity is taken within +-50 m/s.
inline constexpr int kMaxVelocity = 50;

// The Barker duration for a duration tc: a whole number of 13-chip groups of
// whole carrier periods, cut toward zero. tc is the duration as typed or as a
// run wrote it back with 4 digits, so a count that falls short of a whole
// number by no more than that text's rounding counts as the whole number: a
// snapped duration written back snaps to itself again.
long double BarkerDuration(long double tc, long double f0);

class ModelParameters {
public:
    // The defaults of the parameters window's creation, DeriveParameters
    // included.
    ModelParameters();

    TModelParams p;

    // Items of the controls' lists (texts as shown).
    static const std::vector<std::string>& SignalItems();
    static const std::vector<std::string>& F0Items();
    static const std::vector<std::string>& FDItems();
    static const std::vector<std::string>& TcItems();
    static const std::vector<std::string>& KofDiscretItems();
    static const std::vector<std::string>& AntennaItems();
    static const std::vector<std::string>& QItems();
    static const std::vector<std::string>& KItems();
    static const std::vector<std::string>& GruntItems();
    static const std::vector<std::string>& NItems();
    static const std::vector<std::string>& GruntHeightItems();
    static const std::vector<std::string>& GateItems();
    // "Окно фильтра": item i is WindowKind(i) of signal/Weighting.h.
    static const std::vector<std::string>& WindowItems();
    // The single-choice lists (no effect on the computation).
    static const std::vector<std::string>& RangeItems();
    static const std::vector<std::string>& ObjectItems();
    static const std::vector<std::string>& FilterItems();
    static const std::vector<std::string>& NoiseItems();
    static const std::vector<std::string>& NormItems();

    // Control state.
    int signalItem = kLfmPulse;
    int antennaItem = 1;
    int kofDiscretItem = 1;
    int gruntItem = 0;
    std::string f0Text = "10300", fdText = "1024", tcText = "0,01", qText = "5";
    std::string kText = "3,14";  // read by the wide-band antenna on every run
    std::string rText = "1", staticPText = "1", nText = "1", gruntHeightText = "0,1";
    std::string radiusText = "0,06";
    std::string vText = "0";      // "Скорость цели", m/s
    int windowItem = 0;           // "Окно фильтра"
    std::string dtText;           // written by DeriveParameters
    // The duration that the duration box stands for: as last typed and
    // accepted, or as a run wrote it back. The Barker snap always starts
    // from it, never from a value already snapped.
    long double tcTextValue = 0.01L;
    int slnValue = 35, temperatureValue = 23;
    int snrPosition = 50;          // NoiseTrackBar, 1 .. 100
    std::string snrHint = "5";
    bool fdEnabled = true;         // the deviation is used by LFM only
    bool kEnabled = true;          // the wide-band coefficient by wide-band only
    bool filterOn = false, noiseOn = false, normOn = false;  // the "Вкл" pairs
    bool filterMode = false;       // "Согласовывать с эхо-сигналом"
    bool depthOn = false;          // "Учитывать затухания от глубины"
    StageGates gates = AllGatesOn();

    // The "Память" figures, written at the start of every run.
    std::string realSizeText = "0", paddedSizeText = "0", bytesText = "0";

    long double Snr() const { return snrPosition / 10.0L; }

    // Barker snap of Tc, Fmax, W0, Dt and the text of the step field. Writing
    // that text is not a user change: Dt keeps its full value. A failing step
    // (F0 0 under Barker, Fmax 0) throws and leaves the earlier steps done.
    void DeriveParameters();

    // A run shows the duration in use with 4 digits (a Barker snap becomes
    // visible); not a user change, so Tc keeps its full value. Later snaps
    // start from the duration shown.
    void ShowTcText();
    // Tc := the duration box's text as a number (the series runs read it so).
    void ReadTcText();

    // Change handlers.
    void SetSignalItem(int item);          // SignalComboBoxClick
    void SetF0Text(const std::string& text);
    void SetFDText(const std::string& text);
    void SetTcText(const std::string& text);
    void SetKofDiscretItem(int item);       // throws for an item not in the list
    void SetAntennaItem(int item);
    void SetQText(const std::string& text);
    void SetKText(const std::string& text);  // no handler: text only
    void SetSln(int value);
    void SetTemperature(int value);
    void SetRText(const std::string& text);
    void SetGruntItem(int item);            // throws for an item not in the list
    void SetNText(const std::string& text);
    void SetGruntHeightText(const std::string& text);
    void SetRadiusText(const std::string& text);
    // The target's velocity: a number from -kMaxVelocity to kMaxVelocity.
    void SetVText(const std::string& text);
    void SetWindowItem(int item);           // throws for an item not in the list
    void SetDtText(const std::string& text);
    void SetSnrPosition(int position);      // also rewrites the hint
};

}  // namespace sonavir
