// The preprocessor: it reads the
// main source and its includes, carries out the directives, expands macros
// and braces, compiles tone definitions through the tone bank (tonebank/) and
// writes the intermediate file that the compiler reads.
//
// Functions are named in camelCase like everywhere else; the records and
// fields that cross stages keep the names the language's rules give them
// (CompileJob, sourcePath, intermediatePath, ...).
#pragma once

#include "base/compile_job.h"

namespace tallow {

// The whole preprocessing stage.  Returns 0 on success, 1 on failure (the
// messages have been printed on the message stream).
int runPreprocessor(CompileJob& job, ProgramContext& program);

}  // namespace tallow
