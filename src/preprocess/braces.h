// Repetition braces: "{text}n" stands for its text n times (2 when no count
// follows the "}"); groups nest.
#pragma once

#include <string>
#include <string_view>

#include "base/out_stream.h"
#include "base/utf8.h"

namespace tallow {

// Expands the groups of `source` into `dest` (at most 8191 bytes).  "\" is
// copied together with the byte after it, and a multibyte character of the
// line's encoding whole; neither is examined further.  On failure the
// message has been printed and false is returned.
bool expandBraces(std::string_view source, std::string& dest, OutStream& messages,
                  Encoding encoding);

}  // namespace tallow
