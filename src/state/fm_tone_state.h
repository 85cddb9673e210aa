// The current FM voice of each FM part, kept as separate small values so
// that single parameters can be changed later (by the FM operator commands and
// by envelopes) and written back as whole register bytes.
#pragma once

#include <array>
#include <cstdint>

#include "output/fmb_format.h"

namespace tallow {

// The channel's left/right output bits.
constexpr uint8_t kOutputRight = 1;
constexpr uint8_t kOutputLeft = 2;
constexpr uint8_t kOutputBoth = 3;

struct FmVoiceState {
  uint8_t algorithm = 0;
  uint8_t feedback = 0;
  uint8_t output = 0;  // 3 both, 2 left, 1 right
  uint8_t ams = 0;
  uint8_t pms = 0;
  // Per operator 1-4 (index 0-3).
  std::array<uint8_t, 4> dt{}, ml{}, tl{}, ks{}, ar{}, am{}, dr{}, sr{}, sl{}, rr{}, eg{};
};

}  // namespace tallow
