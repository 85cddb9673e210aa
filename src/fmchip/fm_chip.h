// A model of a six-channel FM chip of the OPN family (OPNA-style: two ports
// of three channels, port 0 also holding the global registers), driven by
// register writes and rendered at the chip's own rate, clock / 144.
//
// Modelled: four operators per channel, the eight algorithms, operator-1
// feedback, multiple and detune, total level, the envelope generator on its
// own clock (every third sample) with key scaling and SSG-EG, F-number and
// block with the high byte latched until the low byte is written, the
// channel-3 mode with per-operator frequencies, key on/off (28h), the LFO
// (22h) with AM and PM, and the L/R output bits.  The SSG, rhythm and ADPCM
// sections and the timers are not part of it: their registers are accepted
// and ignored, as is every unknown register.
//
// Every write of any register and value is harmless; the same writes give the
// same samples.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "fmchip/fm_channel.h"
#include "fmchip/fm_render.h"

namespace tallow::fmchip {

class FmChip {
 public:
  static constexpr uint32_t kDefaultClock = 7987200;
  static constexpr int kChannels = 6;

  explicit FmChip(uint32_t clockHz = kDefaultClock);
  double sampleRate() const;  // clock / 144
  void reset();
  void write(int port, uint8_t reg, uint8_t value);  // port 0 or 1
  // Renders left.size() (== right.size()) frames at the chip's own rate;
  // overwrites the spans.  One full-level carrier peaks at kChannelFullScale;
  // carriers and channels add up unclipped (at most kMaxOutput).  Should the
  // sizes differ, the longer span's extra frames are set to 0.
  void generate(std::span<float> left, std::span<float> right);

  // Metering, off unless asked (the sound is the same either way): each
  // channel's sum of squares of its output (both sides, full scale 1) over
  // the frames rendered since the last take.
  struct Energy {
    std::array<double, kChannels> sums{};
    uint64_t frames = 0;
  };
  void setMetering(bool on) { metering_ = on; }
  Energy takeEnergy() { return std::exchange(energy_, Energy{}); }

  // One full-level carrier peaks at about this (a 14-bit operator output in
  // a 16-bit scale).
  static constexpr float kChannelFullScale = 8191.0f / 32768.0f;
  // Six channels of four full-level carriers each, in phase.
  static constexpr float kMaxOutput = 24 * kChannelFullScale;

 private:
  void writeGlobal(uint8_t reg, uint8_t value);
  void writeOperator(int channel, uint8_t reg, uint8_t value);
  void writeFrequency(int port, uint8_t reg, uint8_t value);
  void writeChannel(int channel, uint8_t reg, uint8_t value);
  void writeKeyOnOff(uint8_t value);
  void refreshFrequencies(int channel);
  void fillClock(int frames);
  void renderBlock(float* left, float* right, int frames);
  void meterChannel(int channel, int frames);

  uint32_t clock_;
  std::array<Channel, kChannels> channels_{};
  // Channel 3's per-operator frequencies (operators 1-3; operator 4 uses the
  // channel's own), their latches, and the mode from register 27h.
  std::array<uint16_t, 3> ch3Fnum_{};
  std::array<uint8_t, 3> ch3Block_{}, ch3Latch_{};
  bool ch3Special_ = false;
  bool lfoOn_ = false;
  uint8_t lfoRate_ = 0;
  int lfoStep_ = 0;     // 0 .. kLfoSteps - 1
  int lfoDivider_ = 0;  // samples since the step last moved
  uint32_t egCounter_ = 0;
  int egDivider_ = 0;
  BlockClock blockClock_{};
  std::array<int32_t, kBlockFrames> mixLeft_{}, mixRight_{};
  bool metering_ = false;
  Energy energy_;
};

}  // namespace tallow::fmchip
