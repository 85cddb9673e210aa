// Small scanners over one line of text, shared by the preprocessor's
// directive handlers and the tone compiler.
//
// Every function takes the position to start from and never reads past the
// end of the line: a position beyond the end is treated as the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tallow {

// Blanks, tabs and line feeds: the end of a field such as a file name.
inline constexpr std::string_view kFieldDelimiters = " \t\n";

// Longest word readWord accepts.
inline constexpr size_t kMaxWordLength = 31;

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Index of the first byte at or after `pos` that is neither a blank nor a tab.
size_t skipBlanks(std::string_view line, size_t pos);

// Skips blanks and tabs, then copies the bytes up to (not including) the first
// byte of `delimiters` or the end of the line into `out`.  At most
// `size - 1` bytes are accepted: when one more would be copied the read
// fails and `pos` is left unchanged.  On success `pos` is at the delimiter.
bool readField(std::string_view line, size_t& pos, std::string& out, std::string_view delimiters,
               size_t size);

// readField for words of at most 31 bytes.
inline bool readWord(std::string_view line, size_t& pos, std::string& out,
                     std::string_view delimiters) {
  return readField(line, pos, out, delimiters, kMaxWordLength + 1);
}

// Skips blanks, tabs and line feeds and tells whether anything is left.
bool hasTrailingText(std::string_view line, size_t& pos);

// `text` without its trailing blanks, tabs and line feeds.
std::string_view trimRight(std::string_view text);

// The length of the longest prefix of `text` that holds none of the bytes
// `a`, `b`, `c` and no byte of 0x80 or above, eight bytes at a time.  It may
// stop early at a high byte; callers look at such a byte themselves.
inline size_t plainPrefix(std::string_view text, char a, char b, char c) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  auto has = [](uint64_t x, char v) {
    uint64_t y = x ^ (kOnes * static_cast<unsigned char>(v));
    return (y - kOnes) & ~y & kHighs;
  };
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t x;
    std::memcpy(&x, text.data() + i, 8);
    if ((x & kHighs) != 0 || has(x, a) || has(x, b) || has(x, c)) break;
  }
  while (i < text.size()) {
    char ch = text[i];
    if (static_cast<unsigned char>(ch) >= 0x80 || ch == a || ch == b || ch == c) break;
    ++i;
  }
  return i;
}

}  // namespace tallow
