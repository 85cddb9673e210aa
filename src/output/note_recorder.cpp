// The note recorder: events are found by walking a stream with the event
// length table, from an event boundary on.
#include "output/note_recorder.h"

#include <algorithm>

#include "output/krb_format.h"

namespace tallow {
namespace {

bool sounding(uint8_t code) { return isNoteCode(code) || code == kEventChord; }

uint32_t noteLength(std::span<const uint8_t> s, size_t at) {
  return static_cast<uint32_t>(s[at + 1] | s[at + 2] << 8);
}

// Finds the next sounding event at or after `pos` (its offset in `at`) and
// moves `pos` past it; false at the end code or where no event stands.
bool nextSounding(std::span<const uint8_t> s, size_t& pos, size_t& at) {
  while (pos < s.size()) {
    uint8_t code = s[pos];
    size_t length = kEventLength[code];
    if (length == 0 || length > s.size() - pos) return false;
    at = pos;
    pos += length;
    if (sounding(code)) return true;
  }
  return false;
}

}  // namespace

uint32_t NoteRecorder::fileIndex(const std::string& name) {
  if (last_ < table_.files.size() && table_.files[last_] == name) return last_;
  auto found = std::find(table_.files.begin(), table_.files.end(), name);
  if (found == table_.files.end()) found = table_.files.insert(found, name);
  last_ = static_cast<uint32_t>(found - table_.files.begin());
  return last_;
}

SourcePlace NoteRecorder::place(const std::string& file, uint32_t fileChanges, int32_t line,
                                size_t offset, const ColumnMaps& maps) {
  if (fileChanges != fileChanges_ || line != line_) {
    fileChanges_ = fileChanges;
    lineFile_ = fileIndex(file);
    line_ = line;
    stretches_ = maps.find(file, line);
  }
  size_t column = stretches_ != nullptr ? offsetThrough(*stretches_, offset) : offset;
  return SourcePlace{lineFile_, line, static_cast<int32_t>(column + 1)};
}

void NoteRecorder::appended(int part, const ByteBuffer& stream, const SourcePlace& place) {
  std::span<const uint8_t> s(stream.data(), stream.length());
  size_t pos = scanned_[part];
  size_t at = 0;
  while (nextSounding(s, pos, at)) {
    table_.parts[part].push_back({static_cast<uint32_t>(at), place});
  }
  scanned_[part] = s.size();
}

void NoteRecorder::repeated(int part, size_t start, size_t end, size_t escape, int32_t count) {
  std::vector<NotePlace>& entries = table_.parts[part];
  auto first = std::lower_bound(entries.begin(), entries.end(), start,
                                [](const NotePlace& p, size_t o) { return p.offset < o; });
  size_t from = static_cast<size_t>(first - entries.begin());
  size_t to = entries.size();
  size_t body = end - start;
  for (int32_t pass = 1; pass < count; ++pass) {
    size_t shift = body * static_cast<size_t>(pass);
    for (size_t i = from; i < to; ++i) {
      NotePlace copy = entries[i];
      if (pass == count - 1 && copy.offset >= escape) break;
      copy.offset += static_cast<uint32_t>(shift);
      entries.push_back(copy);
    }
  }
  scanned_[part] = end + body * static_cast<size_t>(count - 2) + (escape - start);
}

void NoteRecorder::optimized(int part, std::span<const uint8_t> before,
                             std::span<const uint8_t> after) {
  std::vector<NotePlace>& entries = table_.parts[part];
  std::vector<NotePlace> moved;
  size_t entry = 0, in = 0, out = 0, inAt = 0, outAt = 0;
  bool more = nextSounding(before, in, inAt);
  while (more && nextSounding(after, out, outAt)) {
    uint8_t code = after[outAt];
    while (more && before[inAt] != code) more = nextSounding(before, in, inAt);
    if (!more) break;
    size_t first = inAt;
    // A note of the result plays the notes of its pitch that add up to it.
    uint32_t total = isNoteCode(code) ? noteLength(before, inAt) : 0;
    more = nextSounding(before, in, inAt);
    while (more && isNoteCode(code) && before[inAt] == code && total < noteLength(after, outAt)) {
      total += noteLength(before, inAt);
      more = nextSounding(before, in, inAt);
    }
    while (entry < entries.size() && entries[entry].offset < first) ++entry;
    if (entry < entries.size() && entries[entry].offset == first) {
      moved.push_back({static_cast<uint32_t>(outAt), entries[entry].place});
    }
  }
  entries = std::move(moved);
}

void NoteRecorder::laidOut() {
  for (NotePlace& p : table_.parts[0])
    p.offset += static_cast<uint32_t>(krb_header::kStartEventSize);
}

}  // namespace tallow
