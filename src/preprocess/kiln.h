// The preprocessor run: reads the main source and its includes, carries out
// the directives, expands macros and braces, compiles tone definitions and
// writes the intermediate file.
#pragma once

#include "base/compile_job.h"

namespace tallow {

// The whole preprocessing stage.  Returns 0 on success, 1 on failure (the
// messages have been printed on the message stream).
int RunPreprocessor(CompileJob& job, ProgramContext& program);

}  // namespace tallow
