// Conversion between the program's UTF-8 message texts and CP932 bytes.
//
// Message texts are written in UTF-8 in the code so that they stay readable;
// by default every text the user sees is printed as CP932 (Shift-JIS) bytes.
// Texts that come from the user's files (titles, file names, source lines)
// are bytes; they are converted only to be shown on a UTF-8 terminal.
//
// Invariant: toCp932 is total.  A code point CP932 cannot encode becomes '?',
// and a test checks that no message of the program needs that fallback.
#pragma once

#include <string>
#include <string_view>

namespace tallow {

// Converts UTF-8 text to CP932 bytes.
std::string toCp932(std::string_view utf8);

// True when every code point of `utf8` has a CP932 encoding.
bool encodableAsCp932(std::string_view utf8);

// Converts CP932 bytes to UTF-8; a byte or pair that is no CP932 character
// becomes U+FFFD.
std::string cp932ToUtf8(std::string_view bytes);

// Text from a user's file as UTF-8: passed through when it is valid UTF-8,
// converted from CP932 when it is not.
std::string userTextToUtf8(std::string_view bytes);

}  // namespace tallow
