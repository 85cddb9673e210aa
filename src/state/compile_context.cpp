// The compile context and the growth of its event streams.
#include "state/compile_context.h"

namespace tallow {

CompileContext::CompileContext(CompileJob& j, ProgramContext& p) : job(j), program(p) {
  scanner.setDiagnostics(diag);
  for (ByteBuffer& t : tracks) t.setAllocator(*p.allocator);
  for (EnvelopeDefinition& e : envelopes.definitions) e.code.setAllocator(*p.allocator);
}

void CompileContext::growTrack(size_t extra) {
  size_t total = 0;
  for (const ByteBuffer& t : tracks) total += t.length();
  size_t budget = program.streamBudget < kMaxBlockSize ? program.streamBudget : kMaxBlockSize;
  if (total > budget || extra > budget - total || !tracks[currentPart].reserve(extra)) {
    outOfMemory();
  }
}

void CompileContext::outOfMemory() { error("メモリが足りません"); }

}  // namespace tallow
