// The FM voice's values and the register fields that hold them, paired once:
// every register byte the compiler writes for a voice is built here.
#include "state/fm_tone_state.h"

namespace tallow {
namespace {

namespace f = fm_field;
namespace rec = tone_record;

struct ChannelValue {
  FmField field;
  uint8_t FmVoiceState::*value;
  size_t recordOffset;
};

struct OperatorValue {
  FmField field;
  std::array<uint8_t, 4> FmVoiceState::*value;
  size_t recordOffset;  // 0: not in a tone record
};

constexpr ChannelValue kChannelValues[] = {
    {f::kFeedback, &FmVoiceState::feedback, rec::kFeedbackAlgorithm},
    {f::kAlgorithm, &FmVoiceState::algorithm, rec::kFeedbackAlgorithm},
    {f::kOutput, &FmVoiceState::output, rec::kOutputModulation},
    {f::kAms, &FmVoiceState::ams, rec::kOutputModulation},
    {f::kPms, &FmVoiceState::pms, rec::kOutputModulation},
};

constexpr OperatorValue kOperatorValues[] = {
    {f::kDetune, &FmVoiceState::dt, rec::kDetuneMultiple},
    {f::kMultiple, &FmVoiceState::ml, rec::kDetuneMultiple},
    {f::kTotalLevel, &FmVoiceState::tl, rec::kTotalLevel},
    {f::kKeyScale, &FmVoiceState::ks, rec::kKeyScaleAttack},
    {f::kAttackRate, &FmVoiceState::ar, rec::kKeyScaleAttack},
    {f::kAmEnable, &FmVoiceState::am, rec::kAmDecay},
    {f::kDecayRate, &FmVoiceState::dr, rec::kAmDecay},
    {f::kSustainRate, &FmVoiceState::sr, rec::kSustainRate},
    {f::kSustainLevel, &FmVoiceState::sl, rec::kSustainRelease},
    {f::kReleaseRate, &FmVoiceState::rr, rec::kSustainRelease},
    {f::kSsgEnvelope, &FmVoiceState::eg, 0},
};

bool same(const FmField& a, const FmField& b) { return a.base == b.base && a.shift == b.shift; }

}  // namespace

uint8_t& voiceValue(FmVoiceState& voice, const FmField& field, int op) {
  for (const OperatorValue& o : kOperatorValues) {
    if (same(o.field, field)) return (voice.*o.value)[op];
  }
  for (const ChannelValue& c : kChannelValues) {
    if (same(c.field, field)) return voice.*c.value;
  }
  return voice.*kChannelValues[0].value;  // every field has a value above
}

uint8_t voiceRegister(const FmVoiceState& voice, uint8_t base, int op) {
  uint8_t byte = 0;
  for (const OperatorValue& o : kOperatorValues) {
    if (o.field.base == base) byte = o.field.put(byte, (voice.*o.value)[op]);
  }
  for (const ChannelValue& c : kChannelValues) {
    if (c.field.base == base) byte = c.field.put(byte, voice.*c.value);
  }
  return byte;
}

void loadVoice(FmVoiceState& voice, const uint8_t* record) {
  for (const ChannelValue& c : kChannelValues) {
    voice.*c.value = static_cast<uint8_t>(c.field.get(record[c.recordOffset]));
  }
  for (const OperatorValue& o : kOperatorValues) {
    if (o.recordOffset == 0) continue;
    for (int slot = 0; slot < 4; ++slot) {
      (voice.*o.value)[kOperatorSlotOrder[slot]] =
          static_cast<uint8_t>(o.field.get(record[o.recordOffset + slot]));
    }
  }
}

}  // namespace tallow
