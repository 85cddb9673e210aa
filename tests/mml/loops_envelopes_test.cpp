// Loops and envelopes: the stream bytes and the step counts they produce.
#include <gtest/gtest.h>

#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

class LoopCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LoopCase, StreamAndSteps) { checkStreamCase(GetParam()); }

std::string caseName(const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Loops, LoopCase,
    ::testing::Values(
        StreamCase{"ExpandedThreeTimes", "1 (c4)3\n", kRaw, 0,
                   "91 00 00 3C 60 00 91 00 00 3C 60 00 91 00 00 3C 60 00 FF", "", 288, 0},
        StreamCase{"ExpandedWithEscape", "1 (c4:d4)3\n", kOptimised, 0,
                   "91 00 00 3C 60 00 3E 60 00 3C 60 00 3E 60 00 3C 60 00 FF", "", 480, 0},
        StreamCase{"ExpandedDefaultCount", "1 (c4)\n", kOptimised, 0,
                   "91 00 00 3C 60 00 3C 60 00 FF", "", 192, 0},
        StreamCase{"Nested", "1 ((c4)2 d4)2\n", kOptimised, 0,
                   "91 00 00 3C 60 00 3C 60 00 3E 60 00 3C 60 00 3C 60 00 3E 60 00 FF", "", 576, 0},
        StreamCase{"DriverDefault", "1 @p c4 @j\n", kOptimised, 0, "95 91 00 00 3C 60 00 96 01 FF",
                   "", 192, 0},
        StreamCase{"DriverEndless", "1 @p c4 @j1\n1 d4\n", kOptimised, 0,
                   "95 91 00 00 3C 60 00 96 00", "", 96, 96},
        StreamCase{"DriverEndlessRawKeepsRestOfLine", "1 @p c4 @j0 d4\n1 e4\n", kRaw, 0,
                   "95 91 00 00 3C 60 00 96 00 91 00 00 3E 60 00 FF", "", 192, 96},
        StreamCase{"DriverEscapeFilled", "1 @p c4 : d4 @j3\n", kRaw, 0,
                   "95 91 00 00 3C 60 00 9B 05 02 00 00 00 00 91 00 00 3E 60 00 96 02 FF", "", 480,
                   0},
        StreamCase{"DriverEscapeOwnCount", "1 @p c4 :3 d4 @j5\n", kRaw, 0,
                   "95 91 00 00 3C 60 00 9B 05 02 00 00 00 00 91 00 00 3E 60 00 96 04 FF", "", 480,
                   0},
        StreamCase{"DriverEscapeBeforeTimeStaysUnfilled", "1 @p : c4 @j3\n", kRaw, 0,
                   "95 9B 05 FF 00 00 00 00 91 00 00 3C 60 00 96 02 FF", "", 288, 0},
        StreamCase{"SeventeenNested", "1 (((((((((((((((((c4\n", kRaw, 0, "",
                   "ループのネストが深すぎます"},
        StreamCase{"NineDriverLoops", "1 @p@p@p@p@p@p@p@p@p c4\n", kRaw, 0, "",
                   "ループのネストが深すぎます"},
        StreamCase{"UnclosedLoopWarns", "1 (c4\n", kOptimised, 0, "91 00 00 3C 60 00 FF",
                   "(!)トラック 0 のループが閉じていません\n\n", 96, 0},
        StreamCase{"CopiesPastTheMemoryCapRefused", "1 (((c%65535)65535)65535)65535\n", kRaw, 0, "",
                   "メモリが足りません"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Envelopes, LoopCase,
    ::testing::Values(
        StreamCase{"VolumeOnlyGetsAStep", ".env 1 v10\n1 X1 c4\n", kRaw, 0,
                   "91 00 00 84 75 91 00 00 3C 01 00 86 3C 5F 00 FF", "", 96, 0},
        StreamCase{"TwoStepsWithoutLoop", ".env 1 r24 r24\n1 X1 c4\n", kRaw, 0,
                   "91 00 00 91 00 00 3C 18 00 86 91 00 00 3C 18 00 86 3C 30 00 FF", "", 96, 0},
        StreamCase{
            "LoopPointWithCarry", ".env 1 L r30\n1 X1 M0 c4 c%30\n", kRaw, 0,
            "91 00 00 91 00 00 3C 1E 00 86 91 00 00 3C 1E 00 86 91 00 00 3C 1E 00 86 91 00 00 3C "
            "06 00 91 00 00 3C 18 00 86 91 00 00 3C 06 00 FF",
            "", 126, 0},
        StreamCase{"TimeUnitZero", ".env 1 r1\n1 X1 S0 c4\n", kRaw, 0,
                   "91 00 00 91 00 00 3C 60 00 FF", "", 96, 0},
        StreamCase{"ApostropheSkipsTieMark", ".env 1 r24' r24\n1 X1 c4\n", kRaw, 0,
                   "91 00 00 91 00 00 3C 18 00 91 00 00 3C 18 00 86 3C 30 00 FF", "", 96, 0},
        StreamCase{"VolumeHashReachable", ".env 1 v#63\n1 X1 c4\n", kRaw, 0,
                   "91 00 00 84 3F 91 00 00 3C 01 00 86 3C 5F 00 FF", "", 96, 0},
        StreamCase{"KeyOffsetAndDetune", ".env 1 k2 u5 r1\n1 X1 c%2\n", kRaw, 0,
                   "91 00 00 91 05 00 3E 01 00 86 3E 01 00 FF", "", 2, 0},
        StreamCase{"LoopWithoutStepRefused", ".env 1 r1 L v10\n1 X1 c4\n", kRaw, 0, "",
                   "ループ内に音長のないエンベロープです"},
        StreamCase{"NumberOutOfRange", ".env 129 v1\n", kRaw, 0, "",
                   "数値が所定の範囲を越えています"}),
    caseName);

}  // namespace
}  // namespace tallow::testing
