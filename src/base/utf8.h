// UTF-8: validity and encoding of code points.
#pragma once

#include <string>
#include <string_view>

namespace tallow {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isValidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence at the start of `text` (1-4),
// or 0 when none starts there.
size_t utf8SequenceLength(std::string_view text);

// Appends the UTF-8 encoding of `cp` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

}  // namespace tallow
