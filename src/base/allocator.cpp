// The standard heap as the compiler's allocation/release pair, and the
// block growth shared by event streams, envelopes and the output image.
#include "base/allocator.h"

#include <cstdlib>
#include <cstring>

namespace tallow {
namespace {

class HeapAllocator final : public Allocator {
 public:
  void* allocate(size_t size) override { return std::malloc(size == 0 ? 1 : size); }
  void release(void* block) override { std::free(block); }
  // realloc grows a large block in place or by remapping it, without copying.
  void* reallocate(void* block, size_t newSize, size_t) override {
    return std::realloc(block, newSize == 0 ? 1 : newSize);
  }
};

}  // namespace

void* Allocator::reallocate(void* block, size_t newSize, size_t oldSize) {
  void* fresh = allocate(newSize);
  if (fresh == nullptr) return nullptr;
  if (block != nullptr) {
    size_t keep = newSize < oldSize ? newSize : oldSize;
    if (keep > 0) std::memcpy(fresh, block, keep);
    release(block);
  }
  return fresh;
}

Allocator& heapAllocator() {
  static HeapAllocator heap;  // stateless: no mutable global state
  return heap;
}

void* resizeBlock(Allocator& allocator, void* block, size_t newSize, size_t oldSize) {
  if (newSize > kMaxBlockSize) return nullptr;
  return allocator.reallocate(block, newSize, oldSize);
}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
  if (this != &other) {
    reset();
    allocator_ = other.allocator_;
    data_ = other.data_;
    size_ = other.size_;
    other.allocator_ = nullptr;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void ByteBlock::adopt(Allocator& allocator, uint8_t* data, size_t size) {
  reset();
  allocator_ = &allocator;
  data_ = data;
  size_ = size;
}

void ByteBlock::reset() {
  if (data_ != nullptr) allocator_->release(data_);
  allocator_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace tallow
