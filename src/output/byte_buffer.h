// A growable byte buffer whose memory comes from the installed Allocator:
// the event stream of a part, and the byte string of an envelope.
//
// Invariant: length() <= capacity().  Growth happens in whole steps of the
// buffer's step size; it doubles the capacity when that is more, so that
// appending stays linear however long a stream grows.  No buffer grows beyond
// kMaxBlockSize: reserve() fails instead, before allocating.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/allocator.h"

namespace tallow {

class ByteBuffer {
 public:
  explicit ByteBuffer(size_t step = 1024) : step_(step) {}
  ~ByteBuffer() { release(); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  void setAllocator(Allocator& allocator) { allocator_ = &allocator; }

  // Makes room for `extra` more bytes; false when the memory cannot be had.
  bool reserve(size_t extra) { return hasRoom(extra) || grow(extra); }
  bool hasRoom(size_t extra) const { return extra <= capacity_ - length_; }
  void put(uint8_t byte) { data_[length_++] = byte; }
  // The next `count` bytes, appended as they are written through the
  // pointer (room must have been made); one update of the length instead of
  // one per byte, which the stores through a byte pointer would otherwise
  // force the compiler to reload.
  uint8_t* append(size_t count) {
    uint8_t* at = data_ + length_;
    length_ += count;
    return at;
  }
  void putBytes(const uint8_t* bytes, size_t count);

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t length() const { return length_; }
  bool empty() const { return data_ == nullptr; }
  void setLength(size_t length) { length_ = length; }
  // Releases the memory; the buffer is empty afterwards.
  void release();

 private:
  bool grow(size_t extra);

  Allocator* allocator_ = &heapAllocator();
  size_t step_;
  uint8_t* data_ = nullptr;
  size_t capacity_ = 0;
  size_t length_ = 0;
};

}  // namespace tallow
