// Where the columns of a rewritten line came from, so that a message about
// the line the compiler reads can point into the line the user wrote.
//
// The preprocessor rewrites a line when it expands macros or puts a #with
// prefix before it.  A line's map is a list of stretches of the written
// line, in order: a stretch of copied text maps byte for byte to the source
// line; a stretch of inserted text (a macro's expansion, the prefix) maps
// every byte to the place where the insertion stands in the source line.
// Lines are named by their file (as the line markers show it) and number.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallow {

struct ColumnStretch {
  size_t written;  // where the stretch starts in the written line
  size_t source;   // where it comes from in the source line
  bool inserted;
};

class ColumnMaps {
 public:
  void add(const std::string& file, int line, std::vector<ColumnStretch> stretches) {
    maps_[{file, line}] = std::move(stretches);
  }
  // The offset in the source line of byte `offset` of the written line.
  size_t sourceOffset(const std::string& file, int line, size_t offset) const {
    auto found = maps_.find({file, line});
    if (found == maps_.end()) return offset;
    const ColumnStretch* at = nullptr;
    for (const ColumnStretch& s : found->second) {
      if (s.written > offset) break;
      at = &s;
    }
    if (at == nullptr) return offset;
    return at->inserted ? at->source : at->source + (offset - at->written);
  }

 private:
  std::map<std::pair<std::string, int>, std::vector<ColumnStretch>> maps_;
};

}  // namespace tallow
