#include "app/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

#include "display/PictureSizing.h"
#include "signal/NumberText.h"

namespace sonavir {

namespace {

[[noreturn]] void Bad(const std::string& what) { throw CliUsageError(what); }

// A whole decimal number, nothing around it.
bool ParseWhole(const std::string& text, long long& value)
{
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && first != last;
}

int ParseInt(const std::string& option, const std::string& text, int lo, int hi)
{
    long long v = 0;
    if (!ParseWhole(text, v) || v < lo || v > hi)
        Bad(option + ": expected a whole number from " + std::to_string(lo) + " to " +
            std::to_string(hi) + ", got '" + text + "'");
    return static_cast<int>(v);
}

std::vector<std::string> Split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto pos = text.find(sep, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return parts;
}

std::array<int, 2> ParseSize(const std::string& text)
{
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) Bad("--size: expected WxH, got '" + text + "'");
    long long w = 0, h = 0;
    if (!ParseWhole(text.substr(0, x), w) || !ParseWhole(text.substr(x + 1), h) ||
        w < kMinPictureWidth || h < kMinPictureHeight || w > kMaxPictureSide || h > kMaxPictureSide)
        Bad("--size: expected WxH with a width from " + std::to_string(kMinPictureWidth) + " to " +
            std::to_string(kMaxPictureSide) + " and a height from " +
            std::to_string(kMinPictureHeight) + " to " + std::to_string(kMaxPictureSide) +
            ", got '" + text + "'");
    return {static_cast<int>(w), static_cast<int>(h)};
}

int KofDiscretIndex(const std::string& text)
{
    const auto& items = ModelParameters::KofDiscretItems();
    const auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end()) Bad("--set KofDiscret: not an item of the list: '" + text + "'");
    return static_cast<int>(it - items.begin());
}

CliSetting ParseSetting(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos) Bad("--set: expected NAME=TEXT, got '" + text + "'");
    CliSetting s{text.substr(0, eq), text.substr(eq + 1)};
    if (!IsSettingName(s.name)) Bad("--set: unknown parameter '" + s.name + "'");
    // Values no control could hold are refused before anything is applied.
    if (s.name == "Signal") ParseInt("--set Signal", s.text, 0, 2);
    else if (s.name == "Antenna") ParseInt("--set Antenna", s.text, 0, 1);
    else if (s.name == "Grunt") ParseInt("--set Grunt", s.text, 0, 2);
    else if (s.name == "Snr") ParseInt("--set Snr", s.text, 1, 100);
    else if (s.name == "KofDiscret") KofDiscretIndex(s.text);
    return s;
}

// A spin edit's text: the integer in it, or its minimum when there is none.
int SpinEditValue(const std::string& text, int minimum)
{
    int v = 0;
    return TryStrToInt(text, v) ? v : minimum;
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
        {"--table", &o.tableFile}};
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

std::string CliVersion() { return "Версия 2.06 (build 242)"; }

std::string CliUsage()
{
    return "Usage:\n"
           "  sonavir                      start the windows\n"
           "  sonavir --help | --version\n"
           "  sonavir render [--model M] [--stage K] [--set NAME=TEXT]... [--filter]\n"
           "                 [--echo-filter] [--noise] [--seed S] [--norm] [--depth]\n"
           "                 [--gate-off I]... [--colors C] [--no-scale] [--ticks NA,NT,NF]\n"
           "                 [--size WxH] [--wave FILE] [--spectrum FILE] -o FILE\n"
           "  sonavir evaluate [--mode M] [--propagation P] [--points N] [--range LIST]\n"
           "                 [--thickness LIST] [--no-norm] [--set NAME=TEXT]... [--colors C]\n"
           "                 [--size WxH] [--table FILE] -o FILE\n"
           "\n"
           "  --model M        0 Сигнал, 1 Антенна, 2 Среда, 3 Грунт, 4 Объект\n"
           "  --stage K        stage of the echo path, 0 .. 7\n"
           "  --gate-off I     leaves out stage model I (0 .. 6)\n"
           "  --set NAME=TEXT  a parameter exactly as typed into its control: F0, FD, Tc,\n"
           "                   KofDiscret (2, 4, 8, 16, 64), Q, K, Sln, Temperature, R,\n"
           "                   GruntHeight, NOrder, Radius, Dt; item numbers for Signal (0 .. 2),\n"
           "                   Antenna (0 .. 1), Grunt (0 .. 2); Snr as a position 1 .. 100\n"
           "  --colors C       0 white on black, 1 black on white\n"
           "  --wave, --spectrum FILE   the plotted waveform or spectrum as CSV\n"
           "  --mode M         0 peak to energy ratio, 1 energy ratio\n"
           "  --propagation P  0 water, 1 seabed, 2 water and seabed\n"
           "  --points N       3 .. 15 series points\n"
           "  --range, --thickness LIST  cells of the series table separated by ';'\n"
           "  --table FILE     the result table, cells separated by ';'\n"
           "\n"
           "Exit status: 0 done, 1 the run failed (nothing written), 2 bad command line.\n";
}

bool IsSettingName(const std::string& name)
{
    static const std::vector<std::string> names = {
        "F0", "FD", "Tc", "KofDiscret", "Q", "K", "Sln", "Temperature", "R", "GruntHeight",
        "NOrder", "Radius", "Dt", "Signal", "Antenna", "Grunt", "Snr"};
    return std::find(names.begin(), names.end(), name) != names.end();
}

