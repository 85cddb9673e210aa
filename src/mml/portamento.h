// Portamento: a note letter followed by "_" slides to a target note.
#pragma once

#include <cstdint>

namespace tallow {

struct CompileContext;

// Compiles the slide that starts at `startPitch` (the "_" is next) and
// returns its length in steps.
int32_t portamento(CompileContext& ctx, int startPitch);

}  // namespace tallow
