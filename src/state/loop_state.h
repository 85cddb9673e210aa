// The per-part loop stacks: one stack of frames for both kinds of loops
// (expanded "(" ")" and driver "@p" "@j") and one for the byte copying of
// expanded loops.  Depth counters start at -1 (no open loop).
#pragma once

#include <array>
#include <cstdint>

#include "scan/diagnostics.h"

namespace tallow {

constexpr int kMaxOpenLoops = 16;
constexpr int kMaxOpenDriverLoops = 8;

struct LoopFrame {
  bool expanded = false;
  int32_t startSteps = 0;
  int32_t escapeSteps = 0;
  uint32_t escapeOffset = 0;  // driver loops: where the escape's repeat byte waits
  int32_t escapeCount = 0;    // driver loops: the count given with ":N", as N - 1
};

struct ExpansionFrame {
  int64_t startOffset = -1;
  int64_t escapeOffset = -1;
  Diagnostics::Place opened;  // where the "(" stands, for the warning when it stays open
};

struct PartLoops {
  std::array<LoopFrame, kMaxOpenLoops> frames{};
  int depth = -1;
  int driverDepth = -1;
  std::array<ExpansionFrame, kMaxOpenLoops> expansions{};
  int expansionDepth = -1;
};

}  // namespace tallow
