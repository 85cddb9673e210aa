// The stream optimiser: rewrites a part's stream in place, dropping setting
// events that a later one of the same code makes useless and settings that
// repeat the value in force, joining tied notes of one pitch and runs of
// rests.  It is also the last check of a stream: an undefined event code
// makes it fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallow {

// One pass: optimises `stream` (`length` bytes ending with 0xFF) in place;
// returns the new length (at least 1), or 0 when an undefined code was met.
size_t optimizeStream(uint8_t* stream, size_t length);

// Two passes, the second over the result of the first, in one walk: the
// same bytes and the same result as optimizeStream run twice (0 when the
// first pass fails).  The compile optimises every stream this way.
size_t optimizeStreamTwice(uint8_t* stream, size_t length);

}  // namespace tallow
