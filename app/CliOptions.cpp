#include "app/CliOptions.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

#include "display/PictureSizing.h"
#include "model/EchoPath.h"
#include "model/Scenario.h"
#include "signal/Errors.h"
#include "signal/TextValues.h"

namespace sonavir {

namespace {

[[noreturn]] void Bad(const std::string& what) { throw CliUsageError(what); }

// A value's text by one of the parsers scenario files use too; their message
// goes behind the option's name.
template <class Parse>
auto Take(const std::string& option, Parse parse)
{
    try {
        return parse();
    } catch (const SonavirError& e) {
        Bad(option + ": " + e.what());
    }
}

int ParseInt(const std::string& option, const std::string& text, int lo, int hi)
{
    return Take(option, [&] { return WholeInRange(text, lo, hi); });
}

std::array<int, 2> ParseSize(const std::string& text)
{
    const PictureSizeChoice size = Take("--size", [&] { return PictureSizeText(text, false); });
    return {size.width, size.height};
}

// "FROM;TO" as the series cells are written (decimal comma), FROM < TO.
PlotRange ParseRange(const std::string& option, const std::string& text)
{
    const TextRange r = Take(option, [&] { return RangeText(text); });
    return {r.from, r.to};
}

// Values no control could hold are refused before anything is applied.
void CheckSetting(const CliSetting& s)
{
    const ParameterKey* key = FindParameterKey(s.name);
    if (!key) Bad("--set: unknown parameter '" + s.name + "'");
    if (key->kind == ParameterKey::Kind::Item) ParseInt("--set " + s.name, s.text, key->lo, key->hi);
    if (key->kind == ParameterKey::Kind::List) Take("--set " + s.name, [&] { return ListItem(*key->items, s.text); });
}

CliSetting ParseSetting(const std::string& text, const std::string& option = "--set")
{
    const auto eq = text.find('=');
    if (eq == std::string::npos) Bad(option + ": expected NAME=TEXT, got '" + text + "'");
    CliSetting s{text.substr(0, eq), text.substr(eq + 1)};
    try {
        CheckSetting(s);
    } catch (const CliUsageError& e) {
        const std::string what = e.what();
        Bad(option + what.substr(std::string("--set").size()));
    }
    return s;
}

// The file a name will reach, however it is spelled ("a.csv", "./a.csv",
// a link to it).
std::filesystem::path Destination(const std::string& name)
{
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(name, ec);
    if (ec) p = std::filesystem::absolute(name, ec).lexically_normal();
    return ec ? std::filesystem::path(name) : p;
}

// Two outputs written to one file would overwrite each other.
void CheckDistinctOutputs(const CliOptions& o)
{
    const std::pair<const char*, const std::string*> outputs[] = {
        {"-o", &o.output}, {"--wave", &o.waveFile}, {"--spectrum", &o.spectrumFile},
        {"--ledger", &o.ledgerFile}, {"--measures", &o.measuresFile}, {"--table", &o.tableFile},
        {"--save-scenario", &o.saveScenarioFile}};
    for (std::size_t i = 0; i < std::size(outputs); ++i)
        for (std::size_t j = i + 1; j < std::size(outputs); ++j) {
            const std::string& a = *outputs[i].second;
            const std::string& b = *outputs[j].second;
            if (!a.empty() && !b.empty() && Destination(a) == Destination(b))
                Bad(std::string(outputs[i].first) + " and " + outputs[j].first +
                    " name the same file '" + b + "'");
        }
}

}  // namespace

std::string OneLine(const std::string& text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto hex = [&](const char* prefix, unsigned value, int digits) {
        out += prefix;
        for (int d = digits - 1; d >= 0; --d) out.push_back(kHex[(value >> (4 * d)) & 0xF]);
    };
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = s[i];
        if (c < 0x80) {
            if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else if (c == '\t') out += "\\t";
            else if (c < 0x20 || c == 0x7F) hex("\\x", c, 2);
            else out.push_back(char(c));
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence (no overlong form, no surrogate, at
        // most U+10FFFF) passes whole, unless it is a C1 control.
        const int len = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        unsigned cp = len == 4 ? c & 0x07 : len == 3 ? c & 0x0F : c & 0x1F;
        bool ok = len > 0 && i + std::size_t(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (s[i + std::size_t(k)] & 0xC0) == 0x80;
            cp = (cp << 6) | (s[i + std::size_t(k)] & 0x3F);
        }
        ok = ok && !(len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) &&
             !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF));
        if (!ok) {
            hex("\\x", c, 2);
            ++i;
        } else if (cp < 0xA0) {
            hex("\\u", cp, 4);
            i += std::size_t(len);
        } else {
            out.append(text, i, std::size_t(len));
            i += std::size_t(len);
        }
    }
    return out;
}

