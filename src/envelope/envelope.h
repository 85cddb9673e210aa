// Envelopes: definitions written in the envelope language on `.env` lines,
// compiled into byte code, and played out over the notes of parts that
// select them.
#pragma once

#include <cstdint>

#include "scan/keyword_table.h"

namespace tallow {

struct CompileContext;

KeywordTable makeEmlTable();

// Makes all 128 definitions absent and every part's time unit 1.
void resetEnvelopes(CompileContext& ctx);
// Releases the byte strings of all definitions.
void releaseEnvelopes(CompileContext& ctx);

// `.env`: compiles the rest of the line into envelope `number` (0-127).
void defineEnvelope(CompileContext& ctx, int number);

// Selects envelope `number` for the current part ("未定義のエンベロープ" when
// it is not defined).
void selectEnvelope(CompileContext& ctx, int number);

// Resets the run state of `part`'s envelope.
void resetEnvelopeRun(CompileContext& ctx, int part);

// Emits the events of a note of `pitch` and `length` steps through the
// current part's envelope.
void renderEnvelope(CompileContext& ctx, int pitch, int32_t length);

}  // namespace tallow
