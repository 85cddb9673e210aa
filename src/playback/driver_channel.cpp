// Register writes of one FM channel: tone set-up, volume on the carriers,
// pan, relative operator offsets, frequencies and keys.
#include "playback/driver_channel.h"

#include <algorithm>

#include "output/fm_registers.h"
#include "output/fmb_format.h"

namespace tallow::playback {
namespace {

namespace reg = fm_register;
namespace rec = tone_record;

namespace field = fm_field;

constexpr int kBlockMax = field::kBlock.maximum();
constexpr int kFnumMax = 2047;
constexpr uint8_t kLevelMax = field::kTotalLevel.maximum();
constexpr int kAttackMax = field::kAttackRate.maximum();
// The output field's values.
constexpr int kOutputBoth = 3;
constexpr int kOutputLeft = 2;
constexpr int kOutputRight = 1;
// The pan bytes of the one-sided commands: left 60 - 4n, right 67 + 4n
// (n = 0..15).  Every other byte comes from a centred pan and plays on both
// sides.  A byte of either set is also what some centred pan with an offset
// writes; the file cannot tell them apart, and the one-sided reading wins.
constexpr uint8_t kLeftPanStart = 60, kRightPanStart = 67, kPanStep = 4;
constexpr uint8_t kSpecialModeBit = 0x40;
// Which register slots are carriers, by algorithm (bit s: slot s).  Slots
// hold operators 1, 3, 2, 4.
constexpr std::array<uint8_t, 8> kCarrierSlots = {0x8, 0x8, 0x8, 0x8, 0xC, 0xE, 0xE, 0xF};
// Channel 3's operator frequency registers in its special mode, by operator
// 1-4: A9h, AAh, A8h (offsets from A8h) and the channel's own A2h.
constexpr std::array<int, 3> kCh3OperatorOffset = {1, 2, 0};

}  // namespace

const std::array<uint8_t, 48> kDefaultTone = {
    'D',       'E',  'F',  'A',  'U', 'L', 'T', 0,  // name
    0x01,      0x02, 0x01, 0x01,                    // DT/ML, slots (operators 1, 3, 2, 4)
    34,        40,   0,    8,                       // TL
    31,        31,   31,   31,                      // KS/AR
    8,         10,   6,    6,                       // AM/DR
    2,         2,    2,    2,                       // SR
    0x27,      0x27, 0x17, 0x17,                    // SL/RR
    5 * 8 + 4,                                      // FB 5, AL 4: two carriers
    0xC0,                                           // both outputs
    0,         0,    0,    0,    0,   0,   0,   0, 0, 0, 0, 0, 0, 0};

void WriteSink::write(int port, uint8_t r, uint8_t value) const {
  Event e;
  e.kind = EventKind::kChipWrite;
  e.port = static_cast<uint8_t>(port);
  e.reg = r;
  e.value = value;
  add(e);
}

void WriteSink::add(Event event) const {
  if (!heard) return;
  event.tick = tick;
  event.step = step;
  event.part = part;
  out->push_back(event);
}

FmFrequency fmFrequency(int pitch, int detune) {
  int block = pitch / 12 - 1;
  long fnum = static_cast<long>(kSemitoneFnum[pitch % 12]) + detune;
  if (fnum < 0) fnum = 0;
  for (; block < 0; ++block) fnum /= 2;
  for (; block > kBlockMax; --block) fnum *= 2;
  while (fnum > kFnumMax && block < kBlockMax) {
    fnum = (fnum + 1) / 2;
    ++block;
  }
  FmFrequency f;
  f.block = static_cast<uint8_t>(std::min(block, kBlockMax));
  f.fnum = static_cast<uint16_t>(std::min<long>(fnum, kFnumMax));
  return f;
}

int FmVoice::port() const { return fmHalf(part_); }
uint8_t FmVoice::reg(uint8_t base) const { return static_cast<uint8_t>(base + fmChannel(part_)); }
uint8_t FmVoice::operatorReg(uint8_t base, int slot) const {
  return static_cast<uint8_t>(operatorRegister(base, slot, fmChannel(part_)));
}

bool FmVoice::carrier(int slot) const {
  return (kCarrierSlots[field::kAlgorithm.get(feedbackAlgorithm_)] >> slot & 1) != 0;
}

void FmVoice::writeLevel(int slot, const WriteSink& sink) const {
  int level = field::kTotalLevel.get(tl_[slot]) + relTl_[slot];
  if (carrier(slot)) level += kLevelMax - volume_;
  level = std::clamp<int>(level, 0, kLevelMax);
  sink.write(port(), operatorReg(reg::kTotalLevel, slot), static_cast<uint8_t>(level));
}

void FmVoice::writeAttack(int slot, const WriteSink& sink) const {
  int attack = std::clamp(field::kAttackRate.get(ksAr_[slot]) + relAr_[slot], 0, kAttackMax);
  sink.write(port(), operatorReg(reg::kKeyScaleAttack, slot),
             field::kAttackRate.put(ksAr_[slot], attack));
}

void FmVoice::writeOutput(const WriteSink& sink) const {
  sink.write(port(), reg(reg::kOutputModulation), output_);
}

void FmVoice::selectTone(std::span<const uint8_t> record, const WriteSink& sink) {
  for (int slot = 0; slot < 4; ++slot) {
    tl_[slot] = record[rec::kTotalLevel + slot];
    ksAr_[slot] = record[rec::kKeyScaleAttack + slot];
  }
  feedbackAlgorithm_ = record[rec::kFeedbackAlgorithm];
  output_ = record[rec::kOutputModulation];
  constexpr std::array<std::pair<size_t, uint8_t>, 4> kPlain = {{
      {rec::kDetuneMultiple, reg::kDetuneMultiple},
      {rec::kAmDecay, reg::kAmDecay},
      {rec::kSustainRate, reg::kSustainRate},
      {rec::kSustainRelease, reg::kSustainRelease},
  }};
  for (int slot = 0; slot < 4; ++slot) {
    sink.write(port(), operatorReg(reg::kDetuneMultiple, slot),
               record[rec::kDetuneMultiple + slot]);
    writeLevel(slot, sink);
    writeAttack(slot, sink);
    for (size_t i = 1; i < kPlain.size(); ++i) {
      sink.write(port(), operatorReg(kPlain[i].second, slot), record[kPlain[i].first + slot]);
    }
  }
  sink.write(port(), reg(reg::kFeedbackAlgorithm), feedbackAlgorithm_);
  writeOutput(sink);
}

void FmVoice::setVolume(uint8_t volume, const WriteSink& sink) {
  volume_ = std::min(volume, kLevelMax);
  for (int slot = 0; slot < 4; ++slot) {
    if (carrier(slot)) writeLevel(slot, sink);
  }
}

void FmVoice::setPan(uint8_t pan, const WriteSink& sink) {
  int sides = kOutputBoth;
  if (pan <= kLeftPanStart && (kLeftPanStart - pan) % kPanStep == 0) {
    sides = kOutputLeft;
  } else if (pan >= kRightPanStart && (pan - kRightPanStart) % kPanStep == 0) {
    sides = kOutputRight;
  }
  output_ = field::kOutput.put(output_, sides);
  writeOutput(sink);
}

void FmVoice::setRelativeLevels(std::array<int8_t, 4> offsets, const WriteSink& sink) {
  for (int op = 0; op < 4; ++op) relTl_[kOperatorSlotOrder[op]] = offsets[op];
  for (int slot = 0; slot < 4; ++slot) writeLevel(slot, sink);
}

void FmVoice::setRelativeAttacks(std::array<int8_t, 4> offsets, const WriteSink& sink) {
  for (int op = 0; op < 4; ++op) relAr_[kOperatorSlotOrder[op]] = offsets[op];
  for (int slot = 0; slot < 4; ++slot) writeAttack(slot, sink);
}

void FmVoice::setSpecialMode(bool on, const WriteSink& sink) {
  special_ = on;
  sink.write(0, reg::kTimerControl, on ? kSpecialModeBit : 0);
}

void FmVoice::setFrequency(FmFrequency f, const WriteSink& sink) {
  if (special_) {
    for (int op = 0; op < 4; ++op) setOperatorFrequency(op, f, sink);
    return;
  }
  // The high byte is latched and takes effect with the low byte.
  sink.write(port(), reg(reg::kFrequencyHigh), f.high());
  sink.write(port(), reg(reg::kFrequencyLow), f.low());
}

void FmVoice::setOperatorFrequency(int op, FmFrequency f, const WriteSink& sink) {
  if (op == 3) {
    sink.write(port(), reg(reg::kFrequencyHigh), f.high());
    sink.write(port(), reg(reg::kFrequencyLow), f.low());
    return;
  }
  int offset = kCh3OperatorOffset[op];
  sink.write(port(), static_cast<uint8_t>(reg::kCh3FrequencyHigh + offset), f.high());
  sink.write(port(), static_cast<uint8_t>(reg::kCh3FrequencyLow + offset), f.low());
}

void FmVoice::keyOn(const WriteSink& sink, uint8_t operatorMask) {
  int code = fmHalf(part_) * 4 + fmChannel(part_);
  sink.write(0, reg::kKeyOnOff, static_cast<uint8_t>((operatorMask & 0xF) << 4 | code));
}

void FmVoice::keyOff(const WriteSink& sink) {
  sink.write(0, reg::kKeyOnOff, static_cast<uint8_t>(fmHalf(part_) * 4 + fmChannel(part_)));
}

void FmVoice::registerWritten(uint8_t base, int slot, uint8_t value, const WriteSink& sink) {
  switch (base) {
    case reg::kTotalLevel:
      tl_[slot] = value;
      writeLevel(slot, sink);
      return;
    case reg::kKeyScaleAttack:
      ksAr_[slot] = value;
      writeAttack(slot, sink);
      return;
    case reg::kFeedbackAlgorithm:
      feedbackAlgorithm_ = value;
      sink.write(port(), reg(base), value);
      for (int s = 0; s < 4; ++s) writeLevel(s, sink);
      return;
    case reg::kOutputModulation:
      output_ = value;
      writeOutput(sink);
      return;
    default:
      sink.write(port(), base >= reg::kFrequencyLow ? reg(base) : operatorReg(base, slot), value);
  }
}

}  // namespace tallow::playback
