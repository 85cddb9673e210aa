// Repetition braces: "{text}n" stands for its text n times (2 when no count
// follows the "}"); groups nest.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/column_map.h"
#include "base/out_stream.h"
#include "base/utf8.h"

namespace tallow {

// Expands the groups of `source` into `dest` (at most 8191 bytes).  "\" is
// copied together with the byte after it, and a multibyte character of the
// line's encoding whole; neither is examined further.  On failure the
// message has been printed and false is returned.  When `stretches` is
// given, it receives where the stretches of `dest` come from in `source`
// (each repetition from the group's text).
bool expandBraces(std::string_view source, std::string& dest, OutStream& messages,
                  Encoding encoding, std::vector<ColumnStretch>* stretches = nullptr);

}  // namespace tallow
