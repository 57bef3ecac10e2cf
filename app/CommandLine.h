#pragma once
// The command-line mode: `sonavir render ...`, `sonavir evaluate ...`,
// `--help`, `--version`. It runs the same code as the windows, without a
// display.

#include <optional>

namespace sonavir {

// The exit status when the arguments ask for the command-line mode, or
// nothing when the program should start its windows (no arguments, or one
// naming a scenario file to open).
std::optional<int> RunCommandLine(int argc, char** argv);

}  // namespace sonavir
