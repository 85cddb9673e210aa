// Matching the driver loops of a part's data in one walk.
#include "playback/loop_map.h"

#include <algorithm>

#include "output/krb_format.h"

namespace tallow::playback {

LoopMap::LoopMap(std::span<const uint8_t> data) {
  constexpr uint32_t kUnmatched = UINT32_MAX;
  std::vector<size_t> open;                            // entries_ index of each open loop start
  std::vector<std::pair<size_t, size_t>> openEscapes;  // entries_ index, depth
  size_t pos = 0;
  while (pos < data.size()) {
    uint8_t code = data[pos];
    size_t length = kEventLength[code];
    if (code == kEventEnd || length == 0 || length > data.size() - pos) break;
    if (code == kEventLoopStart) {
      open.push_back(entries_.size());
      entries_.push_back({static_cast<uint32_t>(pos), kUnmatched});
    } else if (code == kEventLoopEscape) {
      openEscapes.emplace_back(entries_.size(), open.size());
      entries_.push_back({static_cast<uint32_t>(pos), kUnmatched});
    } else if (code == kEventLoopEnd && !open.empty()) {
      entries_[open.back()].end = static_cast<uint32_t>(pos);
      while (!openEscapes.empty() && openEscapes.back().second == open.size()) {
        entries_[openEscapes.back().first].end = static_cast<uint32_t>(pos);
        openEscapes.pop_back();
      }
      open.pop_back();
    }
    pos += length;
  }
  std::erase_if(entries_, [](const Entry& e) { return e.end == kUnmatched; });
}

std::optional<uint32_t> LoopMap::loopEnd(uint32_t offset) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), offset,
                             [](const Entry& e, uint32_t at) { return e.offset < at; });
  if (it == entries_.end() || it->offset != offset) return std::nullopt;
  return it->end;
}

}  // namespace tallow::playback
