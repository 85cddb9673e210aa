// The register map of the FM chip as the KRB format addresses it: the
// register-write event 0x97 carries a chip half (0 for FM1-FM3, 1 for
// FM4-FM6), a register number and a value.  Operator registers are
// base + 4 * slot + channel, channel registers base + channel, where the
// channel is the part's index within its half.
//
// Each parameter is described once, as an FmField: the register group that
// holds it, its bits there and whether the group has a register per operator
// or per channel.  The compiler, the driver model and the chip model read and
// write parameters only through these fields; the fields of one group never
// overlap.
#pragma once

#include <cstdint>

namespace tallow {

namespace fm_register {
constexpr uint8_t kDetuneMultiple = 0x30;
constexpr uint8_t kTotalLevel = 0x40;
constexpr uint8_t kKeyScaleAttack = 0x50;
constexpr uint8_t kAmDecay = 0x60;
constexpr uint8_t kSustainRate = 0x70;
constexpr uint8_t kSustainRelease = 0x80;
constexpr uint8_t kSsgEnvelope = 0x90;
constexpr uint8_t kFrequencyLow = 0xA0;  // F-number, low 8 bits
constexpr uint8_t kFrequencyHigh = 0xA4;
constexpr uint8_t kFeedbackAlgorithm = 0xB0;
constexpr uint8_t kOutputModulation = 0xB4;
constexpr uint8_t kLfo = 0x22;               // first half only: LFO enable and rate
constexpr uint8_t kTimerControl = 0x27;      // first half only: timers; bit 6 channel-3 mode
constexpr uint8_t kKeyOnOff = 0x28;          // first half only: operator mask and channel
constexpr uint8_t kChannelMode = 0x29;       // first half only: bit 7 enables channels 4-6
constexpr uint8_t kCh3FrequencyLow = 0xA8;   // A8h-AAh: channel 3 operators 3, 1, 2 (mode on)
constexpr uint8_t kCh3FrequencyHigh = 0xAC;  // ACh-AEh: their blocks and high F-number bits
}  // namespace fm_register

// One parameter's bits in its register: `width` bits from bit `shift` of
// every register of the group `base`.
struct FmField {
  uint8_t base;
  uint8_t shift;
  uint8_t width;
  bool perOperator;  // base + 4 * slot + channel; else base + channel

  constexpr int maximum() const { return (1 << width) - 1; }
  constexpr uint8_t mask() const { return static_cast<uint8_t>(maximum() << shift); }
  // The parameter's value in register byte `byte`.
  constexpr int get(uint8_t byte) const { return (byte >> shift) & maximum(); }
  // `byte` with the parameter set to `value` (cut to its width), the other
  // bits kept.
  constexpr uint8_t put(uint8_t byte, int value) const {
    return static_cast<uint8_t>((byte & ~mask()) | ((value << shift) & mask()));
  }
};

namespace fm_field {
namespace r = fm_register;
constexpr FmField kDetune{r::kDetuneMultiple, 4, 3, true};
constexpr FmField kMultiple{r::kDetuneMultiple, 0, 4, true};
constexpr FmField kTotalLevel{r::kTotalLevel, 0, 7, true};
constexpr FmField kKeyScale{r::kKeyScaleAttack, 6, 2, true};
constexpr FmField kAttackRate{r::kKeyScaleAttack, 0, 5, true};
constexpr FmField kAmEnable{r::kAmDecay, 7, 1, true};
constexpr FmField kDecayRate{r::kAmDecay, 0, 5, true};
constexpr FmField kSustainRate{r::kSustainRate, 0, 5, true};
constexpr FmField kSustainLevel{r::kSustainRelease, 4, 4, true};
constexpr FmField kReleaseRate{r::kSustainRelease, 0, 4, true};
constexpr FmField kSsgEnvelope{r::kSsgEnvelope, 0, 4, true};
constexpr FmField kBlock{r::kFrequencyHigh, 3, 3, false};
constexpr FmField kFnumHigh{r::kFrequencyHigh, 0, 3, false};  // F-number bits 10-8
constexpr FmField kFeedback{r::kFeedbackAlgorithm, 3, 3, false};
constexpr FmField kAlgorithm{r::kFeedbackAlgorithm, 0, 3, false};
constexpr FmField kOutput{r::kOutputModulation, 6, 2, false};  // 2 left, 1 right
constexpr FmField kAms{r::kOutputModulation, 4, 2, false};
constexpr FmField kPms{r::kOutputModulation, 0, 3, false};

// Every field, in register order.
constexpr FmField kAll[] = {kDetune,      kMultiple,  kTotalLevel,  kKeyScale,     kAttackRate,
                            kAmEnable,    kDecayRate, kSustainRate, kSustainLevel, kReleaseRate,
                            kSsgEnvelope, kBlock,     kFnumHigh,    kFeedback,     kAlgorithm,
                            kOutput,      kAms,       kPms};
}  // namespace fm_field

constexpr int kFmChannelsPerHalf = 3;

// The chip half and the channel within it of FM part `part` (0-5).
constexpr int fmHalf(int part) { return part / kFmChannelsPerHalf; }
constexpr int fmChannel(int part) { return part % kFmChannelsPerHalf; }

// The register of operator `slot` (0-3, register slot order) of `channel`.
constexpr int operatorRegister(uint8_t base, int slot, int channel) {
  return base + 4 * slot + channel;
}

}  // namespace tallow
