// Writing to C streams, with failures remembered.
#include "base/out_stream.h"

namespace tallow {

void FileOutStream::write(std::string_view bytes) {
  if (file_ == nullptr || bytes.empty()) return;
  if (flushFirst_ != nullptr) flushFirst_->flush();
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
