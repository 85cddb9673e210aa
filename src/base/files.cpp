// File access: text-mode line reading, buffered and atomic writing, and
// temporary files.  Every read is of a regular file, every write checked.
#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/paths.h"
#include "base/temp_cleanup.h"

namespace tallow {
namespace {

constexpr size_t kReadChunk = 1 << 16;
constexpr char kCtrlZ = 0x1A;
constexpr size_t kPathLimit = 512;

int openForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  // Only regular files are read: a directory cannot be read, and a device or
  // a pipe (such as /dev/zero) could feed endless input or block forever.
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The permissions a newly created file gets (0666 less the umask).
mode_t newFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool TextReader::open(const std::string& path) {
  close();
  fd_ = openForReading(path);
  if (fd_ < 0) return false;
  buffer_.resize(kReadChunk + 1);
  pos_ = end_ = 0;
  ended_ = failed_ = false;
  return true;
}

void TextReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// Fills the buffer; keeps a CR that ended the previous chunk so that a CR LF
// pair split between two reads is still seen as a pair.
bool TextReader::refill() {
  if (ended_ || failed_ || fd_ < 0) return false;
  size_t keep = 0;
  if (pos_ < end_) {
    keep = end_ - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, keep);
  }
  pos_ = 0;
  end_ = keep;
  for (;;) {
    ssize_t n = ::read(fd_, buffer_.data() + end_, kReadChunk - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failed_ = true;
      return false;
    }
    if (n == 0) {
      ended_ = true;
      return end_ > 0;
    }
    end_ += static_cast<size_t>(n);
    return true;
  }
}

namespace {

// The length of the stretch of `text` before its first CR or 0x1A.
size_t plainPrefix(const char* text, size_t size) {
  const void* cr = std::memchr(text, '\r', size);
  size_t limit = cr != nullptr ? static_cast<size_t>(static_cast<const char*>(cr) - text) : size;
  const void* eof = std::memchr(text, kCtrlZ, limit);
  return eof != nullptr ? static_cast<size_t>(static_cast<const char*>(eof) - text) : limit;
}

bool isLineByte(char c) { return c == '\n' || c == '\r' || c == kCtrlZ; }

#if defined(__SSE2__)
// A bit per byte of the 16 at `text` that is an LF, a CR or a 0x1A.
unsigned lineByteHits(const char* text) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
  hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kCtrlZ)));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The index of the first LF, CR or 0x1A of the `size` bytes at `text`;
// `size` when there is none.  With SSE2, by blocks of 16, the last one
// overlapping the one before (the bytes read twice hold no hit).
size_t firstLineByte(const char* text, size_t size) {
  size_t i = 0;
#if defined(__SSE2__)
  if (size >= 16) {
    for (; i + 16 <= size; i += 16) {
      if (unsigned hits = lineByteHits(text + i); hits != 0) return i + __builtin_ctz(hits);
    }
    if (i == size) return size;
    unsigned hits = lineByteHits(text + size - 16);
    return hits != 0 ? size - 16 + __builtin_ctz(hits) : size;
  }
#endif
  while (i < size && !isLineByte(text[i])) ++i;
  return i;
}

}  // namespace

// Copies a line in runs: the bytes up to the LF are searched once for a CR
// or 0x1A, and the plain stretches between them are copied whole, so a
// CR LF line costs no more than an LF line.
TextReader::Result TextReader::readLine(char* line, size_t capacity, size_t& length) {
  length = 0;
  while (length + 1 < capacity) {
    if (pos_ >= end_ && !refill()) break;
    const char* start = buffer_.data() + pos_;
    size_t room = capacity - 1 - length;
    size_t available = end_ - pos_ < room ? end_ - pos_ : room;
    // The common line: one pass finds its LF, or the end of the bytes at
    // hand, before any CR or 0x1A.
    size_t first = firstLineByte(start, available);
    if (first == available || start[first] == '\n') {
      size_t run = first == available ? available : first + 1;
      std::memcpy(line + length, start, run);
      length += run;
      pos_ += run;
      if (first != available) break;
      continue;
    }
    const char* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    size_t run = newline != nullptr ? static_cast<size_t>(newline - start) + 1 : available;
    size_t plain = plainPrefix(start, run);
    std::memcpy(line + length, start, plain);
    length += plain;
    pos_ += plain;
    if (plain < run ? takeRest(line, length, run - plain) : newline != nullptr) break;
  }
  line[length] = '\0';
  if (failed_) return Result::kError;
  return length > 0 ? Result::kLine : Result::kEndOfFile;
}

