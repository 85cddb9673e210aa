// MML commands, loops and envelopes, table-driven: each case compiles one
// part line (or a few lines) and compares a part's stream byte for byte (and
// its step counts, where given).  Raw cases run without the optimiser so
// that every event the handlers wrote is visible.  Then numbers and codes on
// part lines: step counts kept modulo 2^32, note codes past the letters, and
// optional numbers that must follow directly.  (The cases the acceptance
// cases hold, the same source giving the same bytes, are left to them.)
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

class MmlCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MmlCase, WritesTheExpectedStream) { checkStreamCase(GetParam()); }

std::string caseName(const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Notes, MmlCase,
    ::testing::Values(StreamCase{"ThirdWithoutWarning", "1 c3\n", kOptimised, 0,
                                 "91 00 00 3C 80 00 FF", ""},
                      StreamCase{"KeySignatureAndNatural", "1 F+ f4 f=4 f=+8\n", kOptimised, 0,
                                 "91 00 00 42 60 00 41 60 00 41 30 00 FF", ""},
                      StreamCase{"KeySignatureNeedsAccidental", "1 C c\n", kOptimised, 0, "",
                                 "調号が見つかりません"},
                      StreamCase{"StepLengthsBlankDotJoinSign", "1 c% 12 c%12.~%6 c%+12\n", kRaw, 0,
                                 "91 00 00 3C 0C 00 91 00 00 3C 18 00 91 00 00 3C 0C 00 FF", ""},
                      StreamCase{"KeyWidthOnFmDownward", ".keywidth 64\n1 u-96 c4\n", kOptimised, 0,
                                 "91 DF FF 3B 60 00 FF", ""},
                      StreamCase{"KeyWidthOnPcm", ".keywidth 64\nA u96 c4\n", kOptimised, 6,
                                 "91 5F 00 3C 60 00 FF", ""},
                      StreamCase{"DetuneClampedWithoutKeyWidth", "1 u2000 c\n", kOptimised, 0,
                                 "91 FF 03 3C 60 00 FF", ""},
                      StreamCase{"NoteByteOutOfRangeRefused", ".keywidth 1\n1 o8 b u32768 c\n",
                                 kOptimised, 0, "", "音程が範囲外です"}),
    caseName);

