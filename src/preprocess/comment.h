// Comment stripping of source lines.
#pragma once

#include <string>

#include "base/utf8.h"

namespace tallow {

// Cuts the comment off `line`, in place.  An unescaped ";" or "/" ends the
// line: it becomes a line feed and the rest is dropped.  "\;" and "\/" lose
// their backslash and keep the character as text.  A Shift-JIS character
// whose second byte is neither ";" nor "/" is copied whole, so that a second
// byte 0x5C ("\") never escapes the byte after it; in a UTF-8 file a UTF-8
// character is copied whole.
void stripComment(std::string& line, Encoding encoding);

}  // namespace tallow
