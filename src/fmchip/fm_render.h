// Rendering of one channel over a block of chip samples: the eight
// algorithms, operator-1 feedback, the envelope on EG clocks and the LFO.
// The chip fills a BlockClock once per block (which samples carry an EG clock,
// the LFO wave values) and each sounding channel adds its output to the mix.
#pragma once

#include <array>
#include <cstdint>

#include "fmchip/fm_channel.h"

namespace tallow::fmchip {

constexpr int kBlockFrames = 128;

struct BlockClock {
  int frames = 0;
  std::array<uint8_t, kBlockFrames> egTick{};      // 1 where an EG clock falls
  std::array<uint32_t, kBlockFrames> egCounter{};  // the EG counter at that clock
  std::array<uint8_t, kBlockFrames> am{};          // AM wave, envelope steps 0-126
  std::array<int8_t, kBlockFrames> pm{};           // PM wave, -32..32
};

// Adds `channel`'s output (the sum of its carriers, each 14-bit signed) to
// `mixLeft` and `mixRight` according to its L/R bits, advancing its phases and
// envelopes over clock.frames samples.
void renderChannel(Channel& channel, const BlockClock& clock, int32_t* mixLeft, int32_t* mixRight);

}  // namespace tallow::fmchip
