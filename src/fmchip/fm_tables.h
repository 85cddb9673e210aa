// The fixed tables of the FM engine, all computed at compile time and
// immutable: the log-sine and exponent tables the operators look up, the
// detune table, the envelope rate table and the LFO constants.
//
// Units: an operator's phase is 20 bits and its top 10 bits address the
// sine; the envelope attenuation is 10 bits of 0.09375 dB (0 loud, 0x3FF
// silent); the log domain of the sine lookup counts 1/256 of an octave, so an
// envelope step is 4 log units.  An operator's output is 14-bit signed
// (magnitude at most 8168).  The sine and exponent tables together take
// 24.5 KB, so the hot loop stays in the first-level cache.
#pragma once

#include <array>
#include <cstdint>

namespace tallow::fmchip {

constexpr int kSineBits = 10;
constexpr uint32_t kSineMask = (1u << kSineBits) - 1;
constexpr int kEnvelopeMax = 0x3FF;
// The log attenuation from which the chip's exponent conversion gives 0; an
// operator's volume (envelope, TL and AM in the log domain) is capped here.
constexpr int kSilentLog = 13 * 256;
// Offset of the negative half-wave in both tables: above any log-sine value
// plus the largest volume.
constexpr int kSignOffset = 22 * 256;

// One entry per 10-bit phase: the log attenuation of |sin| in 1/256 octave,
// plus kSignOffset on the negative half-wave.
extern const std::array<uint16_t, 1 << kSineBits> kLogSine;
// The signed output for a log-sine entry plus a volume: the chip's 256-entry
// exponent table shifted by the octave (att >> 8), negated from kSignOffset
// on, so an operator's sample is kExpTable[kLogSine[phase] + volume].
extern const std::array<int16_t, 2 * kSignOffset> kExpTable;

// Detune amounts in units of the 17-bit frequency, by DT (bits 0-1) and
// key code (0-31); bit 2 of DT negates them.
extern const std::array<std::array<uint8_t, 32>, 4> kDetune;

// How an envelope rate (0-63) advances: it acts on EG clocks whose counter has
// the low `shift` bits clear, by inc[(counter >> shift) & 7].
struct EnvelopeRate {
  uint8_t shift = 0;
  uint16_t mask = 0;  // (1 << shift) - 1
  std::array<uint8_t, 8> inc{};
};
extern const std::array<EnvelopeRate, 64> kEnvelopeRates;

// LFO: 128 steps per period; the chip's divider advances the step once every
// kLfoPeriod[rate] samples (4.01, 5.63, 6.10, 6.47, 6.99, 9.85, 54.2 and
// 86.7 Hz at the default clock; they scale with it).
constexpr int kLfoSteps = 128;
constexpr std::array<uint8_t, 8> kLfoPeriod = {108, 77, 71, 67, 62, 44, 8, 5};
// Frequency deviation at the peak of the PM wave by PMS, as a fraction of
// 2^16: 0, 3.4, 6.7, 10, 14, 20, 40 and 80 cents.
constexpr std::array<int32_t, 8> kPmDepth = {0, 129, 254, 380, 532, 761, 1532, 3099};
// The PM wave runs from -kPmPeak to +kPmPeak.
constexpr int kPmPeakBits = 5;
// AM depth by AMS: the AM wave (0-126 envelope steps, 11.8 dB) shifted right
// by this (AMS 0 switches AM off; 1.4, 5.9 and 11.8 dB for 1-3).
constexpr std::array<uint8_t, 4> kAmShift = {8, 3, 1, 0};

// The AM wave (envelope steps, 0-126) and the PM wave (-32..32) at LFO step
// `step` (0-127).  The AM wave starts at full attenuation, as on the chip,
// falls to none at the middle of the period and rises again.
constexpr int lfoAm(int step) { return 2 * (step < 64 ? 63 - step : step - 64); }
constexpr int lfoPm(int step) { return step < 32 ? step : step < 96 ? 64 - step : step - 128; }

}  // namespace tallow::fmchip