void ApplySetting(ModelParameters& params, const CliSetting& s)
{
    const std::string& n = s.name;
    const std::string& t = s.text;
    if (n == "F0") params.SetF0Text(t);
    else if (n == "FD") params.SetFDText(t);
    else if (n == "Tc") params.SetTcText(t);
    else if (n == "Q") params.SetQText(t);
    else if (n == "K") params.SetKText(t);
    else if (n == "R") params.SetRText(t);
    else if (n == "GruntHeight") params.SetGruntHeightText(t);
    else if (n == "NOrder") params.SetNText(t);
    else if (n == "Radius") params.SetRadiusText(t);
    else if (n == "Dt") params.SetDtText(t);
    else if (n == "KofDiscret") {
        params.SetKofDiscretItem(KofDiscretIndex(t));
    } else if (n == "Sln" || n == "Temperature") {
        // Taken as typed, then brought into range as when the field loses focus.
        const int hi = n == "Sln" ? 50 : 100;
        const int typed = SpinEditValue(t, 0);
        const int clamped = std::clamp(typed, 0, hi);
        auto set = [&](int v) { n == "Sln" ? params.SetSln(v) : params.SetTemperature(v); };
        set(typed);
        if (clamped != typed) set(clamped);
    } else if (n == "Signal") {
        params.SetSignalItem(ParseInt("--set Signal", t, 0, 2));
    } else if (n == "Antenna") {
        params.SetAntennaItem(ParseInt("--set Antenna", t, 0, 1));
    } else if (n == "Grunt") {
        params.SetGruntItem(ParseInt("--set Grunt", t, 0, 2));
    } else if (n == "Snr") {
        params.SetSnrPosition(ParseInt("--set Snr", t, 1, 100));
    } else {
        Bad("--set: unknown parameter '" + n + "'");
    }
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
        else if (a == "--set") o.settings.push_back(ParseSetting(value()));
        else if (a == "--colors") o.colors = ParseInt(a, value(), 0, 1);
        else if (a == "--size") o.size = ParseSize(value());
        else if (a == "--model") { renderOnly(); o.model = ParseInt(a, value(), 0, 4); }
        else if (a == "--stage") { renderOnly(); o.stage = ParseInt(a, value(), 0, 7); }
        else if (a == "--filter") { renderOnly(); o.filter = true; }
        else if (a == "--echo-filter") { renderOnly(); o.echoFilter = true; }
        else if (a == "--noise") { renderOnly(); o.noise = true; }
        else if (a == "--norm") { renderOnly(); o.norm = true; }
        else if (a == "--depth") { renderOnly(); o.depth = true; }
        else if (a == "--seed") {
            renderOnly();
            long long v = 0;
            const std::string& t = value();
            if (!ParseWhole(t, v) || v < 0 || v > std::numeric_limits<std::uint32_t>::max())
                Bad("--seed: expected a whole number from 0 to 4294967295, got '" + t + "'");
            o.seed = static_cast<std::uint32_t>(v);
        } else if (a == "--gate-off") { renderOnly(); o.gatesOff.push_back(ParseInt(a, value(), 0, 6)); }
        else if (a == "--no-scale") { renderOnly(); o.noScale = true; }
        else if (a == "--ticks") {
            renderOnly();
            const std::string& t = value();
            const auto parts = Split(t, ',');
            if (parts.size() != 3) Bad("--ticks: expected NA,NT,NF, got '" + t + "'");
            std::array<int, 3> ticks{};
            for (int k = 0; k < 3; ++k) {
                long long v = 0;
                if (!ParseWhole(parts[k], v) || v < std::numeric_limits<int>::min() ||
                    v > std::numeric_limits<int>::max())
                    Bad("--ticks: expected three whole numbers, got '" + t + "'");
                ticks[k] = static_cast<int>(v);
            }
            o.ticks = ticks;
        } else if (a == "--wave") { renderOnly(); o.waveFile = value(); }
        else if (a == "--spectrum") { renderOnly(); o.spectrumFile = value(); }
        else if (a == "--mode") { evaluateOnly(); o.mode = ParseInt(a, value(), 0, 1); }
        else if (a == "--propagation") { evaluateOnly(); o.propagation = ParseInt(a, value(), 0, 2); }
        else if (a == "--points") { evaluateOnly(); o.points = ParseInt(a, value(), 3, 15); }
        else if (a == "--range") { evaluateOnly(); o.rangeCells = Split(value(), ';'); }
        else if (a == "--thickness") { evaluateOnly(); o.thicknessCells = Split(value(), ';'); }
        else if (a == "--no-norm") { evaluateOnly(); o.noNorm = true; }
        else if (a == "--table") { evaluateOnly(); o.tableFile = value(); }
        else Bad("unknown option '" + a + "'");
    }

    if (o.output.empty()) Bad("-o FILE is required");
    CheckDistinctOutputs(o);
    if (!render) {
        const std::size_t n = static_cast<std::size_t>(o.points.value_or(6));
        if ((o.rangeCells && o.rangeCells->size() > n) ||
            (o.thicknessCells && o.thicknessCells->size() > n))
            Bad("more series cells than points (" + std::to_string(n) + ")");
    }
    return o;
}

}  // namespace sonavir
