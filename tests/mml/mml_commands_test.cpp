// MML commands, table-driven: each case compiles one part line (or a few
// lines) and compares a part's stream byte for byte.  Raw cases run without
// the optimiser so that every event the handlers wrote is visible.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tallow::testing
