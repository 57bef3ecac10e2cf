#include "app/CliOptions.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "app/CommandLine.h"
#include "display/PictureSizing.h"
#include "files/OutputFiles.h"
#include "model/AmbiguityStudy.h"
#include "model/EchoPath.h"
#include "model/Scenario.h"
#include "model/StudySetup.h"
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

// A list of the detection set-up, checked on its own in the default set-up,
// so that a fault is named by its option.
std::string TrialList(const char* option, const std::string& text, std::string DetectionSetup::*field,
                      int thresholdMode = 0)
{
    DetectionSetup setup;
    setup.*field = text;
    setup.thresholdMode = thresholdMode;
    Take(option, [&] { return ParseDetectionLists(setup); });
    return text;
}

std::uint32_t ParseSeed(const std::string& text)
{
    return static_cast<std::uint32_t>(Take("--seed", [&] {
        return WholeInRange(text, 0LL, static_cast<long long>(std::numeric_limits<std::uint32_t>::max()));
    }));
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

// The commands' bits; kEvery, the commands the common options (-o, --set,
// --scenario, ...) belong to, whose explanations form the common part.
constexpr unsigned kRender = 1u << 0;
constexpr unsigned kEvaluate = 1u << 1;
constexpr unsigned kAmbiguity = 1u << 2;
constexpr unsigned kSweep = 1u << 3;
constexpr unsigned kDetect = 1u << 4;
constexpr unsigned kEvery = kRender | kEvaluate | kAmbiguity | kSweep | kDetect;

using Out = CliOption::Output;

void CheckEvaluate(const CliOptions& o)
{
    // Every point needs its own cell: a short list would leave the window's
    // default cells in the last points.
    const std::size_t n = static_cast<std::size_t>(o.points.value_or(6));
    const std::pair<const char*, const std::optional<std::vector<std::string>>*> lists[] = {
        {"--range", &o.rangeCells}, {"--thickness", &o.thicknessCells}};
    for (const auto& [option, cells] : lists)
        if (*cells && (*cells)->size() != n)
            Bad(std::string(option) + ": число ячеек (" + std::to_string((*cells)->size()) +
                ") не равно числу точек (" + std::to_string(n) + ")");
    for (const auto& s : o.settings)
        if (!SeriesReads(s.name, o.mode)) Bad("--set " + s.name + ": a parameter the series does not read");
}

void CheckSweep(const CliOptions& o)
{
    if (o.sweepValues && o.sweepRange) Bad("--values and --range: the values are one or the other");
    if ((o.sweepCount || o.sweepLog) && o.sweepValues) Bad("--count and --log go with --range, not --values");
}

void CheckDetect(const CliOptions& o)
{
    if (o.levels && (o.pfa || o.measuredSigma))
        Bad("--levels gives the thresholds: not with --pfa or --measured-sigma");
}

// "render and evaluate", the commands that take an option.
std::string CommandsOf(unsigned bits)
{
    std::vector<std::string> names;
    for (const CliCommand& c : CliCommands())
        if (bits & c.bit) names.push_back(c.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

// The row of an option as COMMAND (its bit) takes it, or else the first of
// that name; nullptr for no row of that name.
const CliOption* RowOf(const std::string& name, unsigned command)
{
    const CliOption* first = nullptr;
    for (const CliOption& row : CliOptionTable())
        if (name == row.name) {
            if (row.commands & command) return &row;
            if (!first) first = &row;
        }
    return first;
}

// The commands that have a row of that name.
unsigned CommandsNamed(const std::string& name)
{
    unsigned bits = 0;
    for (const CliOption& row : CliOptionTable())
        if (name == row.name) bits |= row.commands;
    return bits;
}

// The outputs' rules: the picture is what makes a run, so an output of the
// run without it would be silently dropped; and two outputs into one file,
// however its name is spelled, would overwrite each other.
void CheckOutputs(const CliOptions& o, const CliCommand& command)
{
    const CliOption* picture = nullptr;
    for (const CliOption& row : CliOptionTable())
        if (row.output == Out::Picture && (row.commands & command.bit)) picture = &row;
    auto rowOf = [&](const std::string& name) { return RowOf(name, command.bit); };
    if (picture) {
        const bool hasPicture = std::any_of(o.outputs.begin(), o.outputs.end(),
                                            [&](const auto& out) { return out.option == picture->name; });
        const bool alone = std::any_of(o.outputs.begin(), o.outputs.end(),
                                       [&](const auto& out) { return rowOf(out.option)->output == Out::Alone; });
        const std::string required = std::string(picture->name) + " " + picture->argument + " is required";
        if (!hasPicture) {
            for (const auto& out : o.outputs)
                if (rowOf(out.option)->output == Out::Run) Bad(required + " with " + out.option);
            if (!alone) Bad(required);
        }
    }
    std::vector<std::string> targets;
    for (const auto& out : o.outputs) targets.push_back(OutputTarget(out.path));
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = i + 1; j < targets.size(); ++j)
            if (targets[i] == targets[j])
                Bad(o.outputs[i].option + " and " + o.outputs[j].option + " name the same file '" +
                    o.outputs[j].path + "'");
}

// ---- The usage text, from the tables -------------------------------------------

constexpr std::size_t kSynopsisWidth = 86;  // the synopsis as it was laid out by hand
constexpr std::size_t kSynopsisIndent = 17;
constexpr std::size_t kHelpColumn = 19;

std::string SynopsisOf(const CliCommand& command)
{
    std::vector<std::string> items;
    std::string last;  // the picture, which the run needs, closes the line
    for (const CliOption& row : CliOptionTable()) {
        if (!(row.commands & command.bit)) continue;
        std::string item = row.name;
        if (row.argument) item += std::string(" ") + row.argument;
        if (row.output == Out::Picture) last = item;
        else items.push_back("[" + item + "]" + (row.repeatable ? "..." : ""));
    }
    if (!last.empty()) items.push_back(last);
    std::string text = "  sonavir " + std::string(command.name);
    std::size_t lineStart = 0;
    for (const std::string& item : items) {
        if (text.size() - lineStart + 1 + item.size() > kSynopsisWidth) {
            text += "\n";
            lineStart = text.size();
            text += std::string(kSynopsisIndent - 1, ' ');
        }
        text += " " + item;
    }
    return text + "\n";
}

// "  --ticks NA,NT,NF tick counts ...": the names, then the lines of the
// explanation at their column.
std::string HelpEntry(const std::string& head, const std::string& help)
{
    std::string text = "  " + head;
    text += text.size() < kHelpColumn ? std::string(kHelpColumn - text.size(), ' ') : "  ";
    for (std::size_t i = 0; i < help.size(); ++i) {
        text += help[i];
        if (help[i] == '\n') text += std::string(kHelpColumn, ' ');
    }
    return text + "\n";
}

// The explanations in one part of the usage: the options of every command
// (COMMON), or those of the command BITS that not every command takes, with
// its notes on common ones.
std::string HelpPart(unsigned bits, bool common)
{
    std::string text, names;
    for (const CliOption& row : CliOptionTable()) {
        const bool here = common ? row.commands == kEvery : row.commands != kEvery && (row.commands & bits);
        if (here) {
            names += (names.empty() ? "" : ", ") + std::string(row.name);
            if (*row.help) {
                const std::string head = names + (row.argument ? std::string(" ") + row.argument : "");
                text += HelpEntry(head, row.help);
                names.clear();
            }
        }
        if (!common && row.note && (row.noteCommand & bits)) text += HelpEntry(row.name, row.note);
    }
    return text;
}

// ---- The tables ---------------------------------------------------------------

std::array<int, 3> ParseTicks(const std::string& text)
{
    const auto parts = Take("--ticks", [&] { return SplitList(text, ',', 3); });
    std::array<int, 3> ticks{};
    // Counts out of range are brought into it, as the settings window does.
    for (int k = 0; k < 3; ++k) {
        const long long v = Take("--ticks", [&] { return WholeNumber(parts[k]); });
        ticks[k] = v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()
                       ? ParseInt("--ticks", parts[k], std::numeric_limits<int>::min(), std::numeric_limits<int>::max())
                       : static_cast<int>(v);
    }
    return ticks;
}

}  // namespace

const std::vector<CliCommand>& CliCommands()
{
    static const std::vector<CliCommand> commands = {
        {CliOptions::Command::Render, "render", "one Start of the main window", kRender, nullptr, RunRender},
        {CliOptions::Command::Evaluate, "evaluate", "one Start of the evaluation window", kEvaluate, CheckEvaluate,
         RunEvaluate},
        {CliOptions::Command::Ambiguity, "ambiguity", "the map of the window \"Функция неопределенности\"",
         kAmbiguity, nullptr, RunAmbiguity},
        {CliOptions::Command::Sweep, "sweep", "a sweep of a parameter (\"Серия по параметру\")", kSweep, CheckSweep,
         RunSweepCommand},
        {CliOptions::Command::Detect, "detect", "detection trials (\"Обнаружение\")", kDetect, CheckDetect,
         RunDetect},
    };
    return commands;
}

const CliCommand& CliCommandOf(CliOptions::Command command)
{
    for (const CliCommand& c : CliCommands())
        if (c.command == command) return c;
    throw std::logic_error("not a command that runs");
}

const std::vector<CliOption>& CliOptionTable()
{
    using O = CliOptions;
    static const std::vector<CliOption> rows = {
        {"-o", "FILE", kEvery, false, Out::Picture,
         "the picture (required, unless only --save-scenario is\n"
         "asked for): PNG, SVG or PDF by the name's extension (.png,\n"
         ".svg, .pdf, in any case), a BMP file for any other name",
         [](O& o, const std::string& v) { o.output = v; }},
        {"--scenario", "FILE", kEvery, false, Out::No,
         "a scenario file (.svr), applied first; the other options\n"
         "then override it",
         [](O& o, const std::string& v) { o.scenarioFile = v; }},
        {"--model", "M", kRender, false, Out::No, "0 Сигнал, 1 Антенна, 2 Среда, 3 Грунт, 4 Объект",
         [](O& o, const std::string& v) {
             o.model = ParseInt("--model", v, 0, static_cast<int>(kModelViews.size()) - 1);
         }},
        {"--stage", "K", kRender, false, Out::No, "stage of the echo path, 0 .. 7 (with model 0)",
         [](O& o, const std::string& v) { o.stage = ParseInt("--stage", v, 0, kLastStage); }},
        {"--mode", "M", kEvaluate, false, Out::No, "0 peak to energy ratio, 1 energy ratio",
         [](O& o, const std::string& v) { o.mode = ParseInt("--mode", v, 0, 1); }},
        {"--propagation", "P", kEvaluate, false, Out::No, "0 water, 1 seabed, 2 water and seabed",
         [](O& o, const std::string& v) { o.propagation = ParseInt("--propagation", v, 0, 2); }},
        {"--points", "N", kEvaluate, false, Out::No, "3 .. 15 series points (default 6)",
         [](O& o, const std::string& v) { o.points = ParseInt("--points", v, 3, 15); }},
        {"--range", "LIST", kEvaluate, false, Out::No, "",
         [](O& o, const std::string& v) { o.rangeCells = SplitList(v, ';'); }},
        {"--thickness", "LIST", kEvaluate, false, Out::No,
         "one cell per point, separated by ';': ranges in\n"
         "km, thicknesses in m (default for six points: 0;1;2;4;8;16)",
         [](O& o, const std::string& v) { o.thicknessCells = SplitList(v, ';'); }},
        {"--no-norm", nullptr, kEvaluate, false, Out::No,
         "\"Нормировка\" off: the echo is not rescaled to the\n"
         "spectral peak of the probe",
         [](O& o, const std::string&) { o.noNorm = true; }},
        {"--stage", "K", kSweep | kDetect, false, Out::No, "the stage measured, 0 .. 7 (default 7)",
         [](O& o, const std::string& v) { o.stage = ParseInt("--stage", v, 0, kLastStage); }},
        {"--param", "NAME", kSweep, false, Out::No,
         "the parameter swept, by its --set name (F0, FD, R, Radius,\n"
         "Grunt, Snr, ...)",
         [](O& o, const std::string& v) { o.sweepParam = v; }},
        {"--values", "LIST", kSweep, false, Out::No, "its values separated by ';', each as --set takes it",
         [](O& o, const std::string& v) { o.sweepValues = v; }},
        {"--range", "A;B", kSweep, false, Out::No,
         "or --count values from A to B, evenly spaced (an item or\n"
         "a spin value the nearest whole ones, each once)",
         [](O& o, const std::string& v) {
             const auto ends = Take("--range", [&] { return SplitList(v, ';', 2); });
             o.sweepRange = std::array<std::string, 2>{ends[0], ends[1]};
         }},
        {"--count", "K", kSweep, false, Out::No, "the range's values, 2 .. 1000 (default 5)",
         [](O& o, const std::string& v) { o.sweepCount = ParseInt("--count", v, 2, kMaxSweepPoints); }},
        {"--log", nullptr, kSweep, false, Out::No, "the range's values evenly on a logarithmic scale",
         [](O& o, const std::string&) { o.sweepLog = true; }},
        {"--curves", "NAME=LIST", kSweep, false, Out::No, "one curve per value of a second parameter",
         [](O& o, const std::string& v) {
             const auto eq = v.find('=');
             if (eq == std::string::npos) Bad("--curves: expected NAME=LIST, got '" + v + "'");
             o.sweepCurves = CliSetting{v.substr(0, eq), v.substr(eq + 1)};
         }},
        {"--measure", "LIST", kSweep, false, Out::No,
         "the measures of the stage, separated by ',': energy,\n"
         "db_probe, peak, peak_time, width_3db, psl_db, isl_db,\n"
         "snr_out_db, pd (default width_3db)",
         [](O& o, const std::string& v) { o.sweepMeasures = v; }},
        {"--snr-db", "LIST", kDetect, false, Out::No,
         "theory's SNR A^2/(2 sigma^2) in dB, separated by ';': A the\n"
         "echo's peak on the envelope of the filter's output, sigma^2\n"
         "the variance of each quadrature of the filtered noise",
         [](O& o, const std::string& v) { o.snrDb = TrialList("--snr-db", v, &DetectionSetup::snrDb); }},
        {"--pfa", "LIST", kSweep | kDetect, false, Out::No,
         "wanted false-alarm probabilities (\"1E-6;1E-4\"): the\n"
         "threshold sigma*sqrt(-2 ln Pfa); pd of a sweep takes the first",
         [](O& o, const std::string& v) { o.pfa = TrialList("--pfa", v, &DetectionSetup::pfa); }},
        {"--levels", "LIST", kDetect, false, Out::No, "or the thresholds given directly, as T/sigma",
         [](O& o, const std::string& v) { o.levels = TrialList("--levels", v, &DetectionSetup::levels, 2); }},
        {"--measured-sigma", nullptr, kDetect, false, Out::No,
         "sigma measured on trials of noise alone, not worked out\n"
         "from the filter",
         [](O& o, const std::string&) { o.measuredSigma = true; }},
        {"--roc-snr-db", "LIST", kDetect, false, Out::No, "the ROC curves' SNRs in dB (default those of --snr-db)",
         [](O& o, const std::string& v) {
             o.rocSnrDb = TrialList("--roc-snr-db", v, &DetectionSetup::rocSnrDb);
         }},
        {"--trials", "K", kSweep | kDetect, false, Out::No, "trials with independent noise per SNR (default 2000)",
         [](O& o, const std::string& v) { o.trials = ParseInt("--trials", v, 1, 1 << 30); }},
        {"--gate", "G", kSweep | kDetect, false, Out::No,
         "the gate around the echo's peak, give or take G samples\n"
         "(default 0)",
         [](O& o, const std::string& v) { o.gate = ParseInt("--gate", v, 0, 100000); }},
        {"--chart", "KIND", kDetect, false, Out::No,
         "what -o draws: roc, Pd against the measured Pfa for each\n"
         "ROC SNR (default); pd, Pd against the SNR for each Pfa",
         [](O& o, const std::string& v) {
             if (v != "roc" && v != "pd") Bad("--chart: expected roc or pd, got '" + v + "'");
             o.pdChart = v == "pd";
         }},
        {"--set", "NAME=TEXT", kEvery, true, Out::No,
         "a parameter exactly as typed into its control: F0, FD, Tc,\n"
         "KofDiscret (2, 4, 8, 16, 64), Q, K, Sln, Temperature, R,\n"
         "GruntHeight, NOrder, Radius, Dt, V; item numbers for Signal\n"
         "(0 .. 2), Antenna (0 .. 1), Grunt (0 .. 2), Window (0 .. 4);\n"
         "Snr as a position 1 .. 100.\n"
         "Applied in the order given, as if typed one after another",
         [](O& o, const std::string& v) { o.settings.push_back(ParseSetting(v, "--set")); }, kEvaluate,
         "only what a series reads: not Dt, R, GruntHeight, Radius,\n"
         "Antenna, Q, K, Snr or V, and not Signal with --mode 1"},
        {"--filter", nullptr, kRender | kSweep, false, Out::No, "the matched filter on (\"Фильтр\")",
         [](O& o, const std::string&) { o.filter = true; }},
        {"--echo-filter", nullptr, kRender | kSweep | kDetect, false, Out::No, "the filter matched to the echo, not to the probe",
         [](O& o, const std::string&) { o.echoFilter = true; }},
        {"--noise", nullptr, kRender | kSweep, false, Out::No, "noise on (\"Шум\"), at the ratio of --set Snr",
         [](O& o, const std::string&) { o.noise = true; }},
        {"--seed", "S", kRender, false, Out::No, "noise seed, 0 .. 4294967295, to repeat a noisy run",
         [](O& o, const std::string& v) { o.seed = ParseSeed(v); }},
        {"--seed", "S", kSweep | kDetect, false, Out::No,
         "seed of the noise and the trials, 0 .. 4294967295, to\n"
         "repeat them; without it every command draws new noise",
         [](O& o, const std::string& v) { o.seed = ParseSeed(v); }},
        {"--norm", nullptr, kRender | kSweep, false, Out::No, "energy normalisation on (\"Нормировка\")",
         [](O& o, const std::string&) { o.norm = true; }},
        {"--depth", nullptr, kRender | kSweep, false, Out::No, "attenuation by range and layer thickness on",
         [](O& o, const std::string&) { o.depth = true; }},
        {"--gate-off", "I", kRender | kSweep | kDetect, true, Out::No, "leaves out stage model I (0 .. 6); may be repeated",
         [](O& o, const std::string& v) { o.gatesOff.push_back(ParseInt("--gate-off", v, 0, kGateCount - 1)); }},
        {"--colors", "C", kEvery, false, Out::No, "0 white on black, 1 black on white",
         [](O& o, const std::string& v) { o.colors = ParseInt("--colors", v, 0, 1); }},
        {"--no-scale", nullptr, kRender, false, Out::No,
         "\"Шкала\" off: no frames, ticks or labels, the curves alone",
         [](O& o, const std::string&) { o.noScale = true; }},
        {"--db", nullptr, kRender, false, Out::No,
         "\"Шкала в дБ\": the waveform's envelope from 0 to -60 dB\n"
         "of its peak, the spectrum from 0 to -80 dB",
         [](O& o, const std::string&) { o.db = true; }},
        {"--ticks", "NA,NT,NF", kRender, false, Out::No, "tick counts of amplitude, time and frequency (1 .. 30)",
         [](O& o, const std::string& v) { o.ticks = ParseTicks(v); }},
        {"--size", "WxH", kEvery, false, Out::No, "picture width and height in pixels (default 785x484)",
         [](O& o, const std::string& v) { o.size = ParseSize(v); }, kAmbiguity,
         "the map's picture: default 980x760, at least 640x480"},
        {"--time-range", "T0;T1", kRender, false, Out::No,
         "zooms the waveform into T0 .. T1 seconds, held to the\n"
         "run's record (\"0,005;0,012\"); its amplitudes keep the scale\n"
         "of the whole signal",
         [](O& o, const std::string& v) { o.timeRange = ParseRange("--time-range", v); }},
        {"--freq-range", "F0;F1", kRender, false, Out::No, "zooms the spectrum into F0 .. F1 hertz likewise",
         [](O& o, const std::string& v) { o.freqRange = ParseRange("--freq-range", v); }},
        {"--cursors", "T0;T1", kRender, false, Out::No,
         "cursors A and B on the waveform at T0 and T1 seconds, each\n"
         "at the sample nearest; with --measures their readout joins\n"
         "it as columns (positions, values, B - A, 1/(B - A), B/A in dB)",
         [](O& o, const std::string& v) { o.cursors = ParseRange("--cursors", v); }},
        {"--reference-stage", "K", kRender, false, Out::No,
         "draws under the run, dotted, stage K (0 .. 7) of the\n"
         "same settings as a reference (\"Запомнить как эталон\"):\n"
         "both on the scale of the larger peak, the reference at its\n"
         "own times and frequencies (the probe under the echo:\n"
         "--stage 7 --reference-stage 0)",
         [](O& o, const std::string& v) { o.referenceStage = ParseInt("--reference-stage", v, 0, kLastStage); }},
        {"--reference-set", "NAME=TEXT", kRender, true, Out::No,
         "the reference is the run with this parameter\n"
         "changed, as --set takes it; may be repeated, and joined\n"
         "with --reference-stage. No output file changes by a reference",
         [](O& o, const std::string& v) { o.referenceSettings.push_back(ParseSetting(v, "--reference-set")); }},
        {"--wave", "FILE", kRender, false, Out::Run, "", [](O& o, const std::string& v) { o.waveFile = v; }},
        {"--spectrum", "FILE", kRender, false, Out::Run,
         "the plotted waveform or spectrum as CSV; with a\n"
         "range, only its rows: samples m with T0 <= m*Dt <= T1,\n"
         "columns k with F0 <= k/(2N*Dt) <= F1",
         [](O& o, const std::string& v) { o.spectrumFile = v; }},
        {"--ledger", "FILE", kRender, false, Out::Run, "energy and peak after each stage of the echo path, as CSV",
         [](O& o, const std::string& v) { o.ledgerFile = v; }},
        {"--measures", "FILE", kRender, false, Out::Run, "pulse-compression measures of the plotted waveform, as CSV",
         [](O& o, const std::string& v) { o.measuresFile = v; }},
        {"--budget", "FILE", kRender, false, Out::Run,
         "the sonar equation's budget as CSV, each term by the equation\n"
         "and simulated; only with --set LevelModel=1 (its values: SL,\n"
         "NL, DI, Absorption 0|1, SeaDepth, pH)",
         [](O& o, const std::string& v) { o.budgetFile = v; }},
        {"--table", "FILE", kEvaluate, false, Out::Run, "the result table, cells separated by ';'",
         [](O& o, const std::string& v) { o.tableFile = v; }},
        {"--delay-range", "T0;T1", kAmbiguity, false, Out::No,
         "the map's delays in seconds, held to -Tc .. +Tc\n"
         "(default the whole of it)",
         [](O& o, const std::string& v) { o.delayRange = ParseRange("--delay-range", v); }},
        {"--doppler-range", "F0;F1", kAmbiguity, false, Out::No,
         "its Doppler shifts in hertz (default +-nu_max, the\n"
         "larger of 4/Tc and the Doppler of 30 m/s at F0)",
         [](O& o, const std::string& v) { o.dopplerRange = ParseRange("--doppler-range", v); }},
        {"--doppler-points", "N", kAmbiguity, false, Out::No, "its rows, 1 .. 4097 (default 129)",
         [](O& o, const std::string& v) {
             o.dopplerPoints = ParseInt("--doppler-points", v, 1, kMaxAmbiguityRows);
         }},
        {"--wideband", nullptr, kAmbiguity, false, Out::No,
         "\"Широкополосная\": each row the probe scaled in time\n"
         "by (c + V)/(c - V), V = c nu/(2 F0), not shifted in frequency",
         [](O& o, const std::string&) { o.wideband = true; }},
        {"--map", "FILE", kAmbiguity, false, Out::Run, "the map as CSV: delay,doppler,level_db",
         [](O& o, const std::string& v) { o.mapFile = v; }},
        {"--cuts", "FILE", kAmbiguity, false, Out::Run,
         "the zero-Doppler and zero-delay cuts as CSV:\n"
         "cut,delay,doppler,level_db",
         [](O& o, const std::string& v) { o.cutsFile = v; }},
        {"--measures", "FILE", kAmbiguity, false, Out::Run,
         "the map's measures beside their theory, as CSV:\n"
         "measure,value,theory",
         [](O& o, const std::string& v) { o.measuresFile = v; }},
        {"--table", "FILE", kSweep | kDetect, false, Out::Run,
         "the table as CSV: the parameter, the curve parameter and\n"
         "one column per measure (sweep); snr_db,pfa,threshold,trials,\n"
         "pd,pd_low,pd_high,pfa_measured,pd_theory (detect)",
         [](O& o, const std::string& v) { o.tableFile = v; }},
        {"--save-scenario", "FILE", kEvery, false, Out::Alone,
         "writes the situation as all the options set it up;\n"
         "without -o nothing runs and only the scenario is written",
         [](O& o, const std::string& v) { o.saveScenarioFile = v; }},
        {"--quiet", nullptr, kEvery, false, Out::No, "no progress line (shown on a terminal for work over 1 s)",
         [](O& o, const std::string&) { o.quiet = true; }},
    };
    return rows;
}

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
    std::string text = "Usage:\n"
                       "  sonavir                      start the windows\n"
                       "  sonavir FILE.svr             start the windows with a scenario\n"
                       "  sonavir --help | --version\n";
    for (const CliCommand& c : CliCommands()) text += SynopsisOf(c);
    text += "\n"
            "Numbers take the decimal comma, as in the windows: Tc=0,5, not Tc=0.5.\n"
            "\n";
    text += CliCommands().size() == 2 ? "Both commands:\n" : "Every command:\n";
    text += HelpPart(kEvery, true);
    for (const CliCommand& c : CliCommands())
        text += "\n" + std::string(c.name) + ", " + c.heading + ":\n" + HelpPart(c.bit, false);
    text += "\n"
            "Exit status: 0 done, 1 the run failed (nothing written), 2 bad command line,\n"
            "130 interrupted (Ctrl+C: nothing written).\n";
    return text;
}

