#include "model/Scenario.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <map>
#include <optional>
#include <unordered_set>

#include "files/OutputFiles.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"
#include "signal/Weighting.h"
#include "signal/TextValues.h"

namespace sonavir {

namespace {

constexpr const char* kSection = "[Scenario]";
constexpr const char* kVersionKey = "Version";
// A scenario is about a kilobyte; anything far larger is not one.
constexpr long kMaxScenarioBytes = 1 << 20;

using Params = ModelParameters;
using Kind = ParameterKey::Kind;

[[noreturn]] void Refuse(const std::string& reason) { throw SonavirError(reason); }

[[noreturn]] void CannotOpen(const std::string& path, const char* reason)
{
    throw SonavirError("Cannot open file \"" + path + "\". " + reason);
}

// The skipped keys a note names; the others are counted.
constexpr std::size_t kNamedKeys = 5;
constexpr std::size_t kKeyCharacters = 40;

// A key as a note shows it: control bytes as \xNN, a long one cut at a
// character's end.
std::string ShownKey(const std::string& key)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    std::size_t characters = 0;
    for (const char c : key) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80 && ++characters > kKeyCharacters) return out + "…";
        if (b < 0x20 || b == 0x7F) out += std::string("\\x") + kHex[b >> 4] + kHex[b & 0xF];
        else out += c;
    }
    return out;
}

int Item(const std::string& text, int lo, int hi) { return WholeInRange(text, lo, hi); }

bool Flag(const std::string& text) { return SwitchText(text); }

