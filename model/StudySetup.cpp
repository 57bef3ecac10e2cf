#include "model/StudySetup.h"

#include <algorithm>
#include <cmath>

#include "model/Scenario.h"
#include "signal/Errors.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

[[noreturn]] void Refuse(const std::string& reason) { throw SonavirError(reason); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool Whole(const std::string& text, int& value) { return TryStrToInt(text, value) && Trim(text) == text; }

// The number a value stands for on the chart's axis.
long double NumberOf(const ParameterKey& key, const std::string& text)
{
    long double v = 0;
    if (key.kind == ParameterKey::Kind::List) {
        if (TryStrToFloat(text, v)) return v;
        const auto it = std::find(key.items->begin(), key.items->end(), text);
        return static_cast<long double>(it - key.items->begin());
    }
    if (key.kind == ParameterKey::Kind::Spin) return SpinTextValue(text, key.lo);
    return TryStrToFloat(text, v) ? v : 0;
}

long double RangeEnd(const std::string& text, const char* which)
{
    long double v = 0;
    if (!TryStrToFloat(text, v) || !std::isfinite(v))
        Refuse(std::string(which) + " диапазона: '" + text + "' не число");
    return v;
}

std::vector<long double> ParseNumbers(const std::string& text, const char* field)
{
    std::vector<long double> values;
    try {
        for (const std::string& item : SplitValues(text)) {
            long double v = 0;
            if (!TryStrToFloat(item, v) || !std::isfinite(v)) Refuse("'" + item + "' не число");
            values.push_back(v);
        }
    } catch (const SonavirError& e) {
        Refuse(std::string(field) + ": " + e.what());
    }
    if (values.size() > static_cast<std::size_t>(kMaxSweepPoints))
        Refuse(std::string(field) + ": больше " + std::to_string(kMaxSweepPoints) + " значений");
    return values;
}

}  // namespace

const std::vector<std::string>& SweepMeasureNames()
{
    static const std::vector<std::string> names = {"energy",   "db_probe", "peak",       "peak_time", "width_3db",
                                                   "psl_db",   "isl_db",   "snr_out_db", "pd"};
    return names;
}

std::string NameList(const std::vector<std::string>& names)
{
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
    return list;
}

std::vector<std::string> SweepParameterNames()
{
    std::vector<std::string> names;
    for (const ParameterKey& key : ParameterKeys()) names.push_back(key.name);
    return names;
}

std::vector<std::string> SplitValues(const std::string& text, char separator)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        const std::string item = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (item.empty()) Refuse("пустое значение в списке '" + text + "'");
        items.push_back(item);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return items;
}

std::vector<std::string> ParseMeasures(const std::string& text)
{
    const auto& names = SweepMeasureNames();
    std::vector<std::string> chosen;
    if (Trim(text).empty()) Refuse("не выбрано ни одной величины; допустимы: " + NameList(names));
    for (const std::string& name : SplitValues(text, ',')) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            Refuse("неизвестная величина '" + name + "'; допустимы: " + NameList(names));
        if (std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
    }
    return chosen;
}

const std::vector<std::string>* ItemNames(const ParameterKey& key)
{
    if (key.kind != ParameterKey::Kind::Item) return nullptr;
    // The probe kinds by their short names, as the energy-ratio table gives them.
    static const std::vector<std::string> probeKinds = {"Радиоимпульс", "ЛЧМ сигнал", "Код Баркера"};
    if (key.name == "Signal") return &probeKinds;
    if (key.name == "Antenna") return &ModelParameters::AntennaItems();
    if (key.name == "Grunt") return &ModelParameters::GruntItems();
    return nullptr;
}

std::string ValueLabel(const ParameterKey& key, const std::string& text)
{
    int item = 0;
    const auto* names = ItemNames(key);
    if (names && Whole(text, item) && item >= 0 && item < static_cast<int>(names->size()))
        return (*names)[static_cast<std::size_t>(item)];
    return text;
}

void ApplySweepValue(const ParameterKey& key, ModelParameters& params, const std::string& text)
{
    try {
        int v = 0;
        switch (key.kind) {
        case ParameterKey::Kind::Item:
        case ParameterKey::Kind::Spin:
            if (!Whole(text, v) || v < key.lo || v > key.hi)
                Refuse("ожидается целое число от " + std::to_string(key.lo) + " до " + std::to_string(key.hi));
            break;
        case ParameterKey::Kind::List:
            if (std::find(key.items->begin(), key.items->end(), text) == key.items->end())
                Refuse("ожидается один из пунктов списка (" + NameList(*key.items) + ")");
            break;
        case ParameterKey::Kind::Text:
            break;
        }
        key.apply(params, text);
    } catch (const SonavirError& e) {
        Refuse(key.name + "=" + text + ": " + e.what());
    }
}

