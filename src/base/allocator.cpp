// The standard heap as the compiler's allocation/release pair, and the
// block growth shared by event streams, envelopes and the output image.
#include "base/allocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tallow {
namespace {

// The output image of a large score is written once from end to end: backed
// by huge pages it takes a page fault per 2 MiB instead of per 4 KiB, which
// on some machines costs more than laying the bytes out.  Growing blocks (the
// streams) are left alone: a huge page at each one's growing end would hold
// up to 2 MiB that is never written.  The hint changes no byte; where it is
// refused nothing happens.
constexpr size_t kHugePageSize = size_t{2} << 20;
constexpr size_t kHugeBlockSize = 2 * kHugePageSize;

void adviseHugePages([[maybe_unused]] void* block, [[maybe_unused]] size_t size) {
#ifdef MADV_HUGEPAGE
  if (block == nullptr || size < kHugeBlockSize) return;
  uintptr_t start = reinterpret_cast<uintptr_t>(block);
  uintptr_t first = (start + kHugePageSize - 1) & ~(kHugePageSize - 1);
  uintptr_t last = (start + size) & ~(kHugePageSize - 1);
  if (first < last) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

class HeapAllocator final : public Allocator {
 public:
  void* allocate(size_t size) override {
    void* block = std::malloc(size == 0 ? 1 : size);
    adviseHugePages(block, size);
    return block;
  }
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
