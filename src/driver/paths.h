// Path handling shared by the stages.
//
// Both '/' and '\' separate directories when a path is split; a joined path
// uses '/' and adds none when the directory already ends in a separator.
// Paths taken from a source file are opened with every '\' that is not the
// second byte of a Shift-JIS character taken as '/'.  A byte 0x80-0x9F or
// 0xC0-0xFF is a Shift-JIS lead byte: it and the byte after it form one
// character (a lead byte at the very end stands alone).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallow {

constexpr bool isSjisLead(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || c >= 0xC0; }

// The directory part of `path`, up to and including its last separator;
// empty when it has none.
std::string directoryPart(std::string_view path);

// The file-name component of `path` (everything after the last separator).
std::string_view fileNamePart(std::string_view path);

// `dir` followed by `name`, with a '/' between unless `dir` is empty or
// already ends in '/' or '\'.
std::string joinPath(std::string_view dir, std::string_view name);

// `path` with each '\' that is not a Shift-JIS second byte turned into '/'.
std::string toOpenPath(std::string_view path);

// `path` with its file-name component upper-cased (ASCII a-z only; the
// second bytes of Shift-JIS characters are left alone).
std::string upperFileName(std::string_view path);

// Looks for `path` exactly, then for a file in the same directory whose name
// equals the file-name component but for ASCII case.  Returns the path found.
std::optional<std::string> findFileIgnoringCase(const std::string& path);

}  // namespace tallow
