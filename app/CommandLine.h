#pragma once
// The command-line mode: `sonavir render ...`, `sonavir evaluate ...`,
// `sonavir ambiguity ...`, `--help`, `--version`. It runs the same code as the windows, without a
// display.

#include <optional>

namespace sonavir {

struct CliOptions;
class OutputSet;
class RunControl;

// The runs of the commands (CliCommand::run): each adds every output asked
// for to OUTPUTS and writes it; RunCommandLine commits them together.
int RunRender(const CliOptions& options, RunControl& control, OutputSet& outputs);
int RunEvaluate(const CliOptions& options, RunControl& control, OutputSet& outputs);
int RunAmbiguity(const CliOptions& options, RunControl& control, OutputSet& outputs);

// The exit status when the arguments ask for the command-line mode, or
// nothing when the program should start its windows (no arguments, or one
// naming a scenario file to open).
std::optional<int> RunCommandLine(int argc, char** argv);

}  // namespace sonavir
