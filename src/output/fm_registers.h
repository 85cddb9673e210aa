// The register map of the FM chip as the KRB format addresses it: the
// register-write event 0x97 carries a chip half (0 for FM1-FM3, 1 for
// FM4-FM6), a register number and a value.  Operator registers are
// base + 4 * slot + channel, channel registers base + channel, where the
// channel is the part's index within its half.
#pragma once

#include <cstdint>

namespace tallow {

namespace fm_register {
constexpr uint8_t kDetuneMultiple = 0x30;     // DT (bits 6-4), ML (bits 3-0)
constexpr uint8_t kTotalLevel = 0x40;         // TL (bits 6-0)
constexpr uint8_t kKeyScaleAttack = 0x50;     // KS (bits 7-6), AR (bits 4-0)
constexpr uint8_t kAmDecay = 0x60;            // AM (bit 7), DR (bits 4-0)
constexpr uint8_t kSustainRate = 0x70;        // SR (bits 4-0)
constexpr uint8_t kSustainRelease = 0x80;     // SL (bits 7-4), RR (bits 3-0)
constexpr uint8_t kSsgEnvelope = 0x90;        // the "@EG" value
constexpr uint8_t kFrequencyLow = 0xA0;       // F-number, low 8 bits
constexpr uint8_t kFrequencyHigh = 0xA4;      // block (bits 5-3), F-number bits 10-8
constexpr uint8_t kFeedbackAlgorithm = 0xB0;  // FB (bits 5-3), AL (bits 2-0)
constexpr uint8_t kOutputModulation = 0xB4;   // L (bit 7), R (bit 6), AMS (5-4), PMS (2-0)
constexpr uint8_t kLfo = 0x22;                // first half only: LFO enable and rate
constexpr uint8_t kTimerControl = 0x27;       // first half only: timers; bit 6 channel-3 mode
constexpr uint8_t kKeyOnOff = 0x28;           // first half only: operator mask and channel
constexpr uint8_t kChannelMode = 0x29;        // first half only: bit 7 enables channels 4-6
constexpr uint8_t kCh3FrequencyLow = 0xA8;    // A8h-AAh: channel 3 operators 3, 1, 2 (mode on)
constexpr uint8_t kCh3FrequencyHigh = 0xAC;   // ACh-AEh: their blocks and high F-number bits
}  // namespace fm_register

constexpr int kFmChannelsPerHalf = 3;

// The chip half and the channel within it of FM part `part` (0-5).
constexpr int fmHalf(int part) { return part / kFmChannelsPerHalf; }
constexpr int fmChannel(int part) { return part % kFmChannelsPerHalf; }

// The register of operator `slot` (0-3, register slot order) of `channel`.
constexpr int operatorRegister(uint8_t base, int slot, int channel) {
  return base + 4 * slot + channel;
}

}  // namespace tallow
