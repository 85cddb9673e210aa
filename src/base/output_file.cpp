// Opening, writing and completing a tool's output file.
#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/files.h"
#include "base/paths.h"

namespace tallow {
namespace {

constexpr size_t kBufferBytes = 1 << 16;

}  // namespace

bool OutputFile::open(const std::string& path) {
  abandon();
  path_ = path;
  failed_ = false;
  size_ = 0;
  buffer_.reserve(kBufferBytes);
  struct stat st;
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    ownsFd_ = false;
    return true;
  }
  ownsFd_ = true;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0;
  }
  temp_ = directoryPart(path) + ".tallow-XXXXXX";
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  guard_.watch(temp_);
  ::fchmod(fd_, newFileMode());
  return true;
}

void OutputFile::flush() {
  if (!buffer_.empty() && !failed_ && !writeAll(fd_, buffer_.data(), buffer_.size())) {
    failed_ = true;
  }
  buffer_.clear();
}

void OutputFile::write(const void* data, size_t size) {
  size_ += size;
  if (failed_ || fd_ < 0) return;
  if (buffer_.size() + size > kBufferBytes) flush();
  if (size >= kBufferBytes) {
    failed_ = !writeAll(fd_, static_cast<const char*>(data), size);
    return;
  }
  const char* bytes = static_cast<const char*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void OutputFile::patch(uint64_t offset, const void* data, size_t size) {
  flush();
  if (failed_ || !seekable()) return;
  auto n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
  failed_ = n != static_cast<ssize_t>(size);
}

int OutputFile::flushedFd() {
  flush();
  return fd_;
}

bool OutputFile::commit() {
  if (fd_ < 0) return false;
  flush();
  bool ok = !failed_;
  if (ownsFd_) ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (!temp_.empty()) ok = ok && ::rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    abandon();
    return false;
  }
  temp_.clear();
  guard_.release();
  return true;
}

void OutputFile::abandon() {
  if (fd_ >= 0 && ownsFd_) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  guard_.release();
}

}  // namespace tallow
