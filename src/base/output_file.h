// The output file of a tool, written as it is made.
//
// "-" is standard output.  A path that exists and is not a regular file (a
// FIFO, a device such as /dev/null) is opened and written through, as
// compilers do with `-o /dev/null`.  Any other path is written to a
// temporary file in its directory, removed on SIGINT, SIGTERM and SIGHUP,
// and renamed over the path by commit(), so that a failed or interrupted
// write leaves the previous file as it was.  Writes are buffered; the first
// failure is remembered and reported by commit().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/temp_cleanup.h"

namespace tallow {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { abandon(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the output cannot be opened or created.
  bool open(const std::string& path);
  void write(const void* data, size_t size);
  // Only the temporary file can be written again at an offset.
  bool seekable() const { return !temp_.empty(); }
  // Overwrites `size` bytes at `offset` (a header's size fields) of a
  // seekable output.
  void patch(uint64_t offset, const void* data, size_t size);
  uint64_t size() const { return size_; }
  bool failed() const { return failed_; }
  // The descriptor, with every buffered byte written (for libraries that
  // write themselves).
  int flushedFd();
  // Completes the output and puts it in place; false when any write failed.
  bool commit();
  // Removes the temporary file (the previous output stays).
  void abandon();

 private:
  void flush();

  int fd_ = -1;
  bool ownsFd_ = false;
  bool failed_ = false;
  std::string path_, temp_;
  TempFileGuard guard_;
  std::vector<char> buffer_;
  uint64_t size_ = 0;
};

}  // namespace tallow
