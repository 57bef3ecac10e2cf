#pragma once
// The command line taken apart: what `sonavir render`, `evaluate`,
// `ambiguity`, `sweep` and `detect` were asked to do, checked for shape before anything runs. One table of
// options (CliOptionTable) and one of commands (CliCommands) give the parser,
// the usage text and the rules of the outputs. Running the options is
// app/CommandLine.cpp's job.
//
// A new option is one row of the option table (in CliOptions.cpp, at its
// place in the synopsis), with a handler that puts its value into a field of
// CliOptions for the run to read; an output row's file is then checked,
// compared with the other outputs and required to be written by the run. A
// new command is a value of CliOptions::Command, one row of the command table
// (its name, its bit, the heading of its part of the usage, its own checks
// and its run, declared in app/CommandLine.h), its bit in kEvery when the
// common options apply to it, and the rows of its own options. A name that
// means another thing to another command (`--range` of evaluate and of
// sweep, `--measures` of render and of ambiguity) is a row of its own for
// each, with its own help; the parser takes the command's row.

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/PlotSpan.h"
#include "model/ModelParameters.h"

namespace sonavir {

// A command line that cannot be used as given: usage message, exit status 2.
class CliUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputSet;
class RunControl;

// One `--set NAME=TEXT`.
struct CliSetting {
    std::string name;
    std::string text;
};

struct CliOptions {
    enum class Command { Help, Version, Render, Evaluate, Ambiguity, Sweep, Detect };
    Command command = Command::Help;

    // Every command.
    // Options not given leave the scenario's value (or the default) alone.
    std::string scenarioFile;          // --scenario: applied first
    std::vector<CliSetting> settings;  // in the order given
    std::optional<int> colors;         // 0 white on black, 1 black on white
    std::optional<std::array<int, 2>> size;  // picture width, height
    std::string output;                // -o: the picture; without it nothing runs
    std::string saveScenarioFile;      // --save-scenario
    bool quiet = false;                // --quiet: no progress line

    // render (the stage and the run's switches also sweep and detect)
    std::optional<int> model;
    std::optional<int> stage;
    bool filter = false, echoFilter = false, noise = false, norm = false, depth = false;
    std::optional<std::uint32_t> seed;
    std::vector<int> gatesOff;
    bool noScale = false;
    bool db = false;  // "Шкала в дБ"
    std::optional<std::array<int, 3>> ticks;  // amplitude, time, frequency
    std::string waveFile, spectrumFile;
    std::string ledgerFile, measuresFile;
    std::string budgetFile;  // the sonar equation's budget: only in that level model
    // The zoom: a time range in seconds, a frequency range in hertz.
    std::optional<PlotRange> timeRange, freqRange;
    // Cursors A and B on the waveform, in seconds.
    std::optional<PlotRange> cursors;
    // The reference drawn under the run: the same situation at another
    // stage and with other parameters, in the order given.
    std::optional<int> referenceStage;
    std::vector<CliSetting> referenceSettings;
    bool Reference() const { return referenceStage || !referenceSettings.empty(); }

    // evaluate
    int mode = 0;
    int propagation = 0;
    std::optional<int> points;
    std::optional<std::vector<std::string>> rangeCells, thicknessCells;
    bool noNorm = false;
    std::string tableFile;  // and sweep, detect

    // sweep: the fields of its set-up given (the others stay the scenario's).
    std::optional<std::string> sweepParam, sweepValues, sweepMeasures;
    std::optional<std::array<std::string, 2>> sweepRange;  // from, to, as typed
    std::optional<int> sweepCount;
    bool sweepLog = false;
    std::optional<CliSetting> sweepCurves;  // NAME and its list

    // detect (and the trials of sweep's pd)
    std::optional<std::string> snrDb, pfa, rocSnrDb, levels;
    bool measuredSigma = false;  // the threshold on the sigma measured on noise alone
    std::optional<long long> trials;
    std::optional<int> gate;
    bool pdChart = false;  // -o draws Pd against the SNR, not the ROC curves

    // ambiguity (its --measures is measuresFile)
    std::optional<PlotRange> delayRange, dopplerRange;  // s, Hz
    std::optional<int> dopplerPoints;
    bool wideband = false;
    std::string mapFile, cutsFile;

    // Every file asked for, in the order given: the option and the name.
    struct Output {
        std::string option, path;
    };
    std::vector<Output> outputs;
};

// What an option is, to the parser, the usage text and the rules of outputs.
struct CliOption {
    // Whether the option names a file the command writes, and when.
    enum class Output {
        No,
        Picture,  // the run's picture (-o): without it nothing runs
        Run,      // written by the run, so only with the picture
        Alone,    // written before any run, and may be asked for alone
    };
    const char* name;
    const char* argument;  // "FILE", "K"; nullptr for a switch
    unsigned commands;     // the bits of the commands that take it
    bool repeatable;       // may be given more than once ("...")
    Output output;
    // The lines of its explanation in the usage; "" when the next row's
    // explanation covers both ("--wave, --spectrum FILE").
    const char* help;
    void (*take)(CliOptions& options, const std::string& value);  // the value, "" for a switch
    // A further explanation in the part of one command (its bit).
    unsigned noteCommand = 0;
    const char* note = nullptr;
};

struct CliCommand {
    CliOptions::Command command;
    const char* name;      // as typed: "render"
    const char* heading;   // of its part of the usage
    unsigned bit;
    void (*check)(const CliOptions& options);  // its own rules after parsing; may be null
    // Adds every output asked for to OUTPUTS and writes it; the caller
    // commits them together. Returns the exit status.
    int (*run)(const CliOptions& options, RunControl& control, OutputSet& outputs);
};

// The rows in the order of the usage's synopsis; an option's explanation
// goes to the part of the commands it belongs to, or to the common part when
// it belongs to every command.
const std::vector<CliOption>& CliOptionTable();
const std::vector<CliCommand>& CliCommands();
const CliCommand& CliCommandOf(CliOptions::Command command);

// The arguments after the program name. Throws CliUsageError.
CliOptions ParseCommandLine(const std::vector<std::string>& args);

std::string CliUsage();
// A message as one line of text: control characters (C0, DEL and C1) and
// bytes that are not UTF-8 are shown escaped (\n, \t, \x1b, \u009b), so a name
// or a text from the command line can neither split the message nor send
// codes to the terminal. Every message the command line prints passes here.
std::string OneLine(const std::string& text);
std::string CliVersion();  // "Версия 2.06 (build 242)"

// Whether NAME is one of the parameters `--set` may change.
bool IsSettingName(const std::string& name);

// Whether a series of `evaluate` in mode MODE reads the parameter NAME;
// `--set` of one it does not read is refused.
bool SeriesReads(const std::string& name, int mode);

// Applies TEXT as the parameters window's control would take it, through the
// same change handler. A text the control rejects throws SonavirError with
// its message; a value no control could hold (an item or position out of
// range, a pick-list text not in the list) throws CliUsageError.
void ApplySetting(ModelParameters& params, const CliSetting& setting);

}  // namespace sonavir
