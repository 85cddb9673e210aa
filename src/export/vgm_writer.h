// The VGM export: the FM chip writes of a song as a VGM file (version 1.51,
// a YM2608 at 7 987 200 Hz), with waits in samples of 44 100 Hz, the total
// length, a loop when the song has one, and a GD3 tag with the title and
// artist.  PCM and BEEP parts are not in it: the format has no place for
// them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "playback/playback.h"

namespace tallow::playback {

constexpr uint32_t kVgmSampleRate = 44100;
constexpr uint32_t kVgmChipClock = 7987200;

// Whole samples of 44 100 Hz before `tick` (18 us a tick).
constexpr uint64_t ticksToSamples(Tick tick) {
  return tick / 5000 * 3969 + tick % 5000 * 3969 / 5000;
}

struct ChipWrite {
  Tick tick = 0;
  uint8_t port = 0, reg = 0, value = 0;
};

struct VgmSong {
  std::vector<ChipWrite> writes;  // in time order
  Tick end = 0;                   // the length; writes at or after it are left out
  std::optional<Tick> loopStart;  // the song loops from here to its end
  std::string title, artist;      // UTF-8
};

// The bytes of the VGM file.
std::vector<uint8_t> buildVgm(const VgmSong& song);

struct VgmResult {
  std::vector<uint8_t> bytes;
  bool looped = false;         // the file loops
  bool loopsDisagree = false;  // the FM parts loop differently: unrolled, no loop
  bool otherNotes = false;     // PCM or BEEP parts play notes, which are not in the file
};

// Plays `krb` with the model and builds its VGM file.  When every heard FM
// part that loops starts its loop at the same time with the same length, and
// the others have ended by then, the file holds one pass and loops; otherwise
// the loops are unrolled `options.loops` times.  False with `error` on a
// malformed stream.
bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const Options& options,
               VgmResult& result, std::string& error);

}  // namespace tallow::playback
