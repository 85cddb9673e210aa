// The intermediate file's writer.  Everything the preprocessor writes to the file goes
// through one block that is handed to the file in large pieces, in the order
// things were written.
//
// A line can also be read straight into the free space at the block's end
// (reserve) and then made part of the output where it lies (commit), so that
// a line that no pass changes is never copied.  What was reserved stays
// valid until the next write, reserve or close.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "base/files.h"

namespace tallow {

class IntermediateWriter {
 public:
  // The most room one reserve may ask for.
  static constexpr size_t kRoomLimit = 1 << 14;

  // Writes to `file`, which must be open; close() closes it.
  explicit IntermediateWriter(FileWriter& file);

  void write(std::string_view bytes);
  // At least `room` (at most kRoomLimit) free bytes at the end of the
  // output, to be filled and then committed.
  char* reserve(size_t room) {
    if (!hasRoom(room)) flush();
    return block_.get() + used_;
  }
  // True when reserve(room) keeps the output written so far in the block.
  bool hasRoom(size_t room) const { return used_ < kPiece && room <= kCapacity - used_; }
  // The first `bytes` bytes of the space last reserved join the output.
  void commit(size_t bytes) { used_ += bytes; }
  // Hands over what is left and closes the file; false when any write
  // failed.
  bool close();

 private:
  // The block is handed over once it holds a piece of this size: the file
  // writer writes a piece of its own buffer's size or more straight to the
  // file, without copying it.  The room past it keeps every reserve and
  // most writes from handing over a smaller piece.  The block stays below
  // the size at which the allocator maps memory of its own, so that its
  // release leaves the heap as the compiler expects it.
  static constexpr size_t kPiece = 1 << 16;
  static constexpr size_t kCapacity = kPiece + kRoomLimit;

  void flush();

  FileWriter& file_;
  std::unique_ptr<char[]> block_;
  size_t used_ = 0;
};

}  // namespace tallow
