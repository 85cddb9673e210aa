// Comment stripping of source lines.
#pragma once

#include <string>

namespace tallow {

// Cuts the comment off `line`, in place.  An unescaped ";" or "/" ends the
// line: it becomes a line feed and the rest is dropped.  "\;" and "\/" lose
// their backslash and keep the character as text.  A Shift-JIS character
// whose second byte is neither ";" nor "/" is copied whole, so that a second
// byte 0x5C ("\") never escapes the byte after it.
void stripComment(std::string& line);

}  // namespace tallow
