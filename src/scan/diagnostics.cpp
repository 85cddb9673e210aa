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
  logFile_->setLanguage(fallback.language());
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

std::string Diagnostics::text(const Said& said) const {
  return translate(english() ? Language::kEnglish : Language::kJapanese, said);
}

void Diagnostics::message(std::string_view utf8) { write(Text::own(text(utf8) + "\n")); }

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
Diagnostics::Place Diagnostics::here() const {
  std::string_view taken = scanner_.takenText();
  if (!taken.empty() && taken.back() == '\n') taken.remove_suffix(1);
  return Place{scanner_.fileName(), scanner_.lineCounter() - 1,
               static_cast<int32_t>(scanner_.columnInSource(taken.size()))};
}

void Diagnostics::editorLine(const char* kind, const Said& said, const Place* at) {
  if (editor_ == nullptr) return;
  std::string utf8 = translate(editor_->language(), said);
  if (at != nullptr) {
    editor_->write(tallow::editorLine(at->file, at->line, at->column, kind, utf8));
  } else {
    editor_->write(tallow::editorLine(sourcePath_, 0, 0, kind, utf8));
  }
}

void Diagnostics::warn(const Said& said, int level) {
  location(level);
  Place at = here();
  countWarning(said, level, &at);
}

void Diagnostics::warning(const Said& said, int level, const Place* at) {
  countWarning(said, level, at);
}

void Diagnostics::advise(const Said& said) {
  if (english()) location(kWarnOrdinary);
  advise(said, here());
}

void Diagnostics::advise(const Said& said, const Place& at) {
  if (english()) {
    countWarning(said, kWarnOrdinary, &at);
  } else if (shown(kWarnOrdinary)) {
    editorLine("warning", said, &at);
  }
}

void Diagnostics::adviseUnplaced(const Said& said) {
  if (english()) {
    countWarning(said, kWarnOrdinary, nullptr);
  } else if (shown(kWarnOrdinary)) {
    editorLine("warning", said, nullptr);
  }
}

void Diagnostics::countWarning(const Said& said, int level, const Place* at) {
  if (shown(level)) {
    write(Text::own("(!)" + text(said) + "\n\n"));
    editorLine("warning", said, at);
  }
  ++count_;
  if (count_ == limit_) write(Text::own(text("警告数が多すぎるため、警告表示は中断されました\n")));
}

void Diagnostics::reportError(const Said& said) {
  location(-1);
  write(Text::own(text(said) + "\n"));
  Place at = here();
  editorLine("error", said, &at);
}

void Diagnostics::error(const Said& said, int code) {
  reportError(said);
  throw CompileUnwind{code};
}

}  // namespace tallow
