// Repetition braces: "{text}n" stands for its text n times (2 when no count
// follows the "}"); groups nest.
#pragma once

#include <string>
#include <string_view>

#include "base/out_stream.h"

namespace tallow {

// Expands the groups of `source` into `dest` (at most 8191 bytes).  "\" and a
// Shift-JIS lead byte are copied together with the byte after them, which is
// then not examined.  On failure the message has been printed and false is
// returned.
bool expandBraces(std::string_view source, std::string& dest, OutStream& messages);

}  // namespace tallow
