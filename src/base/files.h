// File access shared by the stages.
//
// TextReader reads a file as a Windows text-mode stream would be read: a CR
// directly before an LF is dropped and the byte 0x1A ends the file; lines are
// handed out with their LF, in pieces of at most `capacity - 1` bytes.  Only
// regular files are read: a directory, a device, a pipe, or a file whose
// reading fails counts as one that cannot be opened.
//
// Files the user keeps (the KRB and FMB files) are written through a
// temporary file in the target's directory that is renamed over the target,
// so that a failed write leaves the previous file intact.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"

namespace tallow {

class TextReader {
 public:
  enum class Result { kLine, kEndOfFile, kError };

  TextReader() = default;
  ~TextReader() { close(); }
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Opens `path` for reading; false when it cannot be opened or is a directory.
  bool open(const std::string& path);
  void close();

  // Reads the next line into `line` (NUL-terminated): at most capacity - 1
  // bytes, up to and including the LF.  `length` receives the bytes stored.
  Result readLine(char* line, size_t capacity, size_t& length);

  // Reads the whole text (up to a 0x1A) once and goes back to its start:
  // UTF-8 when it starts with the UTF-8 byte-order mark, or is valid UTF-8
  // and holds a byte above 0x7F; CP932 otherwise.  Call it right after
  // open().  A read failure is left for readLine to report.
  Encoding detectEncoding();

 private:
  bool refill();
  bool takeRest(char* line, size_t& length, size_t run);
  bool takeByte(char* line, size_t& length);

  int fd_ = -1;
  bool ended_ = false;   // 0x1A or the end of the file was met
  bool failed_ = false;  // a read failed
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// A buffered writer on a file it creates (or truncates).
class FileWriter {
 public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Creates or truncates `path` for writing; false on failure.
  bool create(const std::string& path);
  void write(std::string_view bytes);
  void put(char c) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = c;
  }
  // Flushes and closes; false when any write, flush or close failed.
  bool close();
  bool failed() const { return failed_; }

 private:
  void flush();

  int fd_ = -1;
  bool failed_ = false;
  size_t used_ = 0;
  char buffer_[1 << 16];
};

// Writes every byte to `fd`, going on after interruptions; false on an error.
bool writeAll(int fd, const char* data, size_t size);

// The mode of a new file: 0666 less the process's umask.
mode_t newFileMode();

// Reads up to `limit` bytes of the file at `path` as raw bytes.  Returns false
// when the file cannot be opened, is a directory, or cannot be read.
bool readFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& out);

// Writes `size` bytes to `path` through a temporary file in the same
// directory that is renamed over it.  False, with `path` untouched, on any
// failure (open, write, flush, close or rename).
bool writeFileAtomically(const std::string& path, const void* data, size_t size);

// Creates a new empty file with a name no other process can guess, in
// $TMPDIR (or /tmp when unset or empty).  Returns its path, or an empty
// string when none could be made.
std::string makeTemporaryFile(const std::string& tmpdir);

}  // namespace tallow
