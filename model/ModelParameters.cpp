#include "model/ModelParameters.h"

#include "model/EchoPath.h"

#include <cfloat>
#include <cmath>
#include <numbers>

#include "signal/Errors.h"
#include "signal/NumberText.h"
#include "signal/Weighting.h"

namespace sonavir {

namespace {

// Physical parameters are doubles: a typed value beyond their range would
// become infinity, so it fails as the store into a double would.
double ToDouble(long double v)
{
    if (std::fabs(v) > DBL_MAX) RaiseOverflow();
    return static_cast<double>(v);
}

[[noreturn]] void RaiseListIndex(int item)
{
    throw SonavirError("List index out of bounds (" + std::to_string(item) + ")");
}

}  // namespace

long double BarkerDuration(long double tc, long double f0)
{
    // 13 is the Barker code length. The count is taken from the far end of
    // the range of durations that the text could have been rounded from.
    const long double reach = std::fabs(tc) + GeneralRounding(tc, 4);
    const long double chips = CheckFinite(reach * std::fabs(f0)) / 13;
    if (std::isnan(chips) || !(chips < 0x1p63L)) RaiseInvalidOp();
    auto whole = static_cast<std::int64_t>(chips);
    if ((tc < 0) != (f0 < 0)) whole = -whole;
    return CheckedDiv(static_cast<long double>(whole) * 13, f0);
}

const std::vector<std::string>& ModelParameters::SignalItems()
{
    static const std::vector<std::string> items = {
        "Радиоимпульс", "С линейночастотной модуляцией",
        "Манипулированный по фазе в соответствии с кодом Баркера"};
    return items;
}

const std::vector<std::string>& ModelParameters::F0Items()
{
    static const std::vector<std::string> items = {"3700", "10300"};
    return items;
}

const std::vector<std::string>& ModelParameters::FDItems()
{
    static const std::vector<std::string> items = {"128", "256", "512", "1024", "6024"};
    return items;
}

const std::vector<std::string>& ModelParameters::TcItems()
{
    static const std::vector<std::string> items = {"0,01", "0,1", "0,25", "0,5",
                                                   "1",    "2",   "4",    "8"};
    return items;
}

const std::vector<std::string>& ModelParameters::KofDiscretItems()
{
    static const std::vector<std::string> items = {"2", "4", "8", "16", "64"};
    return items;
}

const std::vector<std::string>& ModelParameters::AntennaItems()
{
    static const std::vector<std::string> items = {"Узкополосная", "Широкополосная"};
    return items;
}

const std::vector<std::string>& ModelParameters::QItems()
{
    static const std::vector<std::string> items = {"5", "15"};
    return items;
}

const std::vector<std::string>& ModelParameters::KItems()
{
    static const std::vector<std::string> items = {"0,75", "1", "2,09", "3,14", "4,71", "6,28"};
    return items;
}

const std::vector<std::string>& ModelParameters::GruntItems()
{
    static const std::vector<std::string> items = {"Ил-глина", "Песок", "Смешанные частицы"};
    return items;
}

const std::vector<std::string>& ModelParameters::NItems()
{
    static const std::vector<std::string> items = {"0,5", "1", "2"};
    return items;
}

const std::vector<std::string>& ModelParameters::GruntHeightItems()
{
    static const std::vector<std::string> items = {"0,01", "0,1", "1", "5", "10"};
    return items;
}

const std::vector<std::string>& ModelParameters::GateItems()
{
    return GateItemTexts();
}

const std::vector<std::string>& ModelParameters::WindowItems()
{
    static const std::vector<std::string> items = {"Нет", "Хэмминг", "Ханн", "Блэкман",
                                                   "Тейлор (n\u0304 = 4, \u221235 дБ)"};
    static_assert(kWindowKinds == 5);
    return items;
}

const std::vector<std::string>& ModelParameters::RangeItems()
{
    static const std::vector<std::string> items = {"Вода"};
    return items;
}

const std::vector<std::string>& ModelParameters::ObjectItems()
{
    static const std::vector<std::string> items = {"Сфера"};
    return items;
}

const std::vector<std::string>& ModelParameters::FilterItems()
{
    static const std::vector<std::string> items = {"Согласованный"};
    return items;
}

const std::vector<std::string>& ModelParameters::NoiseItems()
{
    static const std::vector<std::string> items = {"Нормальный"};
    return items;
}

const std::vector<std::string>& ModelParameters::NormItems()
{
    static const std::vector<std::string> items = {"Энергетическая"};
    return items;
}

ModelParameters::ModelParameters()
{
    // The window's creation: every value is read from its control's text,
    // then the derived values follow.
    p.F0 = StrToFloat(f0Text);
    p.FD = StrToFloat(fdText);
    ReadTcText();
    p.KofDiscret = static_cast<std::uint8_t>(StrToInt(KofDiscretItems()[kofDiscretItem]));
    p.Q = ToDouble(StrToFloat(qText));
    p.Sln = slnValue;
    p.Temperature = temperatureValue;
    p.R = ToDouble(StrToFloat(rText));
    p.StaticP = ToDouble(StrToFloat(staticPText));
    p.NOrder = ToDouble(StrToFloat(nText));
    p.GruntHeight = ToDouble(StrToFloat(gruntHeightText));
    p.GruntKoef = GruntKoefTable[gruntItem];
    p.Radius = ToDouble(StrToFloat(radiusText));
    DeriveParameters();
    snrHint = FormatGeneral(Snr(), 15);
}

void ModelParameters::DeriveParameters()
{
    // Each step stores its result before the next one runs, so a failure
    // (F0 0 in the snap, Fmax 0 in the step) leaves the earlier results in
    // place and Dt with its text as they were.
    // Whole chips of whole carrier periods, from the box's duration: snapping
    // a snapped value again could only shorten it.
    if (signalItem == kBarkerPulse) p.Tc = BarkerDuration(tcTextValue, p.F0);
    p.Fmax = CheckFinite(signalItem == kLfmPulse ? p.F0 + 2 * p.FD : p.F0);
    p.W0 = CheckFinite(2 * std::numbers::pi_v<long double> * p.F0);
    p.Dt = CheckedDiv(1, CheckFinite(p.KofDiscret * p.Fmax));
    dtText = FormatGeneral(p.Dt, 10);
}

void ModelParameters::ShowTcText()
{
    tcText = FormatGeneral(p.Tc, 4);
    tcTextValue = StrToFloat(tcText);
}

void ModelParameters::ReadTcText() { p.Tc = tcTextValue = StrToFloat(tcText); }

void ModelParameters::SetSignalItem(int item)
{
    signalItem = item;
    if (item != kLfmPulse && fdEnabled) {
        fdEnabled = false;
        DeriveParameters();
    } else if (item == kLfmPulse && !fdEnabled) {
        fdEnabled = true;
        // A deviation text refused earlier keeps the last accepted deviation,
        // and the derived values follow the new kind all the same: no run
        // may take the sweep with the previous kind's step.
        try {
            p.FD = StrToFloat(fdText);
        } catch (const SonavirError&) {
            DeriveParameters();
            throw;
        }
        DeriveParameters();
    }
    // Between radio and Barker nothing is derived until the next change of
    // F0, FD, Tc or the sampling coefficient.
}

void ModelParameters::SetF0Text(const std::string& text)
{
    f0Text = text;
    p.F0 = StrToFloat(text);
    DeriveParameters();
}

void ModelParameters::SetFDText(const std::string& text)
{
    fdText = text;
    p.FD = StrToFloat(text);
    DeriveParameters();
}

void ModelParameters::SetTcText(const std::string& text)
{
    tcText = text;
    p.Tc = StrToFloat(text);
    tcTextValue = p.Tc;
    DeriveParameters();
}

void ModelParameters::SetKofDiscretItem(int item)
{
    const auto& items = KofDiscretItems();
    if (item < 0 || item >= static_cast<int>(items.size())) RaiseListIndex(item);
    kofDiscretItem = item;
    p.KofDiscret = static_cast<std::uint8_t>(StrToInt(items[item]));
    DeriveParameters();
}

void ModelParameters::SetAntennaItem(int item)
{
    antennaItem = item;
    kEnabled = item == 1;
}

void ModelParameters::SetQText(const std::string& text)
{
    qText = text;
    p.Q = ToDouble(StrToFloat(text));
}

void ModelParameters::SetKText(const std::string& text) { kText = text; }

void ModelParameters::SetSln(int value)
{
    slnValue = value;
    p.Sln = value;
}

void ModelParameters::SetTemperature(int value)
{
    temperatureValue = value;
    p.Temperature = value;
}

void ModelParameters::SetRText(const std::string& text)
{
    rText = text;
    p.R = ToDouble(StrToFloat(text));
}

void ModelParameters::SetGruntItem(int item)
{
    if (item < 0 || item >= static_cast<int>(GruntKoefTable.size())) RaiseListIndex(item);
    gruntItem = item;
    p.GruntKoef = GruntKoefTable[item];
}

void ModelParameters::SetNText(const std::string& text)
{
    nText = text;
    p.NOrder = ToDouble(StrToFloat(text));
}

void ModelParameters::SetGruntHeightText(const std::string& text)
{
    gruntHeightText = text;
    p.GruntHeight = ToDouble(StrToFloat(text));
}

void ModelParameters::SetRadiusText(const std::string& text)
{
    radiusText = text;
    p.Radius = ToDouble(StrToFloat(text));
}

void ModelParameters::SetVText(const std::string& text)
{
    vText = text;
    const long double v = StrToFloat(text);
    if (!(std::fabs(v) <= kMaxVelocity))
        throw SonavirError("Скорость цели должна быть от -" + std::to_string(kMaxVelocity) + " до " +
                           std::to_string(kMaxVelocity) + " м/с");
    p.V = static_cast<double>(v);
}

void ModelParameters::SetWindowItem(int item)
{
    if (item < 0 || item >= static_cast<int>(WindowItems().size())) RaiseListIndex(item);
    windowItem = item;
}

void ModelParameters::SetDtText(const std::string& text)
{
    dtText = text;
    p.Dt = StrToFloat(text);
}

void ModelParameters::SetSnrPosition(int position)
{
    // The track bar keeps its position within 1 .. 100.
    snrPosition = position < 1 ? 1 : (position > 100 ? 100 : position);
    snrHint = FormatGeneral(Snr(), 15);
}

}  // namespace sonavir
