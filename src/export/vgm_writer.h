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

#include "export/byte_sink.h"
#include "playback/playback.h"

namespace tallow::exports {

constexpr uint32_t kVgmSampleRate = 44100;
constexpr uint32_t kVgmChipClock = 7987200;

// Whole samples of 44 100 Hz before `tick` (18 us a tick).
constexpr uint64_t ticksToSamples(playback::Tick tick) {
  return tick / 5000 * 3969 + tick % 5000 * 3969 / 5000;
}

struct ChipWrite {
  playback::Tick tick = 0;
  uint8_t port = 0, reg = 0, value = 0;
};

// What shapes the file around the writes: its length (writes at or after
// it are left out), its loop and its tag.
struct VgmLayout {
  playback::Tick end = 0;
  std::optional<playback::Tick> loopStart;  // the song loops from here to its end
  std::string title, artist;                // UTF-8
};

struct VgmSong : VgmLayout {
  std::vector<ChipWrite> writes;  // in time order
};

// The bytes of the VGM file.
std::vector<uint8_t> buildVgm(const VgmSong& song);

// The largest VGM file: its size fields count in 32 bits.
constexpr uint64_t kMaxVgmBytes = 0xFFFFFFFFull;

struct VgmResult {
  std::vector<uint8_t> bytes;  // filled by the overload without a sink
  bool looped = false;         // the file loops
  bool loopsDisagree = false;  // the FM parts loop differently: unrolled, no loop
  bool otherNotes = false;     // PCM or BEEP parts play notes, which are not in the file
  std::array<std::optional<playback::SilentTone>, kPartCount>
      silentTone;  // as the model found them
};

// Plays `krb` with the model and writes its VGM file to `out` as it is
// made: the model plays the song three times (the loop and the length; the
// size of the data; the file), so that the header is complete before the
// first byte is written and memory does not grow with the song.  When every
// heard FM part that loops starts its loop at the same time with the same
// length, and the others have ended by then, the file holds one pass and
// loops; otherwise the loops are unrolled `options.loops` times.  False with
// `error` on a malformed stream or a file too large for the format (then
// nothing has been written).
bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
               ByteSink& out, VgmResult& result, std::string& error);
bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
               VgmResult& result, std::string& error);

}  // namespace tallow::exports