bool SeriesReads(const std::string& name, int mode)
{
    // A series carries the probe through water and seabed only: no antenna,
    // no sphere (so no target's velocity), no noise; it derives its own step, takes range and thickness
    // from its table, and the energy-ratio mode runs every probe kind.
    static const std::vector<std::string> unread = {"Dt", "R", "GruntHeight", "Radius", "Antenna",
                                                    "Q",  "K", "Snr",         "V"};
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
    const auto& commands = CliCommands();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [&](const CliCommand& c) { return args[0] == c.name; });
    if (command == commands.end()) Bad("unknown command '" + args[0] + "'");
    o.command = command->command;

    const auto& table = CliOptionTable();
    std::vector<int> given(table.size(), 0);
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const CliOption* row = RowOf(a, command->bit);
        if (!row) Bad("unknown option '" + a + "'");
        if (!(row->commands & command->bit)) Bad(a + " is an option of " + CommandsOf(CommandsNamed(a)));
        std::string value;
        if (row->argument) {
            if (i + 1 >= args.size()) Bad(a + " needs a value");
            value = args[++i];
            // The last one would silently win.
            if (++given[static_cast<std::size_t>(row - table.data())] > 1 && !row->repeatable)
                Bad(a + " is given twice: it takes a single value");
        }
        row->take(o, value);
        if (row->output != CliOption::Output::No) o.outputs.push_back({a, value});
    }
    CheckOutputs(o, *command);
    if (command->check) command->check(o);
    return o;
}

}  // namespace sonavir
