// Where the columns of a rewritten line came from, so that a message about
// the line the compiler reads can point into the line the user wrote.
//
// The preprocessor rewrites a line when it expands macros or puts a #with
// prefix before it.  A line's map is a list of stretches of the written
// line, in order: a stretch of copied text maps byte for byte to the source
// line; a stretch of inserted text (a macro's expansion, the prefix) maps
// every byte to the place where the insertion stands in the source line.
// Lines are named by their file, as the compiler reads it back from the
// line markers (without the blank an opening quote leaves), and number.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
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

// The offset in the source line of byte `offset` of a line written with
// `stretches` (none: copied whole), which are in the order written.
inline size_t offsetThrough(const std::vector<ColumnStretch>& stretches, size_t offset) {
  auto after = std::upper_bound(stretches.begin(), stretches.end(), offset,
                                [](size_t o, const ColumnStretch& s) { return o < s.written; });
  if (after == stretches.begin()) return offset;
  const ColumnStretch& at = *(after - 1);
  return at.inserted ? at.source : at.source + (offset - at.written);
}

// The stretches of a line written in two rewrites: `outer` maps it to the
// text the first rewrite wrote, `inner` maps that text to the source line.
inline std::vector<ColumnStretch> composeStretches(const std::vector<ColumnStretch>& outer,
                                                   const std::vector<ColumnStretch>& inner) {
  if (outer.empty() || inner.empty()) return outer.empty() ? inner : outer;
  std::vector<ColumnStretch> out;
  for (size_t i = 0; i < outer.size(); ++i) {
    const ColumnStretch& o = outer[i];
    out.push_back({o.written, offsetThrough(inner, o.source), o.inserted});
    if (o.inserted) continue;
    // The inner stretches that start within this copied stretch.
    size_t end = i + 1 < outer.size() ? o.source + (outer[i + 1].written - o.written) : SIZE_MAX;
    auto s = std::upper_bound(inner.begin(), inner.end(), o.source,
                              [](size_t at, const ColumnStretch& c) { return at < c.written; });
    for (; s != inner.end() && s->written < end; ++s) {
      out.push_back({o.written + (s->written - o.source), s->source, s->inserted});
    }
  }
  return out;
}

class ColumnMaps {
 public:
  void add(std::string_view file, int line, std::vector<ColumnStretch> stretches) {
    file.remove_prefix(std::min(file.find_first_not_of(" \t"), file.size()));
    maps_[{std::string(file), line}] = std::move(stretches);
  }
  // The stretches of a written line; null when it was copied whole.  The
  // pointer stays valid while the maps live (no line is added twice).
  const std::vector<ColumnStretch>* find(const std::string& file, int line) const {
    if (maps_.empty()) return nullptr;
    auto found = maps_.find({file, line});
    return found == maps_.end() ? nullptr : &found->second;
  }
  // The offset in the source line of byte `offset` of the written line.
  size_t sourceOffset(const std::string& file, int line, size_t offset) const {
    const std::vector<ColumnStretch>* stretches = find(file, line);
    return stretches == nullptr ? offset : offsetThrough(*stretches, offset);
  }

 private:
  std::map<std::pair<std::string, int>, std::vector<ColumnStretch>> maps_;
};

}  // namespace tallow
