// Notes, rests, lengths, ties and gates; the operations other commands share
// (a note's pitch and a length).
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

}  // namespace tallow
