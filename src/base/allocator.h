// The allocation/release pair through which the compiler obtains its growable
// buffers (event streams, envelope byte strings, the output image).
//
// The driver installs the standard heap's pair; tests install one that fails
// on purpose.  No block may grow beyond kMaxBlockSize: a growth past it is
// refused before anything is allocated, like a failed allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallow {

constexpr size_t kMaxBlockSize = 0x7FFFFFFF;

class Allocator {
 public:
  virtual ~Allocator() = default;
  // Returns a block of `size` bytes, or nullptr when none can be had.
  virtual void* allocate(size_t size) = 0;
  virtual void release(void* block) = 0;
  // Moves `block` (`oldSize` bytes, or none) into a block of `newSize`
  // bytes, keeping its contents; nullptr, with `block` untouched, on failure.
  // By default a fresh block, a copy and a release.
  virtual void* reallocate(void* block, size_t newSize, size_t oldSize);
};

// The standard heap's pair (malloc and free).  Its fresh blocks of 4 MiB and
// more (the output image) are backed by huge pages where the system offers
// them.
Allocator& heapAllocator();

// Allocates `newSize` bytes, copies the smaller of `newSize` and `oldSize`
// bytes from `block` (when there is one), releases `block` and returns the new
// block.  Returns nullptr, leaving `block` untouched, when the allocation fails
// or `newSize` is above kMaxBlockSize.
void* resizeBlock(Allocator& allocator, void* block, size_t newSize, size_t oldSize);

// A byte block owned through an Allocator.
class ByteBlock {
 public:
  ByteBlock() = default;
  ByteBlock(const ByteBlock&) = delete;
  ByteBlock& operator=(const ByteBlock&) = delete;
  ByteBlock(ByteBlock&& other) noexcept { *this = static_cast<ByteBlock&&>(other); }
  ByteBlock& operator=(ByteBlock&& other) noexcept;
  ~ByteBlock() { reset(); }

  // Takes ownership of `data` (obtained from `allocator`).
  void adopt(Allocator& allocator, uint8_t* data, size_t size);
  void reset();
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return data_ == nullptr; }

 private:
  Allocator* allocator_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace tallow
