// Path handling shared by the stages.
//
// Both '/' and '\' separate directories when a path is split; a joined path
// uses '/' and adds none when the directory already ends in a separator.
// Every path is opened with each '\' that is a character of its own taken
// as '/'; the path as written is what messages show.
//
// Which bytes of a name are characters: a name that is valid UTF-8 is read
// as UTF-8, so every byte below 0x80 is a character of its own.  Any other
// name is read as Shift-JIS: a byte 0x80-0x9F or 0xC0-0xFF is a lead byte,
// and it and the byte after it form one character (a lead byte at the very
// end stands alone).  The one rule serves splitting, converting and
// upper-casing alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace tallow {

constexpr bool isSjisLead(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || c >= 0xC0; }

// Calls `visit(index)` for the first byte of every character of `name`
// that is a single byte below 0x80 (the only bytes that can be separators
// or letters), by the rule above.
template <typename Visit>
void forEachSingleByteChar(std::string_view name, Visit visit) {
  bool utf8 = isValidUtf8(name);
  for (size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      visit(i);
    } else if (!utf8 && isSjisLead(c)) {
      ++i;
    }
  }
}

// The directory part of `path`, up to and including its last separator;
// empty when it has none.
std::string directoryPart(std::string_view path);

// The file-name component of `path` (everything after the last separator).
std::string_view fileNamePart(std::string_view path);

// `dir` followed by `name`, with a '/' between unless `dir` is empty or
// already ends in '/' or '\'.
std::string joinPath(std::string_view dir, std::string_view name);

// `path` with each '\' that is a character of its own turned into '/'.
std::string toOpenPath(std::string_view path);

// `name` with its letters a-z upper-cased (bytes that belong to a
// multibyte character are left alone).
std::string upperLetters(std::string_view name);

// `path` with the letters of its file-name component upper-cased.
std::string upperFileName(std::string_view path);

// Looks for `path` exactly, then for a file in the same directory whose name
// equals the file-name component but for ASCII case.  Returns the path found.
std::optional<std::string> findFileIgnoringCase(const std::string& path);

}  // namespace tallow
