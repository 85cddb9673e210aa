// Compiler diagnostics: warnings, which are counted, filtered by level and
// cut off after a limit, and errors, which print their message and abandon
// the compile by throwing CompileUnwind to the compile's single unwind point.
//
// Both show where they arose: the file name and line number the scanner
// tracks and the current line as far as it has been read.  Message texts are
// passed as the rules' text in UTF-8 and printed in the stream's language
// and encoding (the rules' Japanese in CP932 by default).  For editors, each
// error and each displayed warning can also be written as one line
// "FILE:LINE:COLUMN: error: TEXT" on a second stream.
//
// Advice is a warning the rules do not have, about what compiles but cannot
// sound right.  It is shown and counted as a warning in English only, so that
// the rules' output stays as it is, and it is always written as an editor
// line when those are on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/message_catalog.h"
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
  // Where a message arose, for its editor line (column 0: none).
  struct Place {
    std::string file;
    int32_t line;
    int32_t column;
  };
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

  // True when messages are shown in English.
  bool english() const { return stream_ != nullptr && stream_->english(); }
  // True when advice goes anywhere: in English or to editor lines.
  bool advising() const { return english() || editor_ != nullptr; }

  // Writes the program's own text and a line end.
  void message(std::string_view utf8);
  // Writes the position block when the display condition holds for `level`.
  void location(int level);
  // A warning with its position block.
  void warn(const Said& said, int level);
  // A warning without a position block (its editor line at `at`, or
  // without a position).
  void warning(const Said& said, int level, const Place* at = nullptr);
  // The place of the last character the scanner took.
  Place here() const;
  // Advice at the current position, at `at`, or without a position.
  void advise(const Said& said);
  void advise(const Said& said, const Place& at);
  void adviseUnplaced(const Said& said);
  // Prints the position block and the message, then unwinds with `code`.
  [[noreturn]] void error(const Said& said, int code = 1);
  // Prints an error as error() does, without unwinding (the caller is the
  // unwind point).
  void reportError(const Said& said);

 private:
  bool shown(int level) const { return (count_ < limit_ || limit_ == 0) && level <= level_; }
  void write(const Text& text);
  std::string text(const Said& said) const;
  void countWarning(const Said& said, int level, const Place* at);
  void editorLine(const char* kind, const Said& said, const Place* at);

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
