// The state of one FM channel and its four operators, and the operations on
// it that do not depend on the rest of the chip: the envelope generator,
// key on and off, and the phase increments.
//
// Operators are indexed by operator number - 1 (operators 1-4), not by
// register slot; the chip maps slots to operators on every write.
// Invariants: `att` stays within 0..kEnvelopeMax; `volume` is the log
// attenuation added to the sine lookup and stays within 0..kSilentLog, so
// every sum an operator forms indexes kExpTable.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "fmchip/fm_tables.h"

namespace tallow::fmchip {

enum EnvelopePhase : uint8_t { kAttack, kDecay, kSustain, kRelease };

struct Operator {
  // Register fields.
  uint8_t detune = 0, multiple = 0, totalLevel = 0, keyScale = 0;
  uint8_t attackRate = 0, decayRate = 0, sustainRate = 0, sustainLevel = 0, releaseRate = 0;
  uint8_t ssgEg = 0;
  bool amOn = false;

  // Frequency as this operator sees it (its own in the channel-3 mode).
  uint16_t fnum = 0;
  uint8_t block = 0;
  uint8_t keyCode = 0;
  uint32_t phase = 0, increment = 0;  // 20-bit phase, in 1/2^20 cycle

  // Envelope.
  EnvelopePhase egPhase = kRelease;
  bool keyed = false;
  bool ssgInvert = false, ssgHeld = false;
  int att = kEnvelopeMax;
  std::array<uint8_t, 4> rates{};  // effective rate (0-63) by phase
  // The EG clocks on which the current rate acts have these counter bits
  // clear; 0 (every clock) while SSG-EG is on.
  uint16_t egMask = 0;
  int volume = kSilentLog;
};

struct Channel {
  std::array<Operator, 4> op;
  uint16_t fnum = 0;
  uint8_t block = 0;
  uint8_t frequencyLatch = 0;  // the last high-byte write, taken by the low byte
  uint8_t algorithm = 0, feedback = 0, ams = 0, pms = 0;
  bool left = true, right = true;
  int pmStep = 0;            // the PM wave value the increments were made for
  int amLevel = 0;           // the AM (AMS applied) the volumes were made for; -1: none
  int32_t fb1 = 0, fb2 = 0;  // operator 1's last two outputs
};

// Key code (0-31) of a frequency: block and the top F-number bits.
uint8_t keyCode(uint16_t fnum, uint8_t block);
// Recomputes the effective envelope rates of `op` (after a rate, KS, key
// code or SSG-EG change).
void updateRates(Operator& op);
// Recomputes the phase increment of `op` for PM wave value `pmStep` and the
// channel's PMS.
void updateIncrement(Operator& op, int pms, int pmStep);
// Sets `op`'s frequency (key code, rates and increment follow).
void setOperatorFrequency(Operator& op, uint16_t fnum, uint8_t block, int pms, int pmStep);

void keyOn(Operator& op);
void keyOff(Operator& op);
// Moves the envelope on from attack to decay at full level and from decay to
// sustain at the sustain level; called wherever the level or SL changes.
void settlePhase(Operator& op);
// The end of an SSG-EG cycle, checked on every EG clock while SSG-EG is on.
void ssgCycleEnd(Operator& op);
// Changes the envelope by `inc` steps of the current phase's rate.
void advanceEnvelope(Operator& op, int inc);
// The attenuation the envelope puts out, SSG-EG inversion and hold applied.
int ssgEnvelopeOutput(const Operator& op);

constexpr uint8_t kSsgOn = 8;

// An EG clock that acts on `op` (see envelopeTick); true when the envelope's
// output may have changed.
bool envelopeClock(Operator& op, uint32_t counter);

// One EG clock with global counter `counter`; true when the envelope's output
// may have changed.  Most clocks leave an operator alone, which the cached
// mask of its current rate tells at once.
inline bool envelopeTick(Operator& op, uint32_t counter) {
  if (counter & op.egMask) return false;
  return envelopeClock(op, counter);
}

// Recomputes `volume` from the envelope, TL and the AM wave value `am`
// already scaled by the channel's AMS.
inline void updateVolume(Operator& op, int am) {
  const int envelope = (op.ssgEg & kSsgOn) ? ssgEnvelopeOutput(op) : op.att;
  const int level = envelope + (op.totalLevel << 3) + (op.amOn ? am : 0);
  op.volume = std::min(std::min(level, kEnvelopeMax) << 2, kSilentLog);
}

// True when `op` cannot sound until it is keyed on again.
inline bool isDormant(const Operator& op) {
  return op.egPhase == kRelease && op.att >= kEnvelopeMax;
}

}  // namespace tallow::fmchip
