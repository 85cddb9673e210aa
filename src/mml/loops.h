// Expanded loops "(" ":" ")" and driver loops "@p" ":" "@j".
#pragma once

namespace tallow {

struct CompileContext;

// Warns about every part whose expanded loop is still open.
void checkOpenLoops(CompileContext& ctx);

}  // namespace tallow
