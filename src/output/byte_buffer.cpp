// Growth of byte buffers: geometric, in whole steps, never past the cap.
#include "output/byte_buffer.h"

#include <cstring>

namespace tallow {

bool ByteBuffer::grow(size_t extra) {
  if (extra > kMaxBlockSize - length_) return false;
  size_t needed = length_ + extra;
  size_t grown = capacity_ + step_;
  if (grown < capacity_ * 2) grown = capacity_ * 2;
  if (grown < needed) grown = needed;
  grown = (grown + step_ - 1) / step_ * step_;
  if (grown > kMaxBlockSize) grown = needed;
  void* fresh = resizeBlock(*allocator_, data_, grown, capacity_);
  if (fresh == nullptr) return false;
  data_ = static_cast<uint8_t*>(fresh);
  capacity_ = grown;
  return true;
}

void ByteBuffer::putBytes(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  std::memmove(data_ + length_, bytes, count);
  length_ += count;
}

void ByteBuffer::release() {
  if (data_ != nullptr) allocator_->release(data_);
  data_ = nullptr;
  capacity_ = length_ = 0;
}

}  // namespace tallow