std::vector<SweepValue> CurveValues(const ParameterKey& key, const std::string& list, const ModelParameters& params)
{
    std::vector<SweepValue> values;
    for (const std::string& text : SplitValues(list)) {
        ModelParameters trial = params;
        ApplySweepValue(key, trial, text);
        values.push_back({text, NumberOf(key, text)});
    }
    if (values.size() > static_cast<std::size_t>(kMaxSweepPoints))
        Refuse("больше " + std::to_string(kMaxSweepPoints) + " значений");
    return values;
}

std::vector<SweepValue> SweepValues(const ParameterKey& key, const SweepSetup& setup, const ModelParameters& params)
{
    if (!setup.range) return CurveValues(key, setup.values, params);
    const long double a = RangeEnd(setup.from, "начало"), b = RangeEnd(setup.to, "конец");
    std::vector<std::string> texts;
    if (key.kind == ParameterKey::Kind::List) {
        // A list choice: its items between the ends, in the range's direction.
        for (const std::string& item : *key.items) {
            const long double v = NumberOf(key, item);
            if (v >= std::min(a, b) && v <= std::max(a, b)) texts.push_back(item);
        }
        if (a > b) std::reverse(texts.begin(), texts.end());
        if (texts.empty()) Refuse("в диапазоне нет пунктов списка " + key.name);
    } else {
        const int n = setup.count;
        if (n < 2 || n > kMaxSweepPoints)
            Refuse("число точек: ожидается от 2 до " + std::to_string(kMaxSweepPoints));
        if (setup.log && !(a > 0 && b > 0)) Refuse("логарифмический шаг: концы диапазона должны быть больше 0");
        const bool whole = key.kind != ParameterKey::Kind::Text;
        for (int i = 0; i < n; ++i) {
            const long double t = static_cast<long double>(i) / (n - 1);
            long double v = i == 0 ? a : i == n - 1 ? b
                                   : setup.log ? a * std::pow(b / a, t)
                                               : a + (b - a) * t;
            if (!std::isfinite(v)) RaiseOverflow();
            std::string text;
            if (whole) {
                v = std::nearbyint(v);
                if (std::fabs(v) > 2e9L) RaiseOverflow();
                text = std::to_string(static_cast<long long>(v));
            } else {
                text = FormatGeneral(v, 10);
            }
            // Whole values met twice by a fine spacing count once.
            if (texts.empty() || texts.back() != text) texts.push_back(text);
        }
    }
    std::vector<SweepValue> values;
    for (const std::string& text : texts) {
        ModelParameters trial = params;
        ApplySweepValue(key, trial, text);
        values.push_back({text, NumberOf(key, text)});
    }
    return values;
}

DetectionLists ParseDetectionLists(const DetectionSetup& s)
{
    DetectionLists l;
    l.snrDb = ParseNumbers(s.snrDb, "ОСШ");
    l.rocSnrDb = ParseNumbers(s.rocSnrDb, "ОСШ кривых обнаружения");
    for (const auto* list : {&l.snrDb, &l.rocSnrDb})
        for (long double v : *list)
            if (v < -60 || v > 60) Refuse("ОСШ: ожидается от -60 до 60 дБ, получено " + FormatGeneral(v, 6));
    l.pfa = ParseNumbers(s.pfa, "Вероятность ложной тревоги");
    for (long double v : l.pfa)
        if (!(v > 0 && v < 1))
            Refuse("Вероятность ложной тревоги: ожидается больше 0 и меньше 1, получено " + FormatGeneral(v, 6));
    if (s.thresholdMode == 2) {
        l.levels = ParseNumbers(s.levels, "Порог");
        for (long double v : l.levels)
            if (!(v > 0 && v < 40)) Refuse("Порог: ожидается больше 0 и меньше 40, получено " + FormatGeneral(v, 6));
    }
    if (s.thresholdMode < 0 || s.thresholdMode > 2) Refuse("Порог: способ 0, 1 или 2");
    if (s.trials < 1) Refuse("Число испытаний: ожидается целое число от 1");
    if (s.gate < 0 || s.gate > 100000) Refuse("Строб: ожидается от 0 до 100000 отсчетов");
    if (!(s.wantedPd > 0 && s.wantedPd < 1)) Refuse("Вероятность обнаружения: ожидается больше 0 и меньше 1");
    if (s.stage < 0 || s.stage > kLastStage) Refuse("Этап: ожидается от 0 до " + std::to_string(kLastStage));
    return l;
}

}  // namespace sonavir