std::string Bit(bool on) { return on ? "1" : "0"; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool IsUtf8(const std::string& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !decoder.hasError();
}

// ---------------------------------------------------------------- parameters

ParameterKey TextKey(const char* name, std::string Params::*field, void (Params::*set)(const std::string&))
{
    return {name, Kind::Text, 0, 0, nullptr, [field](const Params& m) { return m.*field; },
            [set](Params& m, const std::string& t) { (m.*set)(t); }};
}

ParameterKey ItemKey(const char* name, int lo, int hi, int Params::*field, void (Params::*set)(int))
{
    return {name, Kind::Item, lo, hi, nullptr, [field](const Params& m) { return std::to_string(m.*field); },
            [lo, hi, set](Params& m, const std::string& t) { (m.*set)(Item(t, lo, hi)); }};
}

// Taken as typed, then brought into range as when the field loses the focus.
ParameterKey SpinKey(const char* name, int lo, int hi, int Params::*field, void (Params::*set)(int))
{
    return {name, Kind::Spin, lo, hi, nullptr, [field](const Params& m) { return std::to_string(m.*field); },
            [lo, hi, set](Params& m, const std::string& t) {
                const int typed = SpinTextValue(t, lo);
                const int clamped = std::clamp(typed, lo, hi);
                (m.*set)(typed);
                if (clamped != typed) (m.*set)(clamped);
            }};
}

// An item of a choice that lives in the sonar equation's values.
ParameterKey LevelsItemKey(const char* name, int hi, int SonarLevels::*field, void (Params::*set)(int))
{
    return {name, Kind::Item, 0, hi, nullptr, [field](const Params& m) { return std::to_string(m.levels.*field); },
            [hi, set](Params& m, const std::string& t) { (m.*set)(Item(t, 0, hi)); }};
}

ParameterKey KofDiscretKey()
{
    const auto& items = Params::KofDiscretItems();
    return {"KofDiscret", Kind::List, 0, 0, &items,
            [&items](const Params& m) { return items[static_cast<std::size_t>(m.kofDiscretItem)]; },
            [&items](Params& m, const std::string& t) { m.SetKofDiscretItem(static_cast<int>(ListItem(items, t))); }};
}

// ---------------------------------------------------------------- scenario keys

struct ScenarioKey {
    std::string name;
    std::function<std::string(const Scenario&)> text;
    // Takes the value as its control would; throws with the reason.
    std::function<void(Scenario&, const std::string&)> apply;
    // Whether a file writes it; empty: always.
    std::function<bool(const Scenario&)> written = {};
};

// The scenario's stricter reading of a parameter's text: a file holds what a
// control holds, so a spin value outside its range or a number where an item
// is expected is refused rather than brought into shape.
void ApplyParameter(const ParameterKey& key, Params& m, const std::string& t)
{
    switch (key.kind) {
    case Kind::Text:
        break;
    case Kind::Item:
    case Kind::Spin:
        Item(t, key.lo, key.hi);
        break;
    case Kind::List:
        ListItem(*key.items, t);
        break;
    }
    // The step field shows the derived step with 10 digits; taking that text
    // back would replace the derived value by its rounding. Only a step the
    // user typed differs from what the derivation wrote.
    if (key.name == "Dt" && t == m.dtText) return;
    key.apply(m, t);
}

ScenarioKey ParamsSwitch(const char* name, bool Params::*field)
{
    return {name, [field](const Scenario& s) { return Bit(s.params.*field); },
            [field](Scenario& s, const std::string& t) { s.params.*field = Flag(t); }};
}

// A picture switch whose click may cascade (the scale onto the tick boxes).
ScenarioKey SettingsSwitch(const char* name, bool PictureSettings::*field, void (PictureSettings::*click)(bool))
{
    return {name, [field](const Scenario& s) { return Bit(s.settings.*field); },
            [field, click](Scenario& s, const std::string& t) {
                const bool on = Flag(t);
                if (s.settings.*field != on) (s.settings.*click)(on);
            }};
}

// A tick box, greyed (and off) while the scale is off.
ScenarioKey TickSwitch(const char* name, bool PictureSettings::*field, bool PictureSettings::*enabled,
                       void (PictureSettings::*click)(bool))
{
    return {name, [field](const Scenario& s) { return Bit(s.settings.*field); },
            [field, enabled, click](Scenario& s, const std::string& t) {
                const bool on = Flag(t);
                if (s.settings.*field == on) return;
                if (!(s.settings.*enabled)) Refuse("переключатель недоступен, пока Scale=0");
                (s.settings.*click)(on);
            }};
}

ScenarioKey TickCount(const char* name, int PictureSettings::*field)
{
    return {name, [field](const Scenario& s) { return std::to_string(s.settings.*field); },
            [field](Scenario& s, const std::string& t) { s.settings.*field = Item(t, 1, 30); }};
}

std::string SizeText(const PictureSizeChoice& size)
{
    if (size.autoSize) return "auto";
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// ---------------------------------------------------------------- sweep and detection

std::uint32_t Seed(const std::string& text)
{
    return static_cast<std::uint32_t>(WholeInRange(text, 0LL, 4294967295LL));
}

std::string ParameterName(const std::string& text)
{
    if (!text.empty() && !FindParameterKey(text))
        Refuse("нет такого параметра: '" + text + "'; допустимы: " + NameList(SweepParameterNames()));
    return text;
}

template <typename Field>
ScenarioKey SweepKey(const char* name, Field field)
{
    ScenarioKey key = field(name);
    key.written = [](const Scenario& s) { return !(s.sweep == SweepSetup{}); };
    return key;
}

template <typename Field>
ScenarioKey DetectKey(const char* name, Field field)
{
    ScenarioKey key = field(name);
    key.written = [](const Scenario& s) { return !(s.detection == DetectionSetup{}); };
    return key;
}

// A text field of a set-up, checked by `check` on a copy before it is taken.
template <typename Setup>
auto TextField(Setup Scenario::*setup, std::string Setup::*field,
               std::function<void(const Setup&)> check = {})
{
    return [=](const char* name) {
        return ScenarioKey{name, [=](const Scenario& s) { return (s.*setup).*field; },
                           [=](Scenario& s, const std::string& t) {
                               Setup copy = s.*setup;
                               copy.*field = t;
                               if (check) check(copy);
                               s.*setup = copy;
                           }};
    };
}

template <typename Setup>
auto FlagField(Setup Scenario::*setup, bool Setup::*field)
{
    return [=](const char* name) {
        return ScenarioKey{name, [=](const Scenario& s) { return Bit((s.*setup).*field); },
                           [=](Scenario& s, const std::string& t) { (s.*setup).*field = Flag(t); }};
    };
}

template <typename Setup, typename Int>
auto WholeField(Setup Scenario::*setup, Int Setup::*field, int lo, int hi)
{
    return [=](const char* name) {
        return ScenarioKey{name, [=](const Scenario& s) { return std::to_string((s.*setup).*field); },
                           [=](Scenario& s, const std::string& t) { (s.*setup).*field = Item(t, lo, hi); }};
    };
}

void AddStudyKeys(std::vector<ScenarioKey>& k)
{
    using Sw = SweepSetup;
    using De = DetectionSetup;
    const auto sweep = &Scenario::sweep;
    const auto detect = &Scenario::detection;
    k.push_back(SweepKey("SweepParam", TextField<Sw>(sweep, &Sw::param, [](const Sw& s) { ParameterName(s.param); })));
    k.push_back(SweepKey("SweepValues", TextField<Sw>(sweep, &Sw::values)));
    k.push_back(SweepKey("SweepRange", FlagField<Sw>(sweep, &Sw::range)));
    k.push_back(SweepKey("SweepFrom", TextField<Sw>(sweep, &Sw::from)));
    k.push_back(SweepKey("SweepTo", TextField<Sw>(sweep, &Sw::to)));
    k.push_back(SweepKey("SweepCount", WholeField<Sw>(sweep, &Sw::count, 2, kMaxSweepPoints)));
    k.push_back(SweepKey("SweepLog", FlagField<Sw>(sweep, &Sw::log)));
    k.push_back(SweepKey("SweepCurveParam",
                         TextField<Sw>(sweep, &Sw::curveParam, [](const Sw& s) { ParameterName(s.curveParam); })));
    k.push_back(SweepKey("SweepCurveValues", TextField<Sw>(sweep, &Sw::curveValues)));
    k.push_back(SweepKey("SweepStage", WholeField<Sw>(sweep, &Sw::stage, 0, kLastStage)));
    k.push_back(SweepKey("SweepMeasures",
                         TextField<Sw>(sweep, &Sw::measures, [](const Sw& s) { ParseMeasures(s.measures); })));
    const auto lists = [](const De& d) { ParseDetectionLists(d); };
    k.push_back(DetectKey("DetectThreshold", WholeField<De>(detect, &De::thresholdMode, 0, 2)));
    k.push_back(DetectKey("DetectSnrDb", TextField<De>(detect, &De::snrDb, lists)));
    k.push_back(DetectKey("DetectPfa", TextField<De>(detect, &De::pfa, lists)));
    k.push_back(DetectKey("DetectRocSnrDb", TextField<De>(detect, &De::rocSnrDb, lists)));
    k.push_back(DetectKey("DetectLevels", TextField<De>(detect, &De::levels, lists)));
    k.push_back(DetectKey("DetectTrials", [](const char* name) {
        return ScenarioKey{name, [](const Scenario& s) { return std::to_string(s.detection.trials); },
                           [](Scenario& s, const std::string& t) { s.detection.trials = Item(t, 1, 1 << 30); }};
    }));
    k.push_back(DetectKey("DetectSeeded", FlagField<De>(detect, &De::seeded)));
    k.push_back(DetectKey("DetectSeed", [](const char* name) {
        return ScenarioKey{name, [](const Scenario& s) { return std::to_string(s.detection.seed); },
                           [](Scenario& s, const std::string& t) { s.detection.seed = Seed(t); }};
    }));
    k.push_back(DetectKey("DetectGate", WholeField<De>(detect, &De::gate, 0, 100000)));
    k.push_back(DetectKey("DetectStage", WholeField<De>(detect, &De::stage, 0, kLastStage)));
    k.push_back(DetectKey("DetectPd", [](const char* name) {
        return ScenarioKey{name, [](const Scenario& s) { return FormatGeneral(s.detection.wantedPd, 6); },
                           [](Scenario& s, const std::string& t) {
                               long double v = 0;
                               if (!TryStrToFloat(t, v) || !(v > 0 && v < 1))
                                   Refuse("ожидается число больше 0 и меньше 1, получено '" + t + "'");
                               s.detection.wantedPd = static_cast<double>(v);
                           }};
    }));
}

// Every key, in the order of application: the signal kind first, then the
// values the derivation reads (the duration last, so that a Barker snap
// starts from its text), then the step, which only a typed value replaces.
// The model comes before its stage and the scale before its tick boxes.
const std::vector<ScenarioKey>& ScenarioKeys()
{
    static const std::vector<ScenarioKey> keys = [] {
        std::vector<ScenarioKey> k;
        for (const ParameterKey& p : ParameterKeys())
            k.push_back({p.name, [&p](const Scenario& s) { return p.text(s.params); },
                         [&p](Scenario& s, const std::string& t) { ApplyParameter(p, s.params, t); }});
        k.push_back(ParamsSwitch("Filter", &Params::filterOn));
        k.push_back(ParamsSwitch("EchoFilter", &Params::filterMode));
        k.push_back(ParamsSwitch("Noise", &Params::noiseOn));
        k.push_back(ParamsSwitch("Norm", &Params::normOn));
        k.push_back(ParamsSwitch("Depth", &Params::depthOn));
        for (std::size_t g = 0; g < Params().gates.size(); ++g)
            k.push_back({"Gate" + std::to_string(g), [g](const Scenario& s) { return Bit(s.params.gates[g]); },
                         [g](Scenario& s, const std::string& t) { s.params.gates[g] = Flag(t); }});
        k.push_back({"Model", [](const Scenario& s) { return std::to_string(s.modelItem); },
                     [](Scenario& s, const std::string& t) {
                         s.modelItem = Item(t, 0, static_cast<int>(MainState::ModelItems().size()) - 1);
                         if (s.modelItem != 0) s.pathStage = 0;
                     }});
        k.push_back({"Stage", [](const Scenario& s) { return std::to_string(s.pathStage); },
                     [](Scenario& s, const std::string& t) {
                         const int stage = Item(t, 0, static_cast<int>(MainState::PathItems().size()) - 1);
                         if (s.modelItem != 0 && stage != 0)
                             Refuse("у отдельной модели путь не выбирается, ожидается 0");
                         s.pathStage = stage;
                     }});
        k.push_back({"AutoRun", [](const Scenario& s) { return Bit(s.autoRun); },
                     [](Scenario& s, const std::string& t) { s.autoRun = Flag(t); }});
        k.push_back({"Colors", [](const Scenario& s) { return std::to_string(s.settings.colorItem); },
                     [](Scenario& s, const std::string& t) { s.settings.SetColorItem(Item(t, 0, 1)); }});
        k.push_back(SettingsSwitch("Scale", &PictureSettings::scale, &PictureSettings::SetScale));
        k.push_back(TickSwitch("AmplitudeTicks", &PictureSettings::amplitude, &PictureSettings::amplitudeBoxEnabled,
                               &PictureSettings::SetAmplitude));
        k.push_back(TickCount("AmplitudeTickCount", &PictureSettings::amplitudeCount));
        k.push_back(TickSwitch("TimeTicks", &PictureSettings::tc, &PictureSettings::tcBoxEnabled,
                               &PictureSettings::SetTc));
        k.push_back(TickCount("TimeTickCount", &PictureSettings::tcCount));
        k.push_back(TickSwitch("FrequencyTicks", &PictureSettings::f, &PictureSettings::fBoxEnabled,
                               &PictureSettings::SetF));
        k.push_back(TickCount("FrequencyTickCount", &PictureSettings::fCount));
        k.push_back(SettingsSwitch("DbScale", &PictureSettings::db, &PictureSettings::SetDb));
        k.push_back(SettingsSwitch("RangeAxis", &PictureSettings::rangeAxis, &PictureSettings::SetRangeAxis));
        k.push_back({"PictureSize", [](const Scenario& s) { return SizeText(s.size); },
                     [](Scenario& s, const std::string& t) { s.size = PictureSizeText(t, true); }});
        AddStudyKeys(k);
        return k;
    }();
    return keys;
}

}  // namespace

const std::vector<ParameterKey>& ParameterKeys()
{
    static const std::vector<ParameterKey> keys = {
        ItemKey("Signal", 0, 2, &Params::signalItem, &Params::SetSignalItem),
        TextKey("F0", &Params::f0Text, &Params::SetF0Text),
        TextKey("FD", &Params::fdText, &Params::SetFDText),
        KofDiscretKey(),
        TextKey("Tc", &Params::tcText, &Params::SetTcText),
        TextKey("Dt", &Params::dtText, &Params::SetDtText),
        ItemKey("Antenna", 0, 1, &Params::antennaItem, &Params::SetAntennaItem),
        TextKey("Q", &Params::qText, &Params::SetQText),
        TextKey("K", &Params::kText, &Params::SetKText),
        SpinKey("Sln", 0, 50, &Params::slnValue, &Params::SetSln),
        SpinKey("Temperature", 0, 100, &Params::temperatureValue, &Params::SetTemperature),
        TextKey("R", &Params::rText, &Params::SetRText),
        ItemKey("Grunt", 0, 2, &Params::gruntItem, &Params::SetGruntItem),
        TextKey("NOrder", &Params::nText, &Params::SetNText),
        TextKey("GruntHeight", &Params::gruntHeightText, &Params::SetGruntHeightText),
        TextKey("Radius", &Params::radiusText, &Params::SetRadiusText),
        TextKey("V", &Params::vText, &Params::SetVText),
        ItemKey("Snr", 1, 100, &Params::snrPosition, &Params::SetSnrPosition),
        ItemKey("Window", 0, kWindowKinds - 1, &Params::windowItem, &Params::SetWindowItem),
        // The sonar equation's levels. The depth of its absorption is SeaDepth:
        // "Depth" has long been the depth attenuation's switch.
        LevelsItemKey("LevelModel", 1, &SonarLevels::model, &Params::SetLevelModel),
        TextKey("SL", &Params::slText, &Params::SetSlText),
        TextKey("NL", &Params::nlText, &Params::SetNlText),
        TextKey("DI", &Params::diText, &Params::SetDiText),
        LevelsItemKey("Absorption", 1, &SonarLevels::absorption, &Params::SetAbsorptionItem),
        TextKey("SeaDepth", &Params::seaDepthText, &Params::SetSeaDepthText),
        TextKey("pH", &Params::phText, &Params::SetPhText),
    };
    return keys;
}

const ParameterKey* FindParameterKey(const std::string& name)
{
    for (const auto& key : ParameterKeys())
        if (key.name == name) return &key;
    return nullptr;
}

Scenario Scenario::Capture(const MainState& state, const PictureSizeChoice& size)
{
    Scenario s;
    s.params = state.params;
    s.settings = state.settings;
    s.modelItem = state.modelItem;
    s.pathStage = state.pathStage;
    s.autoRun = state.autoRun;
    s.size = size;
    s.sweep = state.sweep;
    s.detection = state.detection;
    return s;
}

void Scenario::ApplyTo(MainState& state) const
{
    ModelParameters p = params;
    p.realSizeText = state.params.realSizeText;
    p.paddedSizeText = state.params.paddedSizeText;
    p.bytesText = state.params.bytesText;
    state.params = p;
    PictureSettings ps = settings;
    ps.shortForm = state.settings.shortForm;
    state.settings = ps;
    state.SetFilterMode(params.filterMode);
    state.SelectModel(modelItem);
    state.SelectPath(pathStage);
    state.autoRun = autoRun;
    state.sweep = sweep;
    state.detection = detection;
}

ScenarioRead ParseScenario(const std::string& text)
{
    struct Value {
        int line;
        std::string text;
    };
    std::map<std::string, Value> values;
    std::unordered_set<std::string> skipped;  // a file may name a great many
    std::optional<Value> version;
    ScenarioRead read;
    bool inSection = false;

    auto known = [](const std::string& key) {
        const auto& keys = ScenarioKeys();
        return std::any_of(keys.begin(), keys.end(), [&](const ScenarioKey& k) { return k.name == key; });
    };

    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int number = 1; start <= text.size(); ++number) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();

        const std::string at = "строка " + std::to_string(number);
        if (!IsUtf8(raw)) Refuse(at + ": текст не в кодировке UTF-8");
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line != kSection || inSection)
                Refuse(at + ": в сценарии одна секция, " + std::string(kSection));
            inSection = true;
            continue;
        }
        const auto eq = line.find('=');
        const std::string key = eq == std::string::npos ? std::string() : Trim(line.substr(0, eq));
        // A CR inside a line ends it for an editor but not here, and a value
        // holding one could not be written back: both sides refuse it.
        if (line.find('\r') != std::string::npos)
            Refuse(at + (key.empty() ? "" : ", ключ " + key) + ": знак возврата каретки (CR) внутри строки");
        if (key.empty()) Refuse(at + ": ожидается строка вида ИМЯ=ЗНАЧЕНИЕ");
        if (!inSection) Refuse(at + ", ключ " + key + ": ключи пишутся после строки " + kSection);
        const Value value{number, Trim(line.substr(eq + 1))};

        if (key == kVersionKey) {
            if (version)
                Refuse(at + ", ключ " + key + ": ключ уже задан в строке " + std::to_string(version->line));
            version = value;
        } else if (known(key)) {
            const auto [it, added] = values.emplace(key, value);
            if (!added)
                Refuse(at + ", ключ " + key + ": ключ уже задан в строке " + std::to_string(it->second.line));
        } else if (skipped.insert(key).second) {
            read.unknownKeys.push_back(key);
        }
    }
    if (!inSection) Refuse("нет строки " + std::string(kSection));
    if (!version) Refuse("нет строки " + std::string(kVersionKey) + "=");
    try {
        WholeAtLeast(version->text, 1);
    } catch (const SonavirError& e) {
        Refuse("строка " + std::to_string(version->line) + ", ключ " + kVersionKey + ": " + e.what());
    }

    for (const ScenarioKey& key : ScenarioKeys()) {
        const auto it = values.find(key.name);
        if (it == values.end()) continue;
        try {
            key.apply(read.scenario, it->second.text);
        } catch (const SonavirError& e) {
            Refuse("строка " + std::to_string(it->second.line) + ", ключ " + key.name + ": " + e.what());
        }
    }
    return read;
}