std::string CliVersion() { return "Версия 2.06 (build 242)"; }

std::string CliUsage()
{
    return "Usage:\n"
           "  sonavir                      start the windows\n"
           "  sonavir FILE.svr             start the windows with a scenario\n"
           "  sonavir --help | --version\n"
           "  sonavir render [--scenario FILE] [--model M] [--stage K] [--set NAME=TEXT]...\n"
           "                 [--filter] [--echo-filter] [--noise] [--seed S] [--norm] [--depth]\n"
           "                 [--gate-off I]... [--colors C] [--no-scale] [--db] [--ticks NA,NT,NF]\n"
           "                 [--size WxH] [--time-range T0;T1] [--freq-range F0;F1]\n"
           "                 [--reference-stage K] [--reference-set NAME=TEXT]...\n"
           "                 [--wave FILE] [--spectrum FILE] [--ledger FILE]\n"
           "                 [--measures FILE] [--save-scenario FILE] [--quiet] -o FILE\n"
           "  sonavir evaluate [--scenario FILE] [--mode M] [--propagation P] [--points N]\n"
           "                 [--range LIST] [--thickness LIST] [--no-norm] [--set NAME=TEXT]...\n"
           "                 [--colors C] [--size WxH] [--table FILE] [--save-scenario FILE]\n"
           "                 [--quiet] -o FILE\n"
           "\n"
           "Numbers take the decimal comma, as in the windows: Tc=0,5, not Tc=0.5.\n"
           "\n"
           "Both commands:\n"
           "  -o FILE          the picture (required, unless only --save-scenario is\n"
           "                   asked for): PNG, SVG or PDF by the name's extension (.png,\n"
           "                   .svg, .pdf, in any case), a BMP file for any other name\n"
           "  --scenario FILE  a scenario file (.svr), applied first; the other options\n"
           "                   then override it\n"
           "  --save-scenario FILE  writes the situation as all the options set it up;\n"
           "                   without -o nothing runs and only the scenario is written\n"
           "  --set NAME=TEXT  a parameter exactly as typed into its control: F0, FD, Tc,\n"
           "                   KofDiscret (2, 4, 8, 16, 64), Q, K, Sln, Temperature, R,\n"
           "                   GruntHeight, NOrder, Radius, Dt; item numbers for Signal (0 .. 2),\n"
           "                   Antenna (0 .. 1), Grunt (0 .. 2); Snr as a position 1 .. 100.\n"
           "                   Applied in the order given, as if typed one after another\n"
           "  --colors C       0 white on black, 1 black on white\n"
           "  --size WxH       picture width and height in pixels (default 785x484)\n"
           "  --quiet          no progress line (shown on a terminal for work over 1 s)\n"
           "\n"
           "render, one Start of the main window:\n"
           "  --model M        0 Сигнал, 1 Антенна, 2 Среда, 3 Грунт, 4 Объект\n"
           "  --stage K        stage of the echo path, 0 .. 7 (with model 0)\n"
           "  --filter         the matched filter on (\"Фильтр\")\n"
           "  --echo-filter    the filter matched to the echo, not to the probe\n"
           "  --noise          noise on (\"Шум\"), at the ratio of --set Snr\n"
           "  --seed S         noise seed, 0 .. 4294967295, to repeat a noisy run\n"
           "  --norm           energy normalisation on (\"Нормировка\")\n"
           "  --depth          attenuation by range and layer thickness on\n"
           "  --gate-off I     leaves out stage model I (0 .. 6); may be repeated\n"
           "  --no-scale       \"Шкала\" off: no frames, ticks or labels, the curves alone\n"
           "  --db             \"Шкала в дБ\": the waveform's envelope from 0 to -60 dB\n"
           "                   of its peak, the spectrum from 0 to -80 dB\n"
           "  --ticks NA,NT,NF tick counts of amplitude, time and frequency (1 .. 30)\n"
           "  --time-range T0;T1  zooms the waveform into T0 .. T1 seconds, held to the\n"
           "                   run's record (\"0,005;0,012\"); its amplitudes keep the scale\n"
           "                   of the whole signal\n"
           "  --freq-range F0;F1  zooms the spectrum into F0 .. F1 hertz likewise\n"
           "  --reference-stage K  draws under the run, dotted, stage K (0 .. 7) of the\n"
           "                   same settings as a reference (\"Запомнить как эталон\"):\n"
           "                   both on the scale of the larger peak, the reference at its\n"
           "                   own times and frequencies (the probe under the echo:\n"
           "                   --stage 7 --reference-stage 0)\n"
           "  --reference-set NAME=TEXT  the reference is the run with this parameter\n"
           "                   changed, as --set takes it; may be repeated, and joined\n"
           "                   with --reference-stage. No output file changes by a reference\n"
           "  --wave, --spectrum FILE   the plotted waveform or spectrum as CSV; with a\n"
           "                   range, only its rows: samples m with T0 <= m*Dt <= T1,\n"
           "                   columns k with F0 <= k/(2N*Dt) <= F1\n"
           "  --ledger FILE    energy and peak after each stage of the echo path, as CSV\n"
           "  --measures FILE  pulse-compression measures of the plotted waveform, as CSV\n"
           "\n"
           "evaluate, one Start of the evaluation window:\n"
           "  --mode M         0 peak to energy ratio, 1 energy ratio\n"
           "  --propagation P  0 water, 1 seabed, 2 water and seabed\n"
           "  --points N       3 .. 15 series points (default 6)\n"
           "  --range, --thickness LIST  one cell per point, separated by ';': ranges in\n"
           "                   km, thicknesses in m (default for six points: 0;1;2;4;8;16)\n"
           "  --no-norm        \"Нормировка\" off: the echo is not rescaled to the\n"
           "                   spectral peak of the probe\n"
           "  --set            only what a series reads: not Dt, R, GruntHeight, Radius,\n"
           "                   Antenna, Q, K or Snr, and not Signal with --mode 1\n"
           "  --table FILE     the result table, cells separated by ';'\n"
           "\n"
           "Exit status: 0 done, 1 the run failed (nothing written), 2 bad command line,\n"
           "130 interrupted (Ctrl+C: nothing written).\n";
}

