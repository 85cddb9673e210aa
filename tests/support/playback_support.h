// Helpers for the driver model's tests: compiling MML in-process, writing
// KRB files and tone banks by hand, and playing them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "playback/playback.h"

namespace tallow::testing {

// Compiles `mml` as song.mml in a scratch directory; the KRB file's bytes
// (empty when the compile failed: `messages` says why).
std::vector<uint8_t> compileMml(std::string_view mml, std::string* messages = nullptr);

// A KRB file holding `streams` (each without its end code; one is added),
// FM1 first; parts not given hold only the end code.
std::vector<uint8_t> makeKrb(const std::vector<std::vector<uint8_t>>& streams, int zenlen = 384);

// A 6152-byte bank whose record `index` is `record` (48 bytes).
std::vector<uint8_t> makeBank(int index, const std::array<uint8_t, 48>& record);

struct Played {
  std::vector<playback::Event> events;
  playback::Summary summary;
  std::string error;
};

Played play(const std::vector<uint8_t>& krb, const std::vector<uint8_t>& bank = {},
            playback::Options options = {});

// The chip writes of `events` at or after `from`, of part `part`.
std::vector<playback::Event> writesOf(const std::vector<playback::Event>& events, int part);
// The events of one kind of one part.
std::vector<playback::Event> eventsOf(const std::vector<playback::Event>& events, int part,
                                      playback::EventKind kind);

}  // namespace tallow::testing
