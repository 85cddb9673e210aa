// Warnings and errors with their position blocks.  An error never returns:
// it throws CompileUnwind to the compile's unwind point.
#include "scan/diagnostics.h"

#include <cstdio>

#include "base/cp932.h"
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

void Diagnostics::write(std::string_view bytes) {
  if (stream_ != nullptr) stream_->write(bytes);
}

void Diagnostics::message(std::string_view cp932) {
  write(cp932);
  write("\n");
}

void Diagnostics::location(int level) {
  if (!shown(level)) return;
  write(formatMessage("in %s : Line %d\n", scanner_.fileName(),
                      static_cast<long long>(scanner_.lineCounter()) - 1));
  write(scanner_.takenText());
  write("\n");
}

void Diagnostics::warn(std::string_view utf8, int level) {
  location(level);
  warning(utf8, level);
}

void Diagnostics::warning(std::string_view utf8, int level) {
  if (shown(level)) {
    write("(!)");
    write(toCp932(utf8));
    write("\n\n");
  }
  ++count_;
  if (count_ == limit_) write(toCp932("警告数が多すぎるため、警告表示は中断されました\n"));
}

void Diagnostics::error(std::string_view utf8, int code) {
  location(-1);
  message(toCp932(utf8));
  throw CompileUnwind{code};
}

}  // namespace tallow
