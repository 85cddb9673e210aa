// The FM chip model rendered at its own rate and resampled to the output
// rate, with the resampler's delay taken off the start.
#include <algorithm>
#include <cmath>

#include "fmchip/fm_chip.h"
#include "fmchip/resampler.h"
#include "render/fm_sound.h"
#include "render/frame_clock.h"

namespace tallow::render {
namespace {

constexpr size_t kChipBlock = 1024;
constexpr size_t kImpulseFrames = 8192;
constexpr uint64_t kChipDivider = 144;  // chip clocks per sample

// Output frames by which the resampler delays its input: the position of the
// peak of its answer to an impulse at the first input frame.
size_t measureDelay(double inputRate, double outputRate) {
  fmchip::Resampler probe(inputRate, outputRate);
  std::vector<float> impulse(kImpulseFrames, 0.0f);
  impulse[0] = 1;
  std::vector<float> left, right;
  probe.process(impulse, impulse, left, right);
  size_t peak = 0;
  for (size_t i = 1; i < left.size(); ++i) {
    if (std::abs(left[i]) > std::abs(left[peak])) peak = i;
  }
  return peak;
}

class ChipFmSound final : public FmSound {
 public:
  ChipFmSound(uint32_t outputRate, bool metering)
      : resampler_(chip_.sampleRate(), outputRate),
        chipClock_(fmchip::FmChip::kDefaultClock, kChipDivider),
        drop_(measureDelay(chip_.sampleRate(), outputRate)),
        chipLeft_(kChipBlock),
        chipRight_(kChipBlock) {
    chip_.setMetering(metering);
  }

  void write(int port, uint8_t reg, uint8_t value) override { chip_.write(port, reg, value); }

  void advanceTo(playback::Tick tick) override {
    const uint64_t target = chipClock_.frameAt(tick);
    if (target > chipFrames_) generate(target - chipFrames_);
  }

  size_t ready() const override { return left_.size() - taken_; }

  void take(std::span<float> left, std::span<float> right, float gain) override {
    for (size_t i = 0; i < left.size(); ++i) {
      left[i] += left_[taken_ + i] * gain;
      right[i] += right_[taken_ + i] * gain;
    }
    taken_ += left.size();
    if (taken_ * 2 > left_.size()) {
      left_.erase(left_.begin(), left_.begin() + static_cast<ptrdiff_t>(taken_));
      right_.erase(right_.begin(), right_.begin() + static_cast<ptrdiff_t>(taken_));
      taken_ = 0;
    }
  }

  void extend(size_t frames) override {
    while (ready() < frames) generate(kChipBlock);
  }

  fmchip::FmChip::Energy takeEnergy() override { return chip_.takeEnergy(); }

 private:
  void generate(uint64_t frames) {
    while (frames > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(frames, kChipBlock));
      std::span<float> l(chipLeft_.data(), n), r(chipRight_.data(), n);
      chip_.generate(l, r);
      resampler_.process(l, r, left_, right_);
      chipFrames_ += n;
      frames -= n;
      dropDelay();
    }
  }

  void dropDelay() {
    const size_t n = std::min(drop_, left_.size() - taken_);
    if (n == 0) return;
    left_.erase(left_.begin() + static_cast<ptrdiff_t>(taken_),
                left_.begin() + static_cast<ptrdiff_t>(taken_ + n));
    right_.erase(right_.begin() + static_cast<ptrdiff_t>(taken_),
                 right_.begin() + static_cast<ptrdiff_t>(taken_ + n));
    drop_ -= n;
  }

  fmchip::FmChip chip_;
  fmchip::Resampler resampler_;
  FrameClock chipClock_;
  size_t drop_;
  uint64_t chipFrames_ = 0;
  std::vector<float> chipLeft_, chipRight_;
  std::vector<float> left_, right_;  // resampled, from `taken_` on not yet mixed
  size_t taken_ = 0;
};

}  // namespace

std::unique_ptr<FmSound> makeChipFmSound(uint32_t outputRate, bool metering) {
  return std::make_unique<ChipFmSound>(outputRate, metering);
}

}  // namespace tallow::render
