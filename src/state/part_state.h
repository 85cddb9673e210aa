// The per-part state of a compile: one record for each of the fifteen parts
// (FM1-FM6, PCM1-PCM8, BEEP).  The MML commands read and change the fields of
// the part being compiled.  The defaults below are the initial values; the
// MML command table's initialiser adds the volume table of the part's kind
// and the default length at every compile start.  Field names are those of
// the language's rules.
#pragma once

#include <array>
#include <cstdint>

#include "base/parts.h"

namespace tallow {

// Step counts are 32-bit and wrap around in two's complement.
inline int32_t wrapSteps(int64_t steps) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(steps)));
}

// How the previous note ended.
enum class TieState : int32_t {
  kNone = 0,
  kNote = 1,        // tied with "&"
  kPortamento = 2,  // a portamento tied with "&": PCM parts keep its base note and detune
};

// How the compiler gate ("Q", "q#", "@q") shortens notes.
enum class GateMode : int32_t {
  kFraction = 0,  // the note sounds gateValue / .qwidth of its length
  kSteps = 1,     // gateValue steps are cut from its end
};

// When a part's envelope starts afresh ("M").
enum class EnvelopeRestart : int32_t {
  kRunsOn = 0,      // the envelope runs on across notes
  kUnlessTied = 1,  // it restarts at every note that does not follow a tie
  kEveryNote = 2,   // it restarts at every note
};

struct PartState {
  int32_t steps = 0;
  int32_t loopSteps = 0;
  int32_t volumeLevel = 15;
  int32_t volumeValue = 127;
  int32_t volumeOffset = 0;
  std::array<int32_t, 16> volumeTable{};
  int32_t defaultLength = 96;
  std::array<int32_t, 16> keySignature{};  // entries 12-15 only reachable through redefinitions
  int32_t transpose = 0;                   // "k", "@k", "@y"
  int32_t secondTranspose = 0;             // "K": added to the first
  int32_t octave = 4;
  int32_t octaveShiftOnce = 0;
  int32_t detune = 0;        // "u", "@u"
  int32_t secondDetune = 0;  // "U": added to the first
  int32_t gateValue = 0;
  GateMode gateMode = GateMode::kFraction;
  int32_t oneShotGate = 0;
  int32_t oneShotVolume = 0;
  int32_t savedVolumeValue = 127;
  int32_t envelopeNumber = 0;
  EnvelopeRestart envelopeRestart = EnvelopeRestart::kUnlessTied;
  TieState tieState = TieState::kNone;
  int32_t tiePitch = 0;
  int32_t skipRest = 0;
  int32_t lfoDepthX4 = 0;
  int32_t tempoOffset = 0;
  int32_t panFixByte = 0;
  int32_t volumeScale = 100;
};

}  // namespace tallow
