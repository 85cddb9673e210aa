// Converting the driver's ticks (18 microseconds each) into frames of a
// sample rate given as a fraction, exactly, in integer arithmetic: the frame
// at or before the instant of a tick.  The chip's rate is its clock / 144,
// which is no whole number, so rates are fractions.
#pragma once

#include <cstdint>
#include <numeric>

#include "playback/playback.h"

namespace tallow::render {

class FrameClock {
 public:
  // Frames per second = rateNumerator / rateDenominator.
  constexpr FrameClock(uint64_t rateNumerator, uint64_t rateDenominator) {
    uint64_t num = rateNumerator * playback::kTickNanoseconds;
    uint64_t den = rateDenominator * kNanosecondsPerSecond;
    const uint64_t g = std::gcd(num, den);
    num_ = num / g;
    den_ = den / g;
  }

  constexpr uint64_t frameAt(playback::Tick tick) const {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(tick) * num_ / den_);
  }

 private:
  static constexpr uint64_t kNanosecondsPerSecond = 1000000000;
  uint64_t num_ = 0;
  uint64_t den_ = 1;
};

}  // namespace tallow::render
