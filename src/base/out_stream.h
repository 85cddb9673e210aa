// Sinks for the program's console and message output.
//
// The compiler and the preprocessor write their messages through an OutStream
// so that a run can print to the console, to a log file or into a string (for
// tests and tools that compile in-process).  Raw bytes are written unchanged;
// a Text is written in the stream's encoding (CP932 unless set otherwise).
// A stream also has the reader's language: messages are written in the
// rules' Japanese unless it is English (see message_catalog.h).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/locale.h"
#include "base/message_catalog.h"
#include "base/text.h"

namespace tallow {

class OutStream {
 public:
  virtual ~OutStream() = default;
  virtual void write(std::string_view bytes) = 0;
  virtual void write(const Text& text) { write(text.render(encoding_)); }
  // A notice or a progress line rather than a message about a fault.
  virtual void note(const Text& text) { write(text); }
  // The program's own words (UTF-8 in the code), in the stream's language
  // and encoding.
  void say(std::string_view utf8) { write(Text::own(tr(utf8))); }
  // A message of the rules (or a format of one) in the stream's language.
  std::string tr(std::string_view rules) const { return translate(language_, rules); }
  // True once a write has failed.
  virtual bool failed() const { return false; }
  virtual void flush() {}

  Encoding encoding() const { return encoding_; }
  void setEncoding(Encoding encoding) { encoding_ = encoding; }
  Language language() const { return language_; }
  void setLanguage(Language language) { language_ = language; }
  bool english() const { return language_ == Language::kEnglish; }

 private:
  Encoding encoding_ = Encoding::kCp932;
  Language language_ = Language::kJapanese;
};

// Writes to a C stream; owns it (and closes it) only when asked to.  On a
// UTF-8 stream, raw bytes that are not UTF-8 are shown converted from CP932.
class FileOutStream final : public OutStream {
 public:
  FileOutStream(std::FILE* file, bool owned) : file_(file), owned_(owned) {}
  ~FileOutStream() override { close(); }
  FileOutStream(const FileOutStream&) = delete;
  FileOutStream& operator=(const FileOutStream&) = delete;

  using OutStream::write;
  void write(std::string_view bytes) override;
  bool failed() const override { return failed_; }
  void flush() override;
  // Flushes and, for an owned stream, closes it; returns false on any error.
  bool close();
  // `other` is flushed before anything is written here: standard output
  // before standard error, so that both read in the order things happened.
  void flushFirst(OutStream* other) { flushFirst_ = other; }

 private:
  std::FILE* file_;
  bool owned_;
  bool failed_ = false;
  OutStream* flushFirst_ = nullptr;
};

// Collects everything written into a string.
class StringOutStream final : public OutStream {
 public:
  using OutStream::write;
  void write(std::string_view bytes) override { text_.append(bytes); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tallow
