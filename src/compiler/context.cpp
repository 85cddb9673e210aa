// The compile context: its tables are built afresh for every compile.
#include "compiler/context.h"

#include "compiler/header_commands.h"
#include "envelope/envelope.h"
#include "mml/command_table.h"

namespace tallow {

CompileContext::CompileContext(CompileJob& j, ProgramContext& p)
    : job(j),
      program(p),
      headerTable(makeHeaderTable()),
      mml(makeMmlTables()),
      emlTable(makeEmlTable()) {
  scanner.setDiagnostics(diag);
  for (ByteBuffer& t : tracks) t.setAllocator(*p.allocator);
  for (EnvelopeDefinition& e : envelopes.definitions) e.code.setAllocator(*p.allocator);
}

void CompileContext::outOfMemory() { error("メモリが足りません"); }

}  // namespace tallow
