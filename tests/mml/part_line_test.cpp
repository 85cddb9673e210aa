// Numbers and codes on part lines: step counts kept modulo 2^32, note codes
// past the letters, and optional numbers that must follow directly.
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

TEST(PartLine, StepCountsWrapAround) {
  // 65535 * 127^5 steps: far beyond 32 bits, kept modulo 2^32.
  CompileResult r = compileIntermediate("1 @p@p@p@p@p c%65535 @j127@j127@j127@j127@j127\n");
  ASSERT_EQ(r.status, 0) << r.out;
  int64_t exact = 65535;
  for (int i = 0; i < 5; ++i) exact *= 127;
  EXPECT_EQ(r.job.partSteps[0], static_cast<int32_t>(static_cast<uint32_t>(exact)));
}

TEST(PartLine, NoteCodesBeyondTheLettersUseSemitones12To15) {
  // The second definition replaces record 1, the note "c".
  CompileResult r = compileIntermediate(".MML 31 n\n.MML 47 K\n1 n e K+ n\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, 0), "91 00 00 4B 60 00 40 60 00 4C 60 00 FF");
}

TEST(PartLine, OptionalNumbersFollowDirectly) {
  EXPECT_EQ(partHex(compileIntermediate("1 %c-64\n"), 0), "93 00 FF");
  CompileResult blank = compileIntermediate("1 %c 5\n");
  EXPECT_EQ(blank.status, 1);
  EXPECT_NE(blank.out.find(toCp932("ＭＭＬが解読できません")), std::string::npos);
  EXPECT_EQ(compileIntermediate("1 (c4) 3\n").status, 1);
}

}  // namespace
}  // namespace tallow::testing