std::string FormatScenario(const Scenario& scenario)
{
    std::string text = "# Сонавир: сценарий\n";
    text += kSection;
    text += '\n';
    text += std::string(kVersionKey) + "=" + std::to_string(kScenarioVersion) + "\n";
    for (const ScenarioKey& key : ScenarioKeys()) {
        if (key.written && !key.written(scenario)) continue;
        const std::string value = key.text(scenario);
        if (value.find_first_of("\r\n") != std::string::npos || !IsUtf8(value))
            Refuse("Текст ключа " + key.name + " нельзя сохранить в сценарии: '" + value + "'");
        text += key.name + "=" + value + "\n";
    }
    return text;
}

ScenarioRead ReadScenarioFile(const std::string& path)
{
    // Without waiting for a writer: a pipe or a device is refused before
    // anything is read from it, as the outputs refuse them.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) CannotOpen(path, std::strerror(errno));
    struct stat st {};
    const int statErr = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    std::string text;
    int err = statErr;
    if (!err && S_ISREG(st.st_mode)) {
        char buffer[4096];
        while (text.size() <= static_cast<std::size_t>(kMaxScenarioBytes)) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) err = errno;
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    if (err) CannotOpen(path, std::strerror(err));
    if (!S_ISREG(st.st_mode)) CannotOpen(path, "Not a regular file");
    const std::string name = "Сценарий \"" + path + "\"";
    if (text.size() > static_cast<std::size_t>(kMaxScenarioBytes)) Refuse(name + ": файл слишком велик");
    try {
        return ParseScenario(text);
    } catch (const SonavirError& e) {
        Refuse(name + ", " + e.what());
    }
}