// Takes the rest of a run, `run` bytes from a CR or 0x1A at pos_, dropping
// each CR directly before an LF; true when the line has ended.  A 0x1A, and
// a CR that is the run's last byte, are left to takeByte, which ends the
// text or reads on to see what follows the CR; the caller then goes on from
// wherever the buffer was left.
bool TextReader::takeRest(char* line, size_t& length, size_t run) {
  const char* start = buffer_.data() + pos_;
  size_t taken = 0;
  while (taken + 1 < run && start[taken] == '\r') {
    if (start[taken + 1] != '\n') line[length++] = '\r';
    ++taken;
    size_t plain = plainPrefix(start + taken, run - taken);
    std::memcpy(line + length, start + taken, plain);
    length += plain;
    taken += plain;
  }
  pos_ += taken;
  if (taken == run) return start[run - 1] == '\n';
  return takeByte(line, length);
}

Encoding TextReader::detectEncoding() {
  if (fd_ < 0) return Encoding::kCp932;
  std::vector<char> chunk(kReadChunk);
  Utf8Validator check;
  std::string start;
  for (;;) {
    ssize_t n = ::read(fd_, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::string_view text(chunk.data(), static_cast<size_t>(n));
    size_t stop = text.find(kCtrlZ);
    if (start.size() < kUtf8ByteOrderMark.size()) {
      start += text.substr(0, std::min(stop, kUtf8ByteOrderMark.size() - start.size()));
    }
    check.feed(text.substr(0, stop));
    if (stop != std::string_view::npos) break;
  }
  ::lseek(fd_, 0, SEEK_SET);
  pos_ = end_ = 0;
  ended_ = failed_ = false;
  if (start == kUtf8ByteOrderMark) return Encoding::kUtf8;
  return check.valid() && check.sawMultibyte() ? Encoding::kUtf8 : Encoding::kCp932;
}

// Takes one byte of a run that holds a CR or 0x1A; true when the line ends.
bool TextReader::takeByte(char* line, size_t& length) {
  char c = buffer_[pos_];
  if (c == kCtrlZ) {
    ended_ = true;
    pos_ = end_ = 0;
    return true;
  }
  if (c == '\r') {
    // A CR directly before an LF is dropped; look ahead one byte.
    if (pos_ + 1 >= end_ && !ended_) {
      refill();
      if (failed_) return true;
    }
    if (pos_ + 1 < end_ && buffer_[pos_ + 1] == '\n') {
      ++pos_;
      return false;
    }
  }
  line[length++] = c;
  ++pos_;
  return c == '\n';
}

FileWriter::~FileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileWriter::create(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  failed_ = fd_ < 0;
  used_ = 0;
  return fd_ >= 0;
}

void FileWriter::flush() {
  if (used_ > 0 && fd_ >= 0 && !writeAll(fd_, buffer_, used_)) failed_ = true;
  used_ = 0;
}

void FileWriter::write(std::string_view bytes) {
  if (bytes.size() >= sizeof buffer_) {
    flush();
    if (fd_ >= 0 && !writeAll(fd_, bytes.data(), bytes.size())) failed_ = true;
    return;
  }
  if (used_ + bytes.size() > sizeof buffer_) flush();
  std::memcpy(buffer_ + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

bool FileWriter::close() {
  if (fd_ < 0) return false;
  flush();
  if (::close(fd_) != 0) failed_ = true;
  fd_ = -1;
  return !failed_;
}

bool readFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>& out) {
  int fd = openForReading(path);
  if (fd < 0) return false;
  out.clear();
  bool ok = true;
  while (out.size() < limit) {
    size_t got = out.size();
    size_t want = limit - got < kReadChunk ? limit - got : kReadChunk;
    out.resize(got + want);
    ssize_t n = ::read(fd, out.data() + got, want);
    out.resize(got + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
  }
  ::close(fd);
  return ok;
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size) {
  std::string temp = directoryPart(path) + ".tallowc-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  TempFileGuard guard(temp);
  bool ok = writeAll(fd, static_cast<const char*>(data), size);
  ok = ::fchmod(fd, newFileMode()) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string makeTemporaryFile(const std::string& tmpdir) {
  std::string path = joinPath(tmpdir.empty() ? "/tmp" : tmpdir, "tallowc-XXXXXX");
  if (path.size() >= kPathLimit) return {};  // its name would not fit the job's field
  int fd = ::mkstemp(path.data());
  if (fd < 0) return {};
  ::close(fd);
  return path;
}

}  // namespace tallow
