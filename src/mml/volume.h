// Volume commands and the scaling every emitted volume value goes through.
#pragma once

#include <cstdint>

#include "state/part_state.h"

namespace tallow {

// x scaled by the part's volume scale (percent) and limited to 0..127.
inline int scaledVolume(const PartState& p, int64_t x) {
  int64_t y = x * p.volumeScale / 100;
  return y < 0 ? 0 : y > 127 ? 127 : static_cast<int>(y);
}

}  // namespace tallow