// The everyday note is read in one pass; these notes sit at the edges of what
// that pass takes and what it leaves to the general reading, which must give
// the same bytes and messages either way.
INSTANTIATE_TEST_SUITE_P(
    NoteEdges, MmlCase,
    ::testing::Values(
        StreamCase{"LeadingZeros", "1 c004 c000004\n", kRaw, 0,
                   "91 00 00 3C 60 00 91 00 00 3C 60 00 FF", ""},
        StreamCase{"OddDotWarns", "1 c64. c128.\n", kRaw, 0,
                   "91 00 00 3C 09 00 91 00 00 3C 04 00 FF", "処理できない音長です"},
        StreamCase{"BlanksBetweenModifiers", "1 c + 4 . & c\n", kRaw, 0,
                   "91 00 00 3D 90 00 86 91 00 00 3C 60 00 FF", ""},
        StreamCase{
            "GatedJoinAndTie", "1 Q128 c4~8&c8 c\n", kRaw, 0,
            "91 00 00 3C 90 00 86 91 00 00 3C 18 00 86 90 18 00 91 00 00 3C 30 00 86 90 30 00 FF",
            ""},
        StreamCase{"JoinAndTieAtLineEnd", "1 l8 c~\n1 c&\n1 c\n", kRaw, 0,
                   "91 00 00 3C 60 00 91 00 00 3C 30 00 86 91 00 00 3C 30 00 FF", ""},
        StreamCase{
            "TwoByteTieKeyword", ".MML 144 &&\n1 c4&&c4 c4&c4\n", kRaw, 0,
            "91 00 00 3C 60 00 86 91 00 00 3C 60 00 91 00 00 3C 60 00 86 91 00 00 3C 60 00 FF", ""},
        StreamCase{"OneByteJoinKeyword", ".MML 146 +\n1 c4+8 c+4+8\n", kRaw, 0,
                   "91 00 00 3C 90 00 91 00 00 3D 90 00 FF", ""},
        StreamCase{"KeywordWithTheCodeOfANumber", ".MML 2 %\n1 c%4 d\n", kRaw, 0,
                   "91 00 00 3C 04 00 91 00 00 3E 60 00 FF", ""},
        StreamCase{"ZeroLengthGated", "1 @q200 c0\n", kRaw, 0, "91 00 00 3C 01 00 FF", ""},
        StreamCase{"ScaledLengths", "1 TB30 c4 c2~2\n", kRaw, 0,
                   "80 78 00 91 00 00 3C 80 01 91 00 00 3C 00 06 FF", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    TempoAndVolume, MmlCase,
    ::testing::Values(
        StreamCase{"OtherClockSearch", "1 %t4883 %t20\n", kRaw, 0, "80 F1 03 80 00 00 FF", ""},
        StreamCase{"Offset", "1 V-10 v#50 V-60 v#50\n", kRaw, 0, "84 28 84 00 FF", ""},
        StreamCase{"ValueBottom", "1 v#0 v-#5\n", kRaw, 0, "84 00 84 00 FF",
                   "音量が下限を越えました"},
        StreamCase{"StepReadsDigitAfterBlank", "1 v10 v+ 3\n", kRaw, 0, "84 75 84 7B FF", ""},
        StreamCase{"OneNoteValueStepUsesOffset", "1 V-7 v#100 !+#10 c\n", kRaw, 0,
                   "84 5D 84 67 91 00 00 3C 60 00 84 5D FF", ""},
        StreamCase{"LevelBytes", "1 @r#100 @r3\n", kRaw, 0, "94 64 94 67 FF", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(ChannelSettings, MmlCase,
                         ::testing::Values(StreamCase{"RegisterForChipHalf", "4 Y180,192\n",
                                                      kOptimised, 3, "97 01 B4 C0 FF", ""},
                                           StreamCase{"ModulationKr2",
                                                      ".krbtype 2\n1 W1 w10,27,3,5\n", kOptimised,
                                                      0, "85 0A 64 03 05 01 00 FF", ""},
                                           StreamCase{"PartFilterWithBlankIsEmptyRun", "12 | 1 c\n",
                                                      kOptimised, 1, "", "ＭＭＬが解読できません"}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(
    Kr3AndPortamento, MmlCase,
    ::testing::Values(
        // The accumulators are wide: 65535 steps of increment 65535 never wrap,
        // so every step after the first is held at the target detune.
        StreamCase{"PortamentoWideAccumulatorUp", "A c_e%65535,%1,65535,1\n", kOptimised, 6,
                   "91 F6 FE 40 01 00 86 91 00 00 40 FE FF FF", ""},
        StreamCase{"PortamentoWideAccumulatorDown", "A e_c%65535,%1,65535,1\n", kOptimised, 6,
                   "91 0A 01 3C 01 00 86 91 00 00 3C FE FF FF", ""},
        StreamCase{"ChordOutsidePolyMode", "3 @M3 \"c\"4\n", kOptimised, 2, "", "ポリモードでのみ"},
        StreamCase{"ChordOtherCommand", "3 @M1 \"cv5\"4\n", kOptimised, 2, "",
                   "使用できないコマンドがあります"},
        StreamCase{"WaveWithLastByte", "1 @WA100,0,1,2,3,4\n", kOptimised, 0,
                   "A0 08 64 00 01 00 01 03 04 02 FF", ""},
        StreamCase{"RelativeLevels", "1 @tl1,-1,2,-2 @ar3,-3,4,-4\n", kOptimised, 0,
                   "A3 04 01 FF 02 FE A4 04 03 FD 04 FC FF", ""},
        StreamCase{
            "FmSlideUp", "1 c_d%4\n", kRaw, 0,
            "91 00 00 3C 01 00 86 91 16 00 3C 01 00 86 91 0A 00 3D 01 00 86 91 00 00 3E 01 00 FF",
            ""},
        StreamCase{"PcmTiedSlideKeepsDetune", "A c_d%2&d%3\n", kRaw, 6,
                   "91 80 FF 3E 01 00 86 91 00 00 3E 01 00 86 3E 03 00 FF", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Loops, MmlCase,
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
    Envelopes, MmlCase,
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
