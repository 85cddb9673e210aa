// The encoding of the console streams.  By default (TALLOWC_ENCODING unset
// or "auto") a stream that is a terminal whose locale's character set is
// UTF-8 gets UTF-8, and every other stream, a pipe or a file, CP932: the
// bytes the rules define.  "cp932" and "utf-8" choose one encoding for both
// streams.  Each stream is decided on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/out_stream.h"
#include "base/utf8.h"

namespace tallow {

enum class EncodingChoice { kAuto, kCp932, kUtf8 };

// The choice a TALLOWC_ENCODING value names (case does not matter; "utf8"
// and "sjis" are accepted too); none for any other value.
std::optional<EncodingChoice> parseEncodingChoice(std::string_view value);

// The encoding of a stream on file descriptor `fd`.
Encoding streamEncoding(EncodingChoice choice, int fd, bool utf8Locale);

// Sets the locale's character classes from the environment and tells whether
// its character set is UTF-8.  Changes the process's locale: main() only.
bool adoptUtf8Locale();

// Sets the encodings of standard output and error from TALLOWC_ENCODING
// (`value`, unset for auto) and makes standard error flush standard output
// before it writes.  The locale is adopted only when it decides something: in
// auto with a stream on a terminal.  Returns false, with `out` and `err` in
// auto, when the value is none of the known ones.  main() only.
bool setUpConsole(FileOutStream& out, FileOutStream& err, const std::optional<std::string>& value);

// A tool's command line: the arguments after the program name, its two
// streams; the exit status.
using ConsoleTool = int (*)(const std::vector<std::string>& args, OutStream& out, OutStream& err);

// The main function of a listening tool: the console streams set up from the
// environment, `tool` run on the arguments, and exit status 1 when what the
// tool wrote could not all be written.
int runConsoleTool(int argc, char** argv, ConsoleTool tool);

}  // namespace tallow
