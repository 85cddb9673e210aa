// The krb2wav tool as a library: renders a KRB file to a sound file.  The
// executable's main only hands over its arguments and console streams.
//
// Exit status: 0 rendered; 1 a file could not be read or written or the KRB
// file is malformed (one line "krb2wav: MESSAGE" on the error stream, and no
// output file is left behind); 2 a usage error (a message and a hint).
// Warnings (a missing bank or sample) go to the error stream; the summary
// line (file, length, parts, peak level) to the output stream.
#pragma once

#include <string>
#include <vector>

#include "base/out_stream.h"

namespace tallow::tools {

int runKrb2wav(const std::vector<std::string>& args, OutStream& out, OutStream& err);

}  // namespace tallow::tools
