// The header commands: the table "[Tallow:COM]" and its handlers.
#pragma once

#include "scan/keyword_table.h"

namespace tallow {

struct CompileContext;

KeywordTable makeHeaderTable();

// Fills the header-command handler table: every slot gets the part-line
// handler, then each command's handler is installed over its code.
void installHeaderHandlers(CompileContext& ctx);

// Loads the FM tone bank named by the FMB name into the tone table; false
// when it cannot be found or read (the table keeps its contents).
bool loadToneTable(CompileContext& ctx);

}  // namespace tallow
