// Compiler diagnostics: warnings, which are counted, filtered by level and
// cut off after a limit, and errors, which print their message and abandon
// the compile by throwing CompileUnwind to the compile's single unwind point.
//
// Both show where they arose: the file name and line number the scanner
// tracks and the current line as far as it has been read.  Message texts are
// passed in UTF-8 and printed in the stream's encoding (CP932 by default).
// For editors, each error and each displayed warning can also be written as
// one line "FILE:LINE:COLUMN: error: TEXT" on a second stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/out_stream.h"
#include "base/text.h"

namespace tallow {

class Scanner;

// Thrown by an error to unwind a compile; `code` is the error's code (1 for
// every error of the source).  Nothing else unwinds a compile.
struct CompileUnwind {
  int code;
};

constexpr int kWarnOrdinary = 1;
constexpr int kWarnVolumeRange = 2;

class Diagnostics {
 public:
  explicit Diagnostics(const Scanner& scanner) : scanner_(scanner) {}

  // Opens the stream: `fallback` when `logPath` is empty, else the file
  // (appended to, or created).  False when the file cannot be opened.
  bool open(const std::string& logPath, OutStream& fallback);
  void close();

  void setLevel(int32_t level) { level_ = level; }
  void setLimit(int32_t limit) { limit_ = limit; }
  int32_t count() const { return count_; }

  // Editor lines go to `stream` (standard error); `sourcePath` names the
  // file of the warnings that have no position.
  void setEditorLines(OutStream* stream, std::string sourcePath) {
    editor_ = stream;
    sourcePath_ = std::move(sourcePath);
  }

  // Writes the program's own text and a line end.
  void message(std::string_view utf8);
  // Writes the position block when the display condition holds for `level`.
  void location(int level);
  // A warning with its position block.
  void warn(std::string_view utf8, int level);
  // A warning without a position block.
  void warning(std::string_view utf8, int level);
  // Prints the position block and the message, then unwinds with `code`.
  [[noreturn]] void error(std::string_view utf8, int code = 1);
  // Prints an error as error() does, without unwinding (the caller is the
  // unwind point).
  void reportError(std::string_view utf8);

 private:
  bool shown(int level) const { return (count_ < limit_ || limit_ == 0) && level <= level_; }
  void write(const Text& text);
  void countWarning(std::string_view utf8, int level, bool positioned);
  void editorLine(const char* kind, std::string_view utf8, bool positioned);

  const Scanner& scanner_;
  OutStream* stream_ = nullptr;
  OutStream* editor_ = nullptr;
  std::string sourcePath_;
  std::unique_ptr<OutStream> logFile_;
  int32_t level_ = 255;
  int32_t limit_ = 0;
  int32_t count_ = 0;
};

}  // namespace tallow
