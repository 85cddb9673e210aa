// Writing to C streams, with failures remembered.
#include "base/out_stream.h"

#include "base/cp932.h"
#include "base/utf8.h"

namespace tallow {

void FileOutStream::write(std::string_view bytes) {
  if (file_ == nullptr || bytes.empty()) return;
  if (flushFirst_ != nullptr) flushFirst_->flush();
  // A UTF-8 console gets UTF-8 whatever a tool wrote: bytes that are not
  // UTF-8 are a user's CP932 text, shown converted.
  if (encoding() == Encoding::kUtf8 && !isValidUtf8(bytes)) {
    std::string shown = userTextToUtf8(bytes);
    if (std::fwrite(shown.data(), 1, shown.size(), file_) != shown.size()) failed_ = true;
    return;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

void FileOutStream::flush() {
  if (file_ != nullptr && std::fflush(file_) != 0) failed_ = true;
}

bool FileOutStream::close() {
  if (file_ == nullptr) return !failed_;
  if (std::fflush(file_) != 0) failed_ = true;
  if (owned_ && std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace tallow
