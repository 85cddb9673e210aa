// The envelope generator, key on and off, and the frequency of one operator,
// after the documented behaviour of the OPN family: rates are 2 * R plus the
// key-scale rate (release 4 * RR + 2), the attack approaches 0 exponentially,
// decay and sustain rise linearly in dB, and rates 62-63 of the attack jump
// to full level at once.
#include "fmchip/fm_channel.h"

#include <algorithm>

namespace tallow::fmchip {
namespace {

// SSG-EG: bit 3 on, bit 2 starts inverted, bit 1 alternates, bit 0 holds.
constexpr uint8_t kSsgAttack = 4, kSsgAlternate = 2, kSsgHold = 1;
// The envelope level at which an SSG-EG cycle ends.
constexpr int kSsgEnd = 0x200;

bool ssgActive(const Operator& op) { return (op.ssgEg & kSsgOn) && op.egPhase != kRelease; }

// Caches the mask of the current phase's rate (after a phase or rate change).
void syncRate(Operator& op) {
  op.egMask = (op.ssgEg & kSsgOn) ? 0 : kEnvelopeRates[op.rates[op.egPhase]].mask;
}

int sustainAttenuation(const Operator& op) {
  return op.sustainLevel == 15 ? 0x3E0 : op.sustainLevel << 5;
}

}  // namespace

// The end of a cycle: hold, alternate (invert and start over from full
// level, which the inversion makes continuous) or repeat (attack again).
void ssgCycleEnd(Operator& op) {
  if (!ssgActive(op) || !op.keyed || op.egPhase == kAttack || op.ssgHeld || op.att < kSsgEnd) {
    return;
  }
  if (op.ssgEg & kSsgHold) {
    if (op.ssgEg & kSsgAlternate) op.ssgInvert = !op.ssgInvert;
    op.ssgHeld = true;
    op.att = kSsgEnd;
  } else if (op.ssgEg & kSsgAlternate) {
    op.ssgInvert = !op.ssgInvert;
    op.att = 0;
    op.egPhase = kDecay;
  } else {
    op.egPhase = kAttack;
    if (op.rates[kAttack] >= 62) op.att = 0;
  }
  settlePhase(op);
}

bool envelopeClock(Operator& op, uint32_t counter) {
  const bool ssg = op.ssgEg & kSsgOn;
  if (ssg) ssgCycleEnd(op);
  const EnvelopeRate& step = kEnvelopeRates[op.rates[op.egPhase]];
  if (counter & step.mask) return ssg;
  const int inc = step.inc[(counter >> step.shift) & 7];
  if (inc == 0) return ssg;
  advanceEnvelope(op, inc);
  return true;
}

int ssgEnvelopeOutput(const Operator& op) {
  if (!ssgActive(op)) return op.att;
  if (op.ssgInvert) return (kSsgEnd - op.att) & kEnvelopeMax;
  return op.ssgHeld ? kEnvelopeMax : op.att;
}

void settlePhase(Operator& op) {
  if (op.egPhase == kAttack && op.att == 0) op.egPhase = kDecay;
  if (op.egPhase == kDecay && op.att >= sustainAttenuation(op)) op.egPhase = kSustain;
  syncRate(op);
}

uint8_t keyCode(uint16_t fnum, uint8_t block) {
  const int f11 = (fnum >> 10) & 1, f10 = (fnum >> 9) & 1, f9 = (fnum >> 8) & 1;
  const int f8 = (fnum >> 7) & 1;
  const int n3 = f11 ? (f10 | f9 | f8) : (f10 & f9 & f8);
  return static_cast<uint8_t>(((block & 7) << 2) | (f11 << 1) | n3);
}

void updateRates(Operator& op) {
  const int ksr = op.keyCode >> (3 - (op.keyScale & 3));
  auto rate = [ksr](int r) { return static_cast<uint8_t>(r ? std::min(63, 2 * r + ksr) : 0); };
  op.rates = {rate(op.attackRate), rate(op.decayRate), rate(op.sustainRate),
              static_cast<uint8_t>(std::min(63, 4 * op.releaseRate + 2 + ksr))};
  syncRate(op);
}

void updateIncrement(Operator& op, int pms, int pmStep) {
  int64_t base = (static_cast<int64_t>(op.fnum & 0x7FF) << (op.block & 7)) >> 1;
  if (pms) base += (base * kPmDepth[pms & 7] * pmStep) >> (16 + kPmPeakBits);
  int detune = kDetune[op.detune & 3][op.keyCode & 31];
  if (op.detune & 4) detune = -detune;
  // The detuned frequency wraps in 17 bits, as the chip's adder does.
  const uint32_t frequency = static_cast<uint32_t>(base + detune) & 0x1FFFF;
  op.increment = op.multiple ? frequency * op.multiple : frequency >> 1;
}

void setOperatorFrequency(Operator& op, uint16_t fnum, uint8_t block, int pms, int pmStep) {
  op.fnum = fnum & 0x7FF;
  op.block = block & 7;
  op.keyCode = keyCode(op.fnum, op.block);
  updateRates(op);
  updateIncrement(op, pms, pmStep);
}

void keyOn(Operator& op) {
  if (op.keyed) return;
  op.keyed = true;
  op.phase = 0;
  op.egPhase = kAttack;
  op.ssgInvert = (op.ssgEg & (kSsgOn | kSsgAttack)) == (kSsgOn | kSsgAttack);
  op.ssgHeld = false;
  if (op.rates[kAttack] >= 62) op.att = 0;
  settlePhase(op);
}

void keyOff(Operator& op) {
  if (!op.keyed) return;
  op.keyed = false;
  // The release starts from the level that was sounding.
  op.att = ssgEnvelopeOutput(op);
  op.ssgInvert = op.ssgHeld = false;
  op.egPhase = kRelease;
  syncRate(op);
}

void advanceEnvelope(Operator& op, int inc) {
  if (op.egPhase == kAttack) {
    op.att = op.rates[kAttack] >= 62 ? 0 : std::max(0, op.att + ((~op.att * inc) >> 4));
  } else if (!(op.ssgEg & kSsgOn)) {
    op.att = std::min(op.att + inc, kEnvelopeMax);
  } else if (op.egPhase == kRelease) {
    // The SSG-EG step applies in the release too, and the half-range cycle
    // ends it: past its end the operator is silent.
    op.att = op.att + 4 * inc >= kSsgEnd ? kEnvelopeMax : op.att + 4 * inc;
  } else if (!op.ssgHeld && op.att < kSsgEnd) {
    // An SSG-EG cycle spans half the range, at four times the speed.
    op.att = std::min(op.att + 4 * inc, kEnvelopeMax);
  }
  settlePhase(op);
}

}  // namespace tallow::fmchip
