// The compiler's FM voice: a tone record loaded into it gives back each
// register byte it was loaded from, and one value changed shows up in its
// register alone.
#include "state/fm_tone_state.h"

#include <gtest/gtest.h>

#include <random>

namespace tallow {
namespace {

namespace rec = tone_record;

constexpr std::pair<size_t, uint8_t> kOperatorGroups[] = {
    {rec::kDetuneMultiple, fm_register::kDetuneMultiple},
    {rec::kTotalLevel, fm_register::kTotalLevel},
    {rec::kKeyScaleAttack, fm_register::kKeyScaleAttack},
    {rec::kAmDecay, fm_register::kAmDecay},
    {rec::kSustainRate, fm_register::kSustainRate},
    {rec::kSustainRelease, fm_register::kSustainRelease}};

// The bits of register group `base` that hold a parameter.
uint8_t usedBits(uint8_t base) {
  uint8_t bits = 0;
  for (const FmField& f : fm_field::kAll) bits |= f.base == base ? f.mask() : 0;
  return bits;
}

TEST(FmToneState, LoadedRecordComesBackRegisterByRegister) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::array<uint8_t, kToneRecordSize> record{};
    for (uint8_t& b : record) b = static_cast<uint8_t>(random());
    FmVoiceState voice;
    loadVoice(voice, record.data());
    for (auto [offset, base] : kOperatorGroups) {
      for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(voiceRegister(voice, base, kOperatorSlotOrder[slot]),
                  record[offset + slot] & usedBits(base))
            << std::hex << int(base) << " slot " << slot;
      }
    }
    EXPECT_EQ(voiceRegister(voice, fm_register::kFeedbackAlgorithm, 0),
              record[rec::kFeedbackAlgorithm] & 0x3F);
    EXPECT_EQ(voiceRegister(voice, fm_register::kOutputModulation, 0),
              record[rec::kOutputModulation] & 0xF7);
  }
}

TEST(FmToneState, EachValueLandsInItsOwnField) {
  for (const FmField& f : fm_field::kAll) {
    if (f.base == fm_register::kFrequencyHigh) continue;  // not part of a voice
    FmVoiceState voice;
    voiceValue(voice, f, 2) = static_cast<uint8_t>(f.maximum());
    for (const FmField& g : fm_field::kAll) {
      if (g.base == fm_register::kFrequencyHigh) continue;
      int op = g.perOperator ? 2 : 0;
      EXPECT_EQ(g.get(voiceRegister(voice, g.base, op)),
                f.base == g.base && f.shift == g.shift ? f.maximum() : 0);
    }
  }
}

}  // namespace
}  // namespace tallow
