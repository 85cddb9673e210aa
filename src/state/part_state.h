// The per-part state of a compile: one record for each of the fifteen parts
// (FM1-FM6, PCM1-PCM8, BEEP).  The MML commands read and change the fields of
// the part being compiled; the initial values are set by the MML command
// table's initialiser at every compile start.
#pragma once

#include <array>
#include <cstdint>

#include "base/parts.h"

namespace tallow {

// Step counts are 32-bit and wrap around in two's complement.
inline int32_t wrapSteps(int64_t steps) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(steps)));
}

struct PartState {
  int32_t steps = 0;
  int32_t loopSteps = 0;
  int32_t volumeLevel = 15;
  int32_t volumeValue = 127;
  int32_t volumeOffset = 0;
  std::array<int32_t, 16> volumeTable{};
  int32_t defaultLength = 96;
  std::array<int32_t, 16> keySignature{};  // entries 12-15 only reachable through redefinitions
  int32_t transpose = 0;
  int32_t transpose2 = 0;
  int32_t octave = 4;
  int32_t octaveShiftOnce = 0;
  int32_t detune = 0;
  int32_t detune2 = 0;
  int32_t gateValue = 0;
  int32_t gateMode = 0;
  int32_t oneShotGate = 0;
  int32_t oneShotVolume = 0;
  int32_t savedVolumeValue = 127;
  int32_t envelopeNumber = 0;
  int32_t envelopeRestart = 1;
  int32_t tieState = 0;
  int32_t tiePitch = 0;
  int32_t skipRest = 0;
  int32_t lfoDepthX4 = 0;
  int32_t code147Value = 1;
  int32_t tempoOffset = 0;
  int32_t panFixByte = 0;
  int32_t volumeScale = 100;
};

}  // namespace tallow
