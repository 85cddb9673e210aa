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

void CompileContext::emitByte(int value) {
  ByteBuffer& t = track();
  if (!t.reserve(1)) error("メモリが足りません");
  t.put(static_cast<uint8_t>(value));
}

void CompileContext::emitWord(int value) {
  ByteBuffer& t = track();
  if (!t.reserve(2)) error("メモリが足りません");
  t.put(static_cast<uint8_t>(value & 0xFF));
  t.put(static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace tallow