bool SeriesReads(const std::string& name, int mode)
{
    // A series carries the probe through water and seabed only: no antenna,
    // no sphere, no noise; it derives its own step, takes range and thickness
    // from its table, and the energy-ratio mode runs every probe kind.
    static const std::vector<std::string> unread = {"Dt",     "R",       "GruntHeight", "Radius",
                                                    "Antenna", "Q",      "K",           "Snr"};
    if (std::find(unread.begin(), unread.end(), name) != unread.end()) return false;
    return !(mode == 1 && name == "Signal");
}

bool IsSettingName(const std::string& name) { return FindParameterKey(name) != nullptr; }

void ApplySetting(ModelParameters& params, const CliSetting& s)
{
    CheckSetting(s);
    FindParameterKey(s.name)->apply(params, s.text);
}

CliOptions ParseCommandLine(const std::vector<std::string>& args)
{
    CliOptions o;
    if (args.empty()) Bad("no command");
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
        o.command = CliOptions::Command::Help;
        return o;
    }
    if (args[0] == "--version") {
        if (args.size() != 1) Bad("--version takes no arguments");
        o.command = CliOptions::Command::Version;
        return o;
    }
    if (args[0] == "render") o.command = CliOptions::Command::Render;
    else if (args[0] == "evaluate") o.command = CliOptions::Command::Evaluate;
    else Bad("unknown command '" + args[0] + "'");
    const bool render = o.command == CliOptions::Command::Render;

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Bad(a + " needs a value");
            return args[++i];
        };
        auto renderOnly = [&] {
            if (!render) Bad(a + " is an option of render");
        };
        auto evaluateOnly = [&] {
            if (render) Bad(a + " is an option of evaluate");
        };

        if (a == "-o") o.output = value();
        else if (a == "--scenario") o.scenarioFile = value();
        else if (a == "--save-scenario") o.saveScenarioFile = value();
        else if (a == "--quiet") o.quiet = true;
        else if (a == "--set") o.settings.push_back(ParseSetting(value()));
        else if (a == "--colors") o.colors = ParseInt(a, value(), 0, 1);
        else if (a == "--size") o.size = ParseSize(value());
        else if (a == "--model") { renderOnly(); o.model = ParseInt(a, value(), 0, static_cast<int>(kModelViews.size()) - 1); }
        else if (a == "--stage") { renderOnly(); o.stage = ParseInt(a, value(), 0, kLastStage); }
        else if (a == "--filter") { renderOnly(); o.filter = true; }
        else if (a == "--echo-filter") { renderOnly(); o.echoFilter = true; }
        else if (a == "--noise") { renderOnly(); o.noise = true; }
        else if (a == "--norm") { renderOnly(); o.norm = true; }
        else if (a == "--depth") { renderOnly(); o.depth = true; }
        else if (a == "--seed") {
            renderOnly();
            const std::string& t = value();
            o.seed = static_cast<std::uint32_t>(Take(a, [&] {
                return WholeInRange(t, 0LL, static_cast<long long>(std::numeric_limits<std::uint32_t>::max()));
            }));
        } else if (a == "--gate-off") { renderOnly(); o.gatesOff.push_back(ParseInt(a, value(), 0, kGateCount - 1)); }
        else if (a == "--no-scale") { renderOnly(); o.noScale = true; }
        else if (a == "--db") { renderOnly(); o.db = true; }
        else if (a == "--ticks") {
            renderOnly();
            const std::string& t = value();
            const auto parts = Take(a, [&] { return SplitList(t, ',', 3); });
            std::array<int, 3> ticks{};
            // Counts out of range are brought into it, as the settings window does.
            for (int k = 0; k < 3; ++k) {
                const long long v = Take(a, [&] { return WholeNumber(parts[k]); });
                ticks[k] = v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()
                               ? ParseInt(a, parts[k], std::numeric_limits<int>::min(), std::numeric_limits<int>::max())
                               : static_cast<int>(v);
            }
            o.ticks = ticks;
        } else if (a == "--time-range") { renderOnly(); o.timeRange = ParseRange(a, value()); }
        else if (a == "--freq-range") { renderOnly(); o.freqRange = ParseRange(a, value()); }
        else if (a == "--reference-stage") { renderOnly(); o.referenceStage = ParseInt(a, value(), 0, kLastStage); }
        else if (a == "--reference-set") { renderOnly(); o.referenceSettings.push_back(ParseSetting(value(), a)); }
        else if (a == "--wave") { renderOnly(); o.waveFile = value(); }
        else if (a == "--spectrum") { renderOnly(); o.spectrumFile = value(); }
        else if (a == "--ledger") { renderOnly(); o.ledgerFile = value(); }
        else if (a == "--measures") { renderOnly(); o.measuresFile = value(); }
        else if (a == "--mode") { evaluateOnly(); o.mode = ParseInt(a, value(), 0, 1); }
        else if (a == "--propagation") { evaluateOnly(); o.propagation = ParseInt(a, value(), 0, 2); }
        else if (a == "--points") { evaluateOnly(); o.points = ParseInt(a, value(), 3, 15); }
        else if (a == "--range") { evaluateOnly(); o.rangeCells = SplitList(value(), ';'); }
        else if (a == "--thickness") { evaluateOnly(); o.thicknessCells = SplitList(value(), ';'); }
        else if (a == "--no-norm") { evaluateOnly(); o.noNorm = true; }
        else if (a == "--table") { evaluateOnly(); o.tableFile = value(); }
        else Bad("unknown option '" + a + "'");
    }

    // A scenario alone may be written without running anything.
    const bool otherOutputs = !o.waveFile.empty() || !o.spectrumFile.empty() || !o.tableFile.empty();
    if (o.output.empty() && (o.saveScenarioFile.empty() || otherOutputs)) Bad("-o FILE is required");
    CheckDistinctOutputs(o);
    if (!render) {
        // Every point needs its own cell: a short list would leave the
        // window's default cells in the last points.
        const std::size_t n = static_cast<std::size_t>(o.points.value_or(6));
        const std::pair<const char*, const std::optional<std::vector<std::string>>*> lists[] = {
            {"--range", &o.rangeCells}, {"--thickness", &o.thicknessCells}};
        for (const auto& [option, cells] : lists)
            if (*cells && (*cells)->size() != n)
                Bad(std::string(option) + ": число ячеек (" + std::to_string((*cells)->size()) +
                    ") не равно числу точек (" + std::to_string(n) + ")");
        for (const auto& s : o.settings)
            if (!SeriesReads(s.name, o.mode))
                Bad("--set " + s.name + ": a parameter the series does not read");
    }
    return o;
}

}  // namespace sonavir
