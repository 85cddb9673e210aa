// The current FM voice of each FM part, kept as separate small values so
// that single parameters can be changed later (by the FM operator commands and
// by envelopes) and written back as whole register bytes.  Which value of
// the voice each register field holds is stated once, in fm_tone_state.cpp.
#pragma once

#include <array>
#include <cstdint>

#include "output/fm_registers.h"
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

// The voice's value of `field` (any field but the frequency's), for operator
// `op` (0-3) when the field has one per operator.
uint8_t& voiceValue(FmVoiceState& voice, const FmField& field, int op);

// The register byte of group `base` (of operator `op`), every field in it
// taken from the voice.
uint8_t voiceRegister(const FmVoiceState& voice, uint8_t base, int op);

// Sets every operator and channel field from the register bytes of a tone
// record (the SSG-EG values excepted: a record has none).
void loadVoice(FmVoiceState& voice, const uint8_t* record);

}  // namespace tallow
