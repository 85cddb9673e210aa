// The notes of a compiled song in time, for a player that follows the music:
// when each part's notes sound, at which pitch, and where in the sources
// they were written.  Made by the driver model, so the times are those the
// player plays (loops played out as the render plays them).
//
// Invariants: notes are in the order they start (parts in part order at one
// instant); a note sounds from `start` until `end` (seconds), its release or
// the stop of the render; `place` is empty when the table has no place for
// its event.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/note_positions.h"
#include "output/krb_reader.h"
#include "playback/playback.h"

namespace tallow::web {

struct TimedNote {
  uint8_t part = 0;
  uint8_t pitch = 0;
  double start = 0;
  double end = 0;
  std::optional<SourcePlace> place;
};

struct Timeline {
  std::vector<TimedNote> notes;
  double end = 0;          // seconds: where the render stops
  bool truncated = false;  // more notes than asked for: the rest are left out
};

// Plays `krb` with the model under `options` (every part heard) and collects
// at most `maxNotes` notes.  False, with a one-line reason, when the song is
// malformed.
bool buildTimeline(const KrbFile& krb, std::span<const uint8_t> bank,
                   const playback::Options& options, const NotePositions& positions,
                   size_t maxNotes, Timeline& out, std::string& error);

}  // namespace tallow::web
