// Loops and envelopes: the stream bytes and the step counts they produce.
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

struct Case {
  const char* name;
  std::string text;
  bool raw;
  std::string fm1;  // empty: the compile must fail
  int32_t steps;
  int32_t loopSteps;
  std::string message;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class LoopCase : public ::testing::TestWithParam<Case> {};

TEST_P(LoopCase, StreamAndSteps) {
  const Case& c = GetParam();
  CompileResult r = compileIntermediate(c.text, [&](CompileJob& j) { j.optimize = c.raw ? 0 : 1; });
  EXPECT_NE(r.out.find(toCp932(c.message)), std::string::npos) << r.out;
  if (c.fm1.empty()) {
    EXPECT_EQ(r.status, 1) << r.out;
    return;
  }
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, 0), c.fm1);
  EXPECT_EQ(r.job.partSteps[0], c.steps);
  EXPECT_EQ(r.job.partLoopSteps[0], c.loopSteps);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

constexpr bool kRaw = true;
constexpr bool kOptimised = false;

INSTANTIATE_TEST_SUITE_P(
    Loops, LoopCase,
    ::testing::Values(
        Case{"ExpandedThreeTimes", "1 (c4)3\n", kRaw,
             "91 00 00 3C 60 00 91 00 00 3C 60 00 91 00 00 3C 60 00 FF", 288, 0, ""},
        Case{"ExpandedWithEscape", "1 (c4:d4)3\n", kOptimised,
             "91 00 00 3C 60 00 3E 60 00 3C 60 00 3E 60 00 3C 60 00 FF", 480, 0, ""},
        Case{"ExpandedDefaultCount", "1 (c4)\n", kOptimised, "91 00 00 3C 60 00 3C 60 00 FF", 192,
             0, ""},
        Case{"Nested", "1 ((c4)2 d4)2\n", kOptimised,
             "91 00 00 3C 60 00 3C 60 00 3E 60 00 3C 60 00 3C 60 00 3E 60 00 FF", 576, 0, ""},
        Case{"DriverDefault", "1 @p c4 @j\n", kOptimised, "95 91 00 00 3C 60 00 96 01 FF", 192, 0,
             ""},
        Case{"DriverEndless", "1 @p c4 @j1\n1 d4\n", kOptimised, "95 91 00 00 3C 60 00 96 00", 96,
             96, ""},
        Case{"DriverEndlessRawKeepsRestOfLine", "1 @p c4 @j0 d4\n1 e4\n", kRaw,
             "95 91 00 00 3C 60 00 96 00 91 00 00 3E 60 00 FF", 192, 96, ""},
        Case{"DriverEscapeFilled", "1 @p c4 : d4 @j3\n", kRaw,
             "95 91 00 00 3C 60 00 9B 05 02 00 00 00 00 91 00 00 3E 60 00 96 02 FF", 480, 0, ""},
        Case{"DriverEscapeOwnCount", "1 @p c4 :3 d4 @j5\n", kRaw,
             "95 91 00 00 3C 60 00 9B 05 02 00 00 00 00 91 00 00 3E 60 00 96 04 FF", 480, 0, ""},
        Case{"DriverEscapeBeforeTimeStaysUnfilled", "1 @p : c4 @j3\n", kRaw,
             "95 9B 05 FF 00 00 00 00 91 00 00 3C 60 00 96 02 FF", 288, 0, ""},
        Case{"EscapeUnderKr2", ".krbtype 2\n1 @p c4 : d4 @j3\n", kRaw, "", 0, 0,
             "非展開ループは途中脱出できません"},
        Case{"EscapeWithoutLoop", "1 c4 :\n", kRaw, "", 0, 0, "ループ開始がありません"},
        Case{"CloseInsideDriverLoop", "1 @p c4 )\n", kRaw, "", 0, 0,
             "非展開ループを先に閉じる必要があります"},
        Case{"DriverCloseInsideExpanded", "1 (c4 @j\n", kRaw, "", 0, 0,
             "展開ループを先に閉じる必要があります"},
        Case{"LoopWithoutTime", "1 (v10)\n", kRaw, "", 0, 0, "ループさせる音階MMLがありません"},
        Case{"ExpandedEscapeWithCount", "1 (c4:2 d4)\n", kRaw, "", 0, 0,
             "展開ループ脱出時にはループ回数の指定はできません"},
        Case{"SeventeenNested", "1 (((((((((((((((((c4\n", kRaw, "", 0, 0,
             "ループのネストが深すぎます"},
        Case{"NineDriverLoops", "1 @p@p@p@p@p@p@p@p@p c4\n", kRaw, "", 0, 0,
             "ループのネストが深すぎます"},
        Case{"UnclosedLoopWarns", "1 (c4\n", kOptimised, "91 00 00 3C 60 00 FF", 96, 0,
             "(!)トラック 0 のループが閉じていません\n\n"},
        Case{"CopiesPastTheMemoryCapRefused", "1 (((c%65535)65535)65535)65535\n", kRaw, "", 0, 0,
             "メモリが足りません"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Envelopes, LoopCase,
    ::testing::Values(
        Case{"VolumeOnlyGetsAStep", ".env 1 v10\n1 X1 c4\n", kRaw,
             "91 00 00 84 75 91 00 00 3C 01 00 86 3C 5F 00 FF", 96, 0, ""},
        Case{"TwoStepsWithoutLoop", ".env 1 r24 r24\n1 X1 c4\n", kRaw,
             "91 00 00 91 00 00 3C 18 00 86 91 00 00 3C 18 00 86 3C 30 00 FF", 96, 0, ""},
        Case{"LoopPointWithCarry", ".env 1 L r30\n1 X1 M0 c4 c%30\n", kRaw,
             "91 00 00 91 00 00 3C 1E 00 86 91 00 00 3C 1E 00 86 91 00 00 3C 1E 00 86 91 00 00 3C "
             "06 00 91 00 00 3C 18 00 86 91 00 00 3C 06 00 FF",
             126, 0, ""},
        Case{"TimeUnitZero", ".env 1 r1\n1 X1 S0 c4\n", kRaw, "91 00 00 91 00 00 3C 60 00 FF", 96,
             0, ""},
        Case{"ApostropheSkipsTieMark", ".env 1 r24' r24\n1 X1 c4\n", kRaw,
             "91 00 00 91 00 00 3C 18 00 91 00 00 3C 18 00 86 3C 30 00 FF", 96, 0, ""},
        Case{"VolumeHashReachable", ".env 1 v#63\n1 X1 c4\n", kRaw,
             "91 00 00 84 3F 91 00 00 3C 01 00 86 3C 5F 00 FF", 96, 0, ""},
        Case{"KeyOffsetAndDetune", ".env 1 k2 u5 r1\n1 X1 c%2\n", kRaw,
             "91 00 00 91 05 00 3E 01 00 86 3E 01 00 FF", 2, 0, ""},
        Case{"LoopWithoutStepRefused", ".env 1 r1 L v10\n1 X1 c4\n", kRaw, "", 0, 0,
             "ループ内に音長のないエンベロープです"},
        Case{"UndefinedKeyword", ".env 1 z\n", kRaw, "", 0, 0, "未定義のエンベロープＭＭＬです"},
        Case{"ApostropheAlone", ".env 1 ' r1\n", kRaw, "", 0, 0, "未定義のエンベロープＭＭＬです"},
        Case{"SecondLoopPoint", ".env 1 L r1 L\n", kRaw, "", 0, 0, "ループポイントは定義済です"},
        Case{"NumberOutOfRange", ".env 129 v1\n", kRaw, "", 0, 0,
             "数値が所定の範囲を越えています"}),
    caseName);

}  // namespace
}  // namespace tallow::testing
