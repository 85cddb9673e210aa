// The compile stage: turns the intermediate file into a KRB file image.
#pragma once

#include "base/compile_job.h"

namespace tallow {

struct CompileContext;

// 0 on success; 255 when the diagnostics file or the intermediate file cannot
// be opened; otherwise the code of the error that stopped the compile (1).
int compile(CompileJob& job, ProgramContext& program);

// The handler of part lines: compiles the rest of the line for each part
// whose letter the current header token holds.
void partLineHandler(CompileContext& ctx);

// Compiles the rest of the current line as MML for one part.
int compilePart(CompileContext& ctx, int part);

}  // namespace tallow
