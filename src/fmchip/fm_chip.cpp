// Register decoding and the block loop of the FM chip.  Writes go straight
// into the channel and operator state (derived values such as increments and
// rates are recomputed at once); generate() renders blocks of kBlockFrames
// samples, in which the global EG and LFO counters are laid out first and
// each channel that can sound renders on its own.
#include "fmchip/fm_chip.h"

#include <algorithm>

#include "output/fm_registers.h"
#include "output/fmb_format.h"

namespace tallow::fmchip {
namespace {

namespace reg = tallow::fm_register;
namespace field = tallow::fm_field;

// Below the operator registers lie the global ones (port 0 only).
constexpr uint8_t kFirstOperatorRegister = reg::kDetuneMultiple;
// Operator index (0-3) of channel 3's extra frequency registers +0, +1, +2.
constexpr std::array<int, 3> kCh3Operator = {2, 0, 1};
// The EG runs on every third sample.
constexpr int kEgDivider = 3;
constexpr int kChip3Channel = 2;

bool allDormant(const Channel& ch) {
  return std::all_of(ch.op.begin(), ch.op.end(), [](const Operator& op) { return isDormant(op); });
}

}  // namespace

FmChip::FmChip(uint32_t clockHz) : clock_(clockHz) { reset(); }

double FmChip::sampleRate() const { return clock_ / 144.0; }

void FmChip::reset() {
  channels_ = {};
  for (int ch = 0; ch < kChannels; ++ch) {
    for (Operator& op : channels_[ch].op) updateRates(op);
  }
  ch3Fnum_ = {};
  ch3Block_ = ch3Latch_ = {};
  ch3Special_ = lfoOn_ = false;
  lfoRate_ = 0;
  lfoStep_ = lfoDivider_ = 0;
  egCounter_ = 0;
  egDivider_ = 0;
}

void FmChip::write(int port, uint8_t reg, uint8_t value) {
  if (port != 0 && port != 1) return;
  if (reg < kFirstOperatorRegister) {
    if (port == 0) writeGlobal(reg, value);
    return;
  }
  const int slotChannel = reg & 3;
  if (reg >= reg::kFrequencyLow && reg < reg::kFeedbackAlgorithm) {
    writeFrequency(port, reg, value);
  } else if (slotChannel == 3) {
    return;  // the fourth address of every group is unused
  } else if (reg < reg::kFrequencyLow) {
    writeOperator(port * 3 + slotChannel, reg, value);
  } else if (reg < reg::kOutputModulation + 3) {
    writeChannel(port * 3 + slotChannel, reg, value);
  }
}

void FmChip::writeGlobal(uint8_t reg, uint8_t value) {
  if (reg == reg::kLfo) {
    lfoOn_ = value & 8;
    lfoRate_ = value & 7;
    if (!lfoOn_) lfoStep_ = lfoDivider_ = 0;  // a stopped LFO rests at the start of its wave
  } else if (reg == reg::kTimerControl) {
    const bool special = (value >> 6) != 0;  // the CSM mode plays like the special mode
    if (special != ch3Special_) {
      ch3Special_ = special;
      refreshFrequencies(kChip3Channel);
    }
  } else if (reg == reg::kKeyOnOff) {
    writeKeyOnOff(value);
  }
}

void FmChip::writeKeyOnOff(uint8_t value) {
  const int code = value & 7;
  if ((code & 3) == 3) return;  // no channel
  Channel& ch = channels_[(code >> 2) * 3 + (code & 3)];
  for (int bit = 0; bit < 4; ++bit) {
    // Bits 4-7 are operators 1-4.
    Operator& op = ch.op[bit];
    if (value & (0x10 << bit)) {
      keyOn(op);
    } else {
      keyOff(op);
    }
    updateVolume(op, std::max(ch.amLevel, 0));
  }
}

void FmChip::writeOperator(int channel, uint8_t reg, uint8_t value) {
  Channel& ch = channels_[channel];
  Operator& op = ch.op[kOperatorSlotOrder[(reg >> 2) & 3]];
  switch (reg & 0xF0) {
    case reg::kDetuneMultiple:
      op.detune = field::kDetune.get(value);
      op.multiple = field::kMultiple.get(value);
      updateIncrement(op, ch.pms, ch.pmStep);
      break;
    case reg::kTotalLevel:
      op.totalLevel = field::kTotalLevel.get(value);
      updateVolume(op, std::max(ch.amLevel, 0));
      break;
    case reg::kKeyScaleAttack:
      op.keyScale = field::kKeyScale.get(value);
      op.attackRate = field::kAttackRate.get(value);
      updateRates(op);
      break;
    case reg::kAmDecay:
      op.amOn = field::kAmEnable.get(value) != 0;
      op.decayRate = field::kDecayRate.get(value);
      updateRates(op);
      updateVolume(op, std::max(ch.amLevel, 0));
      break;
    case reg::kSustainRate:
      op.sustainRate = field::kSustainRate.get(value);
      updateRates(op);
      break;
    case reg::kSustainRelease:
      op.sustainLevel = field::kSustainLevel.get(value);
      op.releaseRate = field::kReleaseRate.get(value);
      updateRates(op);
      settlePhase(op);
      break;
    case reg::kSsgEnvelope:
      op.ssgEg = field::kSsgEnvelope.get(value);
      updateRates(op);
      updateVolume(op, std::max(ch.amLevel, 0));
      break;
  }
}

void FmChip::writeFrequency(int port, uint8_t reg, uint8_t value) {
  const int index = reg & 3;
  if (index == 3) return;
  const int group = reg & 0xFC;
  if (group == reg::kFrequencyHigh) {
    channels_[port * 3 + index].frequencyLatch = value & 0x3F;
  } else if (group == reg::kFrequencyLow) {
    Channel& ch = channels_[port * 3 + index];
    ch.fnum = static_cast<uint16_t>(field::kFnumHigh.get(ch.frequencyLatch) << 8 | value);
    ch.block = field::kBlock.get(ch.frequencyLatch);
    refreshFrequencies(port * 3 + index);
  } else if (port == 0 && group == reg::kCh3FrequencyHigh) {
    ch3Latch_[index] = value & 0x3F;
  } else if (port == 0 && group == reg::kCh3FrequencyLow) {
    const int op = kCh3Operator[index];
    ch3Fnum_[op] = static_cast<uint16_t>(field::kFnumHigh.get(ch3Latch_[index]) << 8 | value);
    ch3Block_[op] = field::kBlock.get(ch3Latch_[index]);
    refreshFrequencies(kChip3Channel);
  }
}

void FmChip::writeChannel(int channel, uint8_t reg, uint8_t value) {
  Channel& ch = channels_[channel];
  if ((reg & 0xFC) == reg::kFeedbackAlgorithm) {
    ch.feedback = field::kFeedback.get(value);
    ch.algorithm = field::kAlgorithm.get(value);
  } else {
    ch.left = (field::kOutput.get(value) & 2) != 0;
    ch.right = (field::kOutput.get(value) & 1) != 0;
    ch.ams = field::kAms.get(value);
    ch.pms = field::kPms.get(value);
    ch.amLevel = -1;  // the next EG clock applies the new AMS
    for (Operator& op : ch.op) updateIncrement(op, ch.pms, ch.pmStep);
  }
}

void FmChip::refreshFrequencies(int channel) {
  Channel& ch = channels_[channel];
  for (int i = 0; i < 4; ++i) {
    const bool own = ch3Special_ && channel == kChip3Channel && i < 3;
    setOperatorFrequency(ch.op[i], own ? ch3Fnum_[i] : ch.fnum, own ? ch3Block_[i] : ch.block,
                         ch.pms, ch.pmStep);
  }
}

void FmChip::fillClock(int frames) {
  BlockClock& c = blockClock_;
  c.frames = frames;
  for (int s = 0; s < frames; ++s) {
    const bool tick = ++egDivider_ == kEgDivider;
    if (tick) egDivider_ = 0;
    c.egTick[s] = tick;
    c.egCounter[s] = egCounter_ += tick;
  }
  if (!lfoOn_) {
    // A stopped LFO modulates nothing.
    std::fill_n(c.am.begin(), frames, 0);
    std::fill_n(c.pm.begin(), frames, 0);
    return;
  }
  for (int s = 0; s < frames; ++s) {
    c.am[s] = static_cast<uint8_t>(lfoAm(lfoStep_));
    c.pm[s] = static_cast<int8_t>(lfoPm(lfoStep_));
    if (++lfoDivider_ >= kLfoPeriod[lfoRate_]) {
      lfoDivider_ = 0;
      lfoStep_ = (lfoStep_ + 1) & (kLfoSteps - 1);
    }
  }
}

void FmChip::renderBlock(float* left, float* right, int frames) {
  fillClock(frames);
  std::fill_n(mixLeft_.begin(), frames, 0);
  std::fill_n(mixRight_.begin(), frames, 0);
  for (int c = 0; c < kChannels; ++c) {
    Channel& ch = channels_[c];
    if (allDormant(ch)) {
      // Nothing changes in a channel that cannot sound until a key-on, which
      // resets the phases; only operator 1's feedback history is silence.
      ch.fb1 = ch.fb2 = 0;
      continue;
    }
    if (metering_) {
      meterChannel(c, frames);
    } else {
      renderChannel(ch, blockClock_, mixLeft_.data(), mixRight_.data());
    }
  }
  if (metering_) energy_.frames += static_cast<uint64_t>(frames);
  // No clipping here: the sum of up to 24 carriers stays exact, and the
  // caller limits its final mix.
  constexpr float kScale = 1.0f / 32768.0f;
  for (int s = 0; s < frames; ++s) {
    left[s] = static_cast<float>(mixLeft_[s]) * kScale;
    right[s] = static_cast<float>(mixRight_[s]) * kScale;
  }
}

// Renders a channel on its own, then adds it to the mix: integer sums, so
// the mix is the same as when the channels add straight into it.
void FmChip::meterChannel(int channel, int frames) {
  std::array<int32_t, kBlockFrames> left{}, right{};
  renderChannel(channels_[channel], blockClock_, left.data(), right.data());
  double sum = 0;
  for (int s = 0; s < frames; ++s) {
    mixLeft_[s] += left[s];
    mixRight_[s] += right[s];
    sum += static_cast<double>(left[s]) * left[s] + static_cast<double>(right[s]) * right[s];
  }
  energy_.sums[channel] += sum / (32768.0 * 32768.0);
}

void FmChip::generate(std::span<float> left, std::span<float> right) {
  const size_t frames = std::min(left.size(), right.size());
  for (size_t done = 0; done < frames;) {
    const int n = static_cast<int>(std::min<size_t>(kBlockFrames, frames - done));
    renderBlock(left.data() + done, right.data() + done, n);
    done += n;
  }
  std::fill(left.begin() + frames, left.end(), 0.0f);
  std::fill(right.begin() + frames, right.end(), 0.0f);
}

}  // namespace tallow::fmchip
