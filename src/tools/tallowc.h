// The driver: the command line, the two stages in order, the summary,
// writing the KRB file and the exit status.
#pragma once

#include <string>
#include <vector>

#include "base/compile_job.h"

namespace tallow::tools {

// Runs the program on `args` (without the program name) and returns the exit
// status.  Everything is printed to `program.out` and `program.err`.
int runDriver(const std::vector<std::string>& args, ProgramContext& program);

}  // namespace tallow::tools
