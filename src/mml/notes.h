// Notes, rests, lengths, ties, gates and the detune that accompanies every
// note; the operations other commands share (pitch, length, detune and
// note events).
#pragma once

#include <cstdint>

namespace tallow {

struct CompileContext;

// Reads the accidentals after a note letter of `semitone` and returns its
// pitch 0..127 ("音程が範囲外です" otherwise).
int notePitch(CompileContext& ctx, int semitone);

// Reads a length (numbers, "%" steps, dots, "~" joins) and returns it in
// steps, multiplied by the length scale.
int32_t readLength(CompileContext& ctx);

// The detune event 0x91 for a note of `pitch`, with `extra` detune units.
void emitDetune(CompileContext& ctx, int pitch, int64_t extra);

// One note event; nothing for length 0.  On an FM part with a key width the
// whole semitones of the detune raise the note.
void emitNote(CompileContext& ctx, int pitch, int64_t extra, int32_t length);

}  // namespace tallow
