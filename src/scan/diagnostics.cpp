// Warnings and errors with their position blocks.  An error never returns:
// it throws CompileUnwind to the compile's unwind point.
#include "scan/diagnostics.h"

#include <cstdio>

#include "base/text.h"
#include "scan/scanner.h"

namespace tallow {

bool Diagnostics::open(const std::string& logPath, OutStream& fallback) {
  if (logPath.empty()) {
    stream_ = &fallback;
    return true;
  }
  std::FILE* file = std::fopen(logPath.c_str(), "ab");
  if (file == nullptr) file = std::fopen(logPath.c_str(), "wb");
  if (file == nullptr) return false;
  logFile_ = std::make_unique<FileOutStream>(file, true);
  stream_ = logFile_.get();
  return true;
}

void Diagnostics::close() {
  logFile_.reset();
  stream_ = nullptr;
}

void Diagnostics::write(const Text& text) {
  if (stream_ != nullptr) stream_->write(text);
}

void Diagnostics::message(std::string_view utf8) { write(Text::own(std::string(utf8) + "\n")); }

void Diagnostics::location(int level) {
  if (!shown(level)) return;
  Text block = formatText("in %s : Line %d\n", scanner_.fileName(),
                          static_cast<long long>(scanner_.lineCounter()) - 1);
  block += Text::user(scanner_.takenText());
  block += Text::own("\n");
  write(block);
}

// The column is that of the last character the scanner took (1-based), a
// line end not counted.
void Diagnostics::editorLine(const char* kind, std::string_view utf8, bool positioned) {
  if (editor_ == nullptr) return;
  if (positioned) {
    std::string_view taken = scanner_.takenText();
    if (!taken.empty() && taken.back() == '\n') taken.remove_suffix(1);
    editor_->write(tallow::editorLine(scanner_.fileName(), scanner_.lineCounter() - 1LL,
                                      static_cast<long long>(taken.size()), kind, utf8));
  } else {
    editor_->write(tallow::editorLine(sourcePath_, 0, 0, kind, utf8));
  }
}

void Diagnostics::warn(std::string_view utf8, int level) {
  location(level);
  countWarning(utf8, level, true);
}

void Diagnostics::warning(std::string_view utf8, int level) { countWarning(utf8, level, false); }

void Diagnostics::countWarning(std::string_view utf8, int level, bool positioned) {
  if (shown(level)) {
    write(Text::own("(!)" + std::string(utf8) + "\n\n"));
    editorLine("warning", utf8, positioned);
  }
  ++count_;
  if (count_ == limit_) write(Text::own("警告数が多すぎるため、警告表示は中断されました\n"));
}

void Diagnostics::reportError(std::string_view utf8) {
  location(-1);
  message(utf8);
  editorLine("error", utf8, true);
}

void Diagnostics::error(std::string_view utf8, int code) {
  reportError(utf8);
  throw CompileUnwind{code};
}

}  // namespace tallow
