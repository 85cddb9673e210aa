// The FM parts' sound as the renderer takes it: register writes applied at
// the current time, and sound at the output rate ready to be mixed.
//
// The chip runs at its own rate (clock / 144); its sound is resampled to the
// output rate.  The resampler's delay is measured once (an impulse through a
// resampler of the same rates) and that many output frames are dropped at
// the start, so the FM parts line up with the PCM and BEEP parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "fmchip/fm_chip.h"
#include "playback/playback.h"

namespace tallow::render {

class FmSound {
 public:
  virtual ~FmSound() = default;
  virtual void write(int port, uint8_t reg, uint8_t value) = 0;
  // Produces the sound up to the instant of `tick`.
  virtual void advanceTo(playback::Tick tick) = 0;
  // Output frames produced and not yet taken.
  virtual size_t ready() const = 0;
  // Adds the next left.size() ready frames, times `gain`, into left and
  // right, and drops them.  left.size() <= ready().
  virtual void take(std::span<float> left, std::span<float> right, float gain) = 0;
  // Goes on past the last tick until at least `frames` frames are ready.
  virtual void extend(size_t frames) = 0;
  // Each FM part's output energy since the last call, when the sound was
  // made with metering; nothing otherwise.
  virtual fmchip::FmChip::Energy takeEnergy() { return {}; }
};

// The FM chip model behind a resampler to `outputRate`, with its channels
// metered when asked.
std::unique_ptr<FmSound> makeChipFmSound(uint32_t outputRate, bool metering = false);

}  // namespace tallow::render