void WriteScenarioFile(const std::string& path, const Scenario& scenario)
{
    WriteFileAtomically(path, FormatScenario(scenario));
}

std::string SkippedKeysNote(const std::vector<std::string>& keys)
{
    std::string note = "Пропущены неизвестные ключи: ";
    for (std::size_t i = 0; i < keys.size() && i < kNamedKeys; ++i) note += (i ? ", " : "") + ShownKey(keys[i]);
    if (keys.size() > kNamedKeys)
        note += " и ещё " + FormatGeneral(static_cast<long double>(keys.size() - kNamedKeys), 15);
    return note;
}

std::string OpenedNote(const std::string& path, const std::vector<std::string>& unknownKeys)
{
    const auto slash = path.rfind('/');
    std::string note = "Сценарий " + (slash == std::string::npos ? path : path.substr(slash + 1)) + " открыт";
    if (!unknownKeys.empty()) note += ". " + SkippedKeysNote(unknownKeys);
    return note;
}

std::string WithScenarioExtension(const std::string& fileName)
{
    const auto slash = fileName.rfind('/');
    const auto dot = fileName.rfind('.');
    const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasDot ? fileName : fileName + ".svr";
}

bool IsScenarioFileName(const std::string& name)
{
    if (name.size() <= 4 || name[0] == '-') return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".svr";
}

}  // namespace sonavir
