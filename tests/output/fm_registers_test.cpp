// The register fields against the chip's documented register map, drawn
// bit 7 to bit 0: a run of one letter is one parameter, "-" an unused bit.
#include "output/fm_registers.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace tallow {
namespace {

struct Documented {
  uint8_t base;
  const char* bits;
};

constexpr Documented kMap[] = {
    {0x30, "-DDDMMMM"},  // detune, multiple
    {0x40, "-TTTTTTT"},  // total level
    {0x50, "KK-AAAAA"},  // key scale, attack rate
    {0x60, "A--DDDDD"},  // AM enable, decay rate
    {0x70, "---SSSSS"},  // sustain rate
    {0x80, "SSSSRRRR"},  // sustain level, release rate
    {0x90, "----EEEE"},  // SSG-EG
    {0xA4, "--BBBFFF"},  // block, F-number bits 10-8
    {0xB0, "--FFFAAA"},  // feedback, algorithm
    {0xB4, "OOAA-PPP"},  // outputs (L bit 7, R bit 6), AMS, PMS
};

// The (shift, width) of each run of one letter.
std::set<std::pair<int, int>> runs(const char* bits) {
  std::set<std::pair<int, int>> out;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && bits[j] == bits[i]) ++j;
    if (bits[i] != '-') out.insert({8 - j, j - i});
    i = j;
  }
  return out;
}

TEST(FmRegisters, FieldsMatchTheDocumentedMap) {
  size_t matched = 0;
  for (const Documented& d : kMap) {
    std::set<std::pair<int, int>> fields;
    for (const FmField& f : fm_field::kAll) {
      if (f.base != d.base) continue;
      fields.insert({f.shift, f.width});
      EXPECT_EQ(f.perOperator, d.base < fm_register::kFrequencyLow) << std::hex << int(d.base);
      ++matched;
    }
    EXPECT_EQ(fields, runs(d.bits)) << std::hex << int(d.base);
  }
  EXPECT_EQ(matched, std::size(fm_field::kAll));
}

TEST(FmRegisters, PutChangesOnlyItsField) {
  for (const FmField& f : fm_field::kAll) {
    uint8_t byte = f.put(0xFF, 0);
    EXPECT_EQ(byte, 0xFF & ~f.mask());
    EXPECT_EQ(f.get(f.put(byte, f.maximum())), f.maximum());
    EXPECT_EQ(f.put(byte, f.maximum()), 0xFF);
  }
}

}  // namespace
}  // namespace tallow
