// Where in the sources each sounding event of a compiled song was written.
// The KRB carries no source positions; a compile fills this table on request
// (CompileJob::notePositions), for players that follow the music in an
// editor.
//
// Invariants: each part's entries are sorted by offset, at most one per
// event; an offset is that of a note or chord event in the part's data as
// the KRB's part table gives it (FM1's data starts with the start-of-song
// event); `file` indexes `files`, which hold the names the line markers
// show; lines and columns count from 1.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/parts.h"

namespace tallow {

struct SourcePlace {
  uint32_t file = 0;
  int32_t line = 0;
  int32_t column = 0;
  bool operator==(const SourcePlace&) const = default;
};

struct NotePlace {
  uint32_t offset = 0;
  SourcePlace place;
};

struct NotePositions {
  std::vector<std::string> files;
  std::array<std::vector<NotePlace>, kPartCount> parts;

  // The place of the event at `offset` of `part`; null when none is known.
  const SourcePlace* at(int part, uint32_t offset) const {
    if (part < 0 || part >= kPartCount) return nullptr;
    const std::vector<NotePlace>& list = parts[part];
    auto found = std::lower_bound(list.begin(), list.end(), offset,
                                  [](const NotePlace& p, uint32_t o) { return p.offset < o; });
    return found != list.end() && found->offset == offset ? &found->place : nullptr;
  }
};

}  // namespace tallow
