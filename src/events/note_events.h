// The note and detune events, written on the current part's stream: the one
// place that turns a pitch and a detune into event bytes, shared by the MML
// commands and the envelopes that play notes.  Out-of-range note bytes stop
// the compile with "音程が範囲外です".
#pragma once

#include <cstdint>

namespace tallow {

struct CompileContext;

// The value of the detune event of a note of `pitch` with `extra` units.
int32_t detuneValue(const CompileContext& ctx, int pitch, int64_t extra);

// The byte of a note event, before range checks: on an FM part with a key
// width the whole semitones of the detune raise the note.
int64_t noteByteOf(const CompileContext& ctx, int pitch, int64_t extra);

// The detune event 0x91 for a note of `pitch`, with `extra` detune units.
void emitDetune(CompileContext& ctx, int pitch, int64_t extra);

// One note event; nothing for length 0.
void emitNote(CompileContext& ctx, int pitch, int64_t extra, int32_t length);

}  // namespace tallow
