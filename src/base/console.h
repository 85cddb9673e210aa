// The language and encoding of the console streams.  By default
// (TALLOWC_ENCODING unset or "auto") both streams, terminal or pipe, get
// UTF-8 when the locale's character set is UTF-8 and CP932 otherwise (the
// bytes the rules define); "cp932" and "utf-8" choose one encoding for
// both.  The language follows TALLOWC_LANG and the locale (base/locale.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "base/out_stream.h"
#include "base/utf8.h"

namespace tallow {

enum class EncodingChoice { kAuto, kCp932, kUtf8 };

// The choice a TALLOWC_ENCODING value names (case does not matter; "utf8"
// and "sjis" are accepted too); none for any other value.
std::optional<EncodingChoice> parseEncodingChoice(std::string_view value);

// The encoding of the console streams.
Encoding streamEncoding(EncodingChoice choice, bool utf8Locale);

// Sets the language and the encodings of standard output and error from the
// environment and makes standard error flush standard output before it
// writes.  Returns false, with the streams in auto, when TALLOWC_ENCODING is
// none of the known values.  main() only.
bool setUpConsole(FileOutStream& out, FileOutStream& err, const Environment& env);

// The line `--version` prints: the program's name and the version.
std::string versionLine(std::string_view program);

// A tool's command line: the arguments after the program name, its two
// streams; the exit status.
using ConsoleTool = int (*)(const std::vector<std::string>& args, OutStream& out, OutStream& err);

// The main function of a listening tool: the console streams set up from the
// environment, `--version` answered, else `tool` run on the arguments; exit
// status 1 when what the tool wrote could not all be written.
int runConsoleTool(int argc, char** argv, ConsoleTool tool);

}  // namespace tallow
