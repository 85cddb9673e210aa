// The state of one preprocessor run and the line loop over one file.
//
// A run owns the intermediate file's writer, the message stream, the macro
// table, the #with prefix, the include depth and the tone compiler's run
// state; all of them cross file boundaries.  Each open file has one
// LineLoop, which reads it line by line and keeps the stack of its open
// conditional blocks (a block never spans files).  Lines are read into the
// writer's free space, so that a line which no pass changes is written where
// it was read; any other line is copied out and handled from the copy.  The
// loop's members are defined by concern in line_loop.cpp, conditionals.cpp,
// includes.cpp and with_prefix.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/compile_job.h"
#include "base/files.h"
#include "base/out_stream.h"
#include "preprocess/intermediate.h"
#include "preprocess/line_class.h"
#include "preprocess/macros.h"
#include "tonebank/tone_defs.h"

namespace tallow {

inline constexpr size_t kLineBufferSize = 8192;  // a line read holds at most 8191 bytes
inline constexpr int kMaxOpenFiles = 8;
inline constexpr size_t kMaxOpenBlocks = 4096;
inline constexpr size_t kMaxJoinedPathLength = 511;
inline constexpr size_t kMaxIncludeNameLength = 255;
inline constexpr size_t kMaxWithPrefixLength = 31;

// The message stream of a run: it passes everything on and remembers the
// messages about faults said since the current line began, so that an
// error can also be written as one line for editors.  Notices and the
// location reports pass without being remembered.
class PreprocessMessages final : public OutStream {
 public:
  explicit PreprocessMessages(OutStream& target) : target_(target) {
    setEncoding(target.encoding());
    setLanguage(target.language());
  }
  using OutStream::write;
  void write(std::string_view bytes) override { target_.write(bytes); }
  void write(const Text& text) override {
    said_ += text.utf8();
    target_.write(text);
  }
  void note(const Text& text) override { target_.write(text); }
  // The messages said since forget(), as one line of text.
  std::string said() const;
  void forget() { said_.clear(); }

 private:
  OutStream& target_;
  std::string said_;
};

struct PreprocessRun {
  PreprocessRun(CompileJob& job, ProgramContext& program, FileWriter& intermediate,
                OutStream& messages);

  const CompileJob& job;
  const Environment& env;
  IntermediateWriter intermediate;
  PreprocessMessages messages;
  OutStream* editor = nullptr;  // TALLOWC_DIAGNOSTICS=gnu: standard error
  // With editor lines or note positions: the maps of rewritten lines.
  ColumnMaps* columns = nullptr;
  bool editorLineWritten = false;
  // Where the run was when it failed, for the editor line: the file of the
  // loop that reads (set when a loop starts and when an include returns)
  // and the line it handles.
  std::string lastFile;
  int lastLine = 0;
  std::string sourceDir;  // the main source's directory with its separator, or empty
  int includeDepth = 0;   // files open at the moment, the main file included
  size_t openBlocks = 0;  // conditional blocks open at the moment, in all files
  MacroTable macros;
  std::string withPrefix;
  ToneDefState tones;

  void say(std::string_view utf8);
  // Writes the messages said for the current line as one editor line
  // "FILE:LINE:COLUMN: error: TEXT" (once per run).
  void editorError(const std::string& file, int line, int column);
};

// How a file's loop ended.
enum class BlockEnd { kEndOfFile, kFailed, kElse, kEndif };

struct SourceFile {
  TextReader reader;
  std::string name;    // as shown in markers and messages
  int lineNumber = 0;  // of the line being handled
  // Each file decides for itself: UTF-8 when it starts with the byte-order
  // mark (which is dropped) or is valid UTF-8 and not plain ASCII.
  Encoding encoding = Encoding::kCp932;
  bool byteOrderMarkPending = false;
};

// Opens the file `name` (the main source or an included file) and runs its
// line loop.  False when the run fails; the messages have been printed.
bool processFile(PreprocessRun& run, std::string name);

// Runs the line loop over an open file.
BlockEnd processLines(PreprocessRun& run, SourceFile& file);

class LineLoop {
 public:
  LineLoop(PreprocessRun& run, SourceFile& file);
  BlockEnd run();

 private:
  // What handling one line asks of the loop.
  enum class Step { kNext, kFailed, kQuit, kElse, kEndif };

  struct OpenBlock {
    int line;            // of the #ifdef / #ifndef
    bool firstTaken;     // the first branch is the one written
    bool inElse;         // an #else has been met
    bool outerSkipping;  // the enclosing branch is skipped
    bool skipping;
  };

  // line_loop.cpp
  // These two run for every line, from run() only, which they are inlined
  // into.
  [[gnu::always_inline]] inline bool readLine(TextReader::Result& result, std::string_view& text);
  [[gnu::always_inline]] inline bool writtenInPlace(std::string_view text);
  size_t putPrefix();
  void takeLine(std::string_view text);
  Step handleLine();
  Step handleActive(LineClass lineClass);
  Step ordinaryLine();
  void mapColumns(std::vector<ColumnStretch>& stretches);
  Step defineLine();
  Step toneLine();
  Step bankNameMissing();
  Step trailingCheck();
  Step locationReport() { return locationReport(line_); }
  Step locationReport(std::string_view text);
  int column() const;
  void emit(std::string_view bytes) { run_.intermediate.write(bytes); }
  bool skipping() const { return !blocks_.empty() && blocks_.back().skipping; }

  // conditionals.cpp
  Step openBlock(bool negate);
  Step elseLine();
  Step endifLine();
  BlockEnd endOfBlocks();

  // includes.cpp
  Step includeLine();

  // with_prefix.cpp
  Step setWithPrefix();
  Step endWithPrefix();

  PreprocessRun& run_;
  SourceFile& file_;
  char* read_ = nullptr;  // where the latest line was read, in the writer's free space
  // The latest line when it was written in place, while its bytes are still
  // in the writer: it is the line a read error reports.
  std::string_view inPlace_;
  std::string line_;      // the line being handled, finally its expanded text
  std::string expanded_;  // the macro-expanded text of an ordinary line
  size_t pos_ = 0;
  std::vector<OpenBlock> blocks_;
};

}  // namespace tallow
