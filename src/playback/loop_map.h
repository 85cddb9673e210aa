// The driver loops of one part's data, matched once before playing: for each
// loop start (0x95) and each escape (0x9B), the offset of the loop end (0x96)
// that closes it.  The walk follows the events in file order up to the end
// code, an undefined code or the end of the data; loops it leaves open stay
// unmatched (playing them is an error when it gets there).
//
// Invariant: the entries are sorted by offset, so a lookup is a binary
// search and building them is linear in the data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tallow::playback {

class LoopMap {
 public:
  explicit LoopMap(std::span<const uint8_t> data);
  // The offset of the loop end matching the loop start or escape at `offset`.
  std::optional<uint32_t> loopEnd(uint32_t offset) const;

 private:
  struct Entry {
    uint32_t offset;
    uint32_t end;
  };
  std::vector<Entry> entries_;
};

}  // namespace tallow::playback
