// The command lines of krb2vgm and krb2mid, as functions the thin mains and
// the tests call: arguments without the program name, output streams for
// standard output and error; the exit status is returned.
//
//   0  the file was written
//   1  a bad input file (unreadable, not a KRB file, a malformed stream,
//      an unreadable bank) or an output file that cannot be written
//   2  a usage error
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/out_stream.h"
#include "playback/playback.h"

namespace tallow::tools {

int runKrb2Vgm(const std::vector<std::string>& args, OutStream& out, OutStream& err);
int runKrb2Mid(const std::vector<std::string>& args, OutStream& out, OutStream& err);

// Warns, once per part, of the parts that played a tone nobody hears:
// "TOOL: warning: FM2 plays tone 3, ...".
void warnSilentTones(std::string_view tool,
                     const std::array<std::optional<playback::SilentTone>, kPartCount>& silent,
                     OutStream& err);

// Text from the user's files and command line (a title, a file name) on its
// way to the terminal.  Passed through for now.
std::string userText(std::string_view bytes);

}  // namespace tallow::tools
