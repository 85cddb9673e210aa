// Recording where the note and chord events of each part's stream were
// written, while the streams are built, copied by loop expansion, optimised
// and laid out, so that the table (base/note_positions.h) names the events of
// the finished image.
//
// Invariants: `scanned(part)` is an event boundary of the part's stream;
// every sounding event before it that a command wrote has its entry, sorted
// by offset; the streams only grow while they are built (commands append
// whole events, loop expansion appends copies).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/column_map.h"
#include "base/note_positions.h"
#include "base/parts.h"
#include "output/byte_buffer.h"

namespace tallow {

class NoteRecorder {
 public:
  explicit NoteRecorder(NotePositions& table) : table_(table) {}

  // The index of a file name in the table, added when new.
  uint32_t fileIndex(const std::string& name);
  // The place of byte `offset` of line `line` of `file` as the compiler reads
  // it, through the preprocessor's column maps; the file and the map are
  // looked up once a line (`fileChanges` counts the reader's changes of file
  // name, so that an equal count means the same file).
  SourcePlace place(const std::string& file, uint32_t fileChanges, int32_t line, size_t offset,
                    const ColumnMaps& maps);
  // Records the events appended to `stream` since the part's last record,
  // all written by one command at `place`.
  void appended(int part, const ByteBuffer& stream, const SourcePlace& place);
  // The stream has just grown by `count` - 2 copies of its bytes from `start`
  // to `end` (its length before), then one copy of those up to `escape`: the
  // copies' events take the places of the events they copy.
  void repeated(int part, size_t start, size_t end, size_t escape, int32_t count);
  // The part's stream `before` became `after` in the optimiser: entries move
  // to the events that play them (a note joined with the notes tied to it
  // keeps the place of the first).
  void optimized(int part, std::span<const uint8_t> before, std::span<const uint8_t> after);
  // The streams were laid out: FM1's data starts at the start-of-song event.
  void laidOut();

 private:
  NotePositions& table_;
  std::array<size_t, kPartCount> scanned_{};
  uint32_t last_ = 0;  // the file named last
  // The line named last, its file and its column map.
  uint32_t fileChanges_ = UINT32_MAX;
  uint32_t lineFile_ = 0;
  int32_t line_ = 0;
  const std::vector<ColumnStretch>* stretches_ = nullptr;
};

}  // namespace tallow
