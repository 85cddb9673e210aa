// Byte sinks for the program's console and message output.
//
// The compiler and the preprocessor write their messages through an OutStream
// so that a run can print to the console, to a log file or into a string (for
// tests and tools that compile in-process).  Bytes are written unchanged.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tallow {

class OutStream {
 public:
  virtual ~OutStream() = default;
  virtual void write(std::string_view bytes) = 0;
  // True once a write has failed.
  virtual bool failed() const { return false; }
};

// Writes to a C stream; owns it (and closes it) only when asked to.
class FileOutStream final : public OutStream {
 public:
  FileOutStream(std::FILE* file, bool owned) : file_(file), owned_(owned) {}
  ~FileOutStream() override { close(); }
  FileOutStream(const FileOutStream&) = delete;
  FileOutStream& operator=(const FileOutStream&) = delete;

  void write(std::string_view bytes) override;
  bool failed() const override { return failed_; }
  // Flushes and, for an owned stream, closes it; returns false on any error.
  bool close();

 private:
  std::FILE* file_;
  bool owned_;
  bool failed_ = false;
};

// Collects everything written into a string.
class StringOutStream final : public OutStream {
 public:
  void write(std::string_view bytes) override { text_.append(bytes); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tallow
