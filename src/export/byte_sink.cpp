// The scratch file of the MIDI tracks.
#include "export/byte_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/files.h"

namespace tallow::exports {
namespace {

constexpr size_t kBufferBytes = 1 << 16;

}  // namespace

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ScratchFile::create() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  fd_ = ::open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    // Without O_TMPFILE: a named file, removed at once.
    path += "/tallow-XXXXXX";
    fd_ = ::mkstemp(path.data());
    if (fd_ >= 0) ::unlink(path.c_str());
  }
  buffer_.reserve(kBufferBytes);
  return fd_ >= 0;
}

bool ScratchFile::flush() {
  if (!buffer_.empty() && !failed_) {
    failed_ = !writeAll(fd_, reinterpret_cast<const char*>(buffer_.data()), buffer_.size());
  }
  buffer_.clear();
  return !failed_;
}

void ScratchFile::put(std::span<const uint8_t> bytes) {
  size_ += bytes.size();
  if (buffer_.size() + bytes.size() > kBufferBytes) flush();
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

bool ScratchFile::copyTo(ByteSink& out) {
  if (fd_ < 0 || !flush() || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
  std::vector<uint8_t> chunk(kBufferBytes);
  for (uint64_t left = size_; left > 0;) {
    ssize_t n = ::read(fd_, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out.put(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(n)));
    left -= std::min<uint64_t>(left, static_cast<uint64_t>(n));
  }
  return true;
}

}  // namespace tallow::exports
