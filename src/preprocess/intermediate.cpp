// The intermediate file's writer: a block handed to the file in pieces of
// 64 KiB or a little more, which the file writer passes on without a copy.
#include "preprocess/intermediate.h"

#include <cstring>

namespace tallow {

IntermediateWriter::IntermediateWriter(FileWriter& file)
    : file_(file), block_(new char[kCapacity]) {}

void IntermediateWriter::flush() {
  if (used_ > 0) file_.write(std::string_view(block_.get(), used_));
  used_ = 0;
}

void IntermediateWriter::write(std::string_view bytes) {
  if (bytes.empty()) return;
  if (used_ >= kPiece || bytes.size() > kCapacity - used_) {
    flush();
    if (bytes.size() > kCapacity) {
      file_.write(bytes);
      return;
    }
  }
  std::memcpy(block_.get() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

bool IntermediateWriter::close() {
  flush();
  return file_.close();
}

}  // namespace tallow
