// Which bytes of a source line make one character in the byte passes of
// the preprocessor (comment stripping, macro and brace expansion).  Each file is read in
// its own encoding: in a CP932 (Shift-JIS) file a lead byte and the byte
// after it are one character; in a UTF-8 file a lead byte and as many bytes
// as it announces, cut at the end of the text.  Any other byte stands alone.
// The bytes of such a character are copied together and never taken for a
// comment start, an escape, a reference or a brace.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "base/paths.h"
#include "base/utf8.h"

namespace tallow {

constexpr bool startsMultibyte(Encoding encoding, unsigned char c) {
  return encoding == Encoding::kCp932 ? isSjisLead(c) : c >= 0xC0 && c <= 0xF7;
}

// The bytes of the character that starts at `i` (at least 1).
inline size_t characterLength(Encoding encoding, std::string_view text, size_t i) {
  auto c = static_cast<unsigned char>(text[i]);
  if (!startsMultibyte(encoding, c)) return 1;
  size_t length = encoding == Encoding::kCp932 ? 2 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  size_t left = text.size() - i;
  return length < left ? length : left;
}

// A table of the bytes that a pass copies without a look: every byte but the
// pass's own specials and the bytes that start a multibyte character.
template <size_t N>
constexpr std::array<bool, 256> plainBytes(Encoding encoding, const char (&specials)[N]) {
  std::array<bool, 256> plain{};
  for (int c = 0; c < 256; ++c)
    plain[c] = !startsMultibyte(encoding, static_cast<unsigned char>(c));
  for (size_t i = 0; i + 1 < N; ++i) plain[static_cast<unsigned char>(specials[i])] = false;
  return plain;
}

}  // namespace tallow
