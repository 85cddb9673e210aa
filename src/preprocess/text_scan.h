// Small scanners over one source line, shared by the directive handlers.
//
// A line is a byte string of at most 8191 bytes.  Every function takes the
// position to start from and never reads past the end of the line: a position
// beyond the end is treated as the end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallow {

// Characters that end the word of a line that starts with "#", "'", "." or "@".
inline constexpr std::string_view kWordEnd = " \t\n0123456789";
// End a name in a macro definition and after #ifdef / #ifndef.
inline constexpr std::string_view kNameDelimiters = " \t\n(),.<>~^|@%#*:/;&{}'";
// End a name after "$" in a reference, and parameter names in a definition.
inline constexpr std::string_view kRefDelimiters = " \t\n$(),.<>~^|@%#*:/;&{}'";
// End the #with word.
inline constexpr std::string_view kWithDelimiters = " \t\n%\\";
// End an #include name and a .vstart word.
inline constexpr std::string_view kFieldDelimiters = " \t\n";

// Longest word ReadWord accepts.
inline constexpr size_t kMaxWordLength = 31;

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Index of the first byte at or after `pos` that is neither a blank nor a tab.
size_t SkipBlanks(std::string_view line, size_t pos);

// Skips blanks and tabs, then copies the bytes up to (not including) the first
// byte of `delimiters` or the end of the line into `out`.  At most
// `size - 1` bytes are accepted: when one more would be copied the read
// fails and `pos` is left unchanged.  On success `pos` is at the delimiter.
bool ReadField(std::string_view line, size_t& pos, std::string& out, std::string_view delimiters,
               size_t size);

// ReadField for words of at most 31 bytes.
inline bool ReadWord(std::string_view line, size_t& pos, std::string& out,
                     std::string_view delimiters) {
  return ReadField(line, pos, out, delimiters, kMaxWordLength + 1);
}

// Skips blanks, tabs and line feeds and tells whether anything is left.
bool HasTrailingText(std::string_view line, size_t& pos);

// `text` without its trailing blanks, tabs and line feeds.
std::string_view TrimRight(std::string_view text);

}  // namespace tallow
