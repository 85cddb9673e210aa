// Helpers of the FM engine tests: setting up a voice through register writes
// and rendering; the measurements of what came out are the shared ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "fmchip/fm_chip.h"
#include "output/fm_registers.h"
#include "output/fmb_format.h"
#include "support/measure.h"

namespace tallow::fmchip::testing {

using namespace tallow::testing;

// One operator's register fields.
struct OperatorSetup {
  int dt = 0, ml = 1, tl = 127, ks = 0, ar = 31, dr = 0, sr = 0, sl = 0, rr = 15;
  bool am = false;
  int ssg = 0;
};

struct VoiceSetup {
  int algorithm = 7, feedback = 0;
  uint8_t output = 0xC0;  // B4h: L/R, AMS, PMS
  OperatorSetup op[4];    // operators 1-4
};

// A voice of one full-level carrier (operator 1) and three silent operators.
inline VoiceSetup pureCarrier() {
  VoiceSetup voice;
  voice.op[0].tl = 0;
  return voice;
}

// `channel` is 0-5 (port = channel / 3).
inline void writeVoice(FmChip& chip, int channel, const VoiceSetup& v) {
  const int port = channel / 3, ch = channel % 3;
  for (int k = 0; k < 4; ++k) {
    const OperatorSetup& o = v.op[k];
    auto put = [&](uint8_t base, int value) {
      chip.write(port, static_cast<uint8_t>(operatorRegister(base, kOperatorSlotOrder[k], ch)),
                 static_cast<uint8_t>(value));
    };
    put(fm_register::kDetuneMultiple, o.dt * 16 + o.ml);
    put(fm_register::kTotalLevel, o.tl);
    put(fm_register::kKeyScaleAttack, o.ks * 64 + o.ar);
    put(fm_register::kAmDecay, (o.am ? 128 : 0) + o.dr);
    put(fm_register::kSustainRate, o.sr);
    put(fm_register::kSustainRelease, o.sl * 16 + o.rr);
    put(fm_register::kSsgEnvelope, o.ssg);
  }
  chip.write(port, static_cast<uint8_t>(fm_register::kFeedbackAlgorithm + ch),
             static_cast<uint8_t>(v.feedback * 8 + v.algorithm));
  chip.write(port, static_cast<uint8_t>(fm_register::kOutputModulation + ch), v.output);
}

inline void writeFrequency(FmChip& chip, int channel, int fnum, int block) {
  const int port = channel / 3, ch = channel % 3;
  chip.write(port, static_cast<uint8_t>(fm_register::kFrequencyHigh + ch),
             static_cast<uint8_t>(block * 8 + (fnum >> 8)));
  chip.write(port, static_cast<uint8_t>(fm_register::kFrequencyLow + ch),
             static_cast<uint8_t>(fnum & 0xFF));
}

// Key on (mask = operators in bits 4-7) or off (mask 0) of `channel` 0-5.
inline void writeKey(FmChip& chip, int channel, int mask = 0xF0) {
  const int code = (channel / 3) * 4 + channel % 3;
  chip.write(0, fm_register::kKeyOnOff, static_cast<uint8_t>(mask | code));
}

struct Stereo {
  std::vector<float> left, right;
};

inline Stereo render(FmChip& chip, size_t frames) {
  Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
  chip.generate(out.left, out.right);
  return out;
}

// The frequency the chip should play: fnum * 2^(block - 1) * rate / 2^20.
inline double chipFrequency(double rate, int fnum, int block) {
  return fnum * std::ldexp(1.0, block - 1) * rate / 1048576.0;
}

}  // namespace tallow::fmchip::testing
