// MML commands, table-driven: each case compiles one part line (or a few
// lines) and compares a part's stream byte for byte.  Raw cases run without
// the optimiser so that every event the handlers wrote is visible.
#include <gtest/gtest.h>

#include "support/stream_case.h"

namespace tallow::testing {
namespace {

class MmlCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MmlCase, WritesTheExpectedStream) { checkStreamCase(GetParam()); }

std::string caseName(const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Notes, MmlCase,
    ::testing::Values(
        StreamCase{"Lengths", "1 c c8 c4. c4~8 c%10 c0 c8..\n", kOptimised, 0,
                   "91 00 00 3C 60 00 3C 30 00 3C 90 00 3C 90 00 3C 0A 00 3C 01 00 3C 54 00 FF",
                   ""},
        StreamCase{"ThirdWithoutWarning", "1 c3\n", kOptimised, 0, "91 00 00 3C 80 00 FF", ""},
        StreamCase{"FifthWarns", "1 c5\n", kOptimised, 0, "91 00 00 3C 4C 00 FF",
                   "処理できない音長です"},
        StreamCase{"OddDotWarns", "1 c%3.\n", kOptimised, 0, "91 00 00 3C 04 00 FF",
                   "処理できない音長です"},
        StreamCase{"Accidentals", "1 c+ c# c- c++\n", kOptimised, 0,
                   "91 00 00 3D 60 00 3D 60 00 3B 60 00 3E 60 00 FF", ""},
        StreamCase{"KeySignatureAndNatural", "1 F+ f4 f=4 f=+8\n", kOptimised, 0,
                   "91 00 00 42 60 00 41 60 00 41 30 00 FF", ""},
        StreamCase{"KeySignatureNeedsAccidental", "1 C c\n", kOptimised, 0, "",
                   "調号が見つかりません"},
        StreamCase{"PitchOutOfRange", "1 k9 o8b\n", kOptimised, 0, "", "音程が範囲外です"},
        StreamCase{"CaretRaisesOneNote", "1 ^^c4 c4\n", kOptimised, 0,
                   "91 00 00 54 60 00 3C 60 00 FF", ""},
        StreamCase{"StepLengthsBlankDotJoinSign", "1 c% 12 c%12.~%6 c%+12\n", kRaw, 0,
                   "91 00 00 3C 0C 00 91 00 00 3C 18 00 91 00 00 3C 0C 00 FF", ""},
        StreamCase{"StepsVersusPanKeyword", "1 c%12 c%c10\n", kRaw, 0,
                   "91 00 00 3C 0C 00 91 00 00 3C 60 00 93 4A FF", ""},
        StreamCase{"TieRaw", "1 c4&c4\n", kRaw, 0, "91 00 00 3C 60 00 86 91 00 00 3C 60 00 FF", ""},
        StreamCase{"TieJoined", "1 c4&c4\n", kOptimised, 0, "91 00 00 3C C0 00 FF", ""},
        StreamCase{"GateFraction", "1 Q128 c4\n", kRaw, 0, "91 00 00 3C 30 00 86 90 30 00 FF", ""},
        StreamCase{"GateSteps", "1 @q10 c4\n", kRaw, 0, "91 00 00 3C 56 00 86 90 0A 00 FF", ""},
        StreamCase{"GateAtLeastOneStep", "1 @q200 c4\n", kRaw, 0,
                   "91 00 00 3C 01 00 86 90 5F 00 FF", ""},
        StreamCase{"GateNotOnTiedNote", "1 Q128 c4&c4\n", kRaw, 0,
                   "91 00 00 3C 60 00 86 91 00 00 3C 30 00 86 90 30 00 FF", ""},
        StreamCase{"OneShotGate", "1 '3 c4 c4\n", kRaw, 0,
                   "83 03 91 00 00 3C 60 00 83 00 91 00 00 3C 60 00 FF", ""},
        StreamCase{"KeyWidthOnFm", ".keywidth 64\n1 u96 c4\n", kOptimised, 0,
                   "91 14 00 3D 60 00 FF", ""},
        StreamCase{"KeyWidthOnFmDownward", ".keywidth 64\n1 u-96 c4\n", kOptimised, 0,
                   "91 DF FF 3B 60 00 FF", ""},
        StreamCase{"KeyWidthOnPcm", ".keywidth 64\nA u96 c4\n", kOptimised, 6,
                   "91 5F 00 3C 60 00 FF", ""},
        StreamCase{"DetuneClampedWithoutKeyWidth", "1 u2000 c\n", kOptimised, 0,
                   "91 FF 03 3C 60 00 FF", ""},
        StreamCase{"NoteByteOutOfRangeRefused", ".keywidth 1\n1 o8 b u32768 c\n", kOptimised, 0, "",
                   "音程が範囲外です"},
        StreamCase{"BareTieJoinPortamentoWarn", "1 & ~ _ c4\n", kOptimised, 0,
                   "91 00 00 3C 60 00 FF", "開始音程が見つかりません"},
        StreamCase{"LengthTooLong", "1 c%65535~%1\n", kOptimised, 0, "", "音長が長すぎます"},
        StreamCase{"ScaledLengthTooLong", "1 TB1 c%20000\n", kOptimised, 0, "", "音長が長すぎます"},
        StreamCase{"Rests", "1 r4 r8\n", kRaw, 0, "90 60 00 90 30 00 FF", ""}),
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
        StreamCase{"Tempo120", "1 t120\n", kOptimised, 0, "80 DF 02 FF", ""},
        StreamCase{"Tempo30Impossible", "1 t30\n", kOptimised, 0, "",
                   "このテンポに対応するタイマ値"},
        StreamCase{"TimerAThenRelative", "1 T0 @t10\n", kRaw, 0, "80 00 00 80 D9 00 FF", ""},
        StreamCase{"TimerBScalesLengths", "1 TB200 c4 t120 c4\n", kRaw, 0,
                   "80 20 03 91 00 00 3C 80 01 80 DF 02 91 00 00 3C 60 00 FF", ""},
        StreamCase{"RelativeTempoSteps", "1 @t10 @t10 @t0\n", kRaw, 0,
                   "80 F5 02 80 08 03 80 DF 02 FF", ""},
        StreamCase{"RelativeTempoNotPositive", "1 @t-200\n", kOptimised, 0, "", "このテンポ"},
        StreamCase{"OtherClockSearch", "1 %t4883 %t20\n", kRaw, 0, "80 F1 03 80 00 00 FF", ""},
        StreamCase{"LevelOnFmAndPcm", "1 v12\nA v12\n", kOptimised, 6, "84 64 FF", ""},
        StreamCase{"Offset", "1 V-10 v#50 V-60 v#50\n", kRaw, 0, "84 28 84 00 FF", ""},
        StreamCase{"Scale", "1 @v%50 v#127\n", kOptimised, 0, "84 3F FF", ""},
        StreamCase{"LevelTop", "1 v+\n", kOptimised, 0, "84 7F FF", "音量が上限を超えました"},
        StreamCase{"ValueTop", "1 v+#\n", kOptimised, 0, "84 7F FF", "音量が上限を越えました"},
        StreamCase{"ValueBottom", "1 v#0 v-#5\n", kRaw, 0, "84 00 84 00 FF",
                   "音量が下限を越えました"},
        StreamCase{"StepReadsDigitAfterBlank", "1 v10 v+ 3\n", kRaw, 0, "84 75 84 7B FF", ""},
        StreamCase{"OneNoteVolume", "1 v10 !5 c4 c4\n", kRaw, 0,
                   "84 75 84 6B 91 00 00 3C 60 00 84 75 91 00 00 3C 60 00 FF", ""},
        StreamCase{"TwoOneNoteVolumes", "1 v10 !5 !3 c4\n", kRaw, 0,
                   "84 75 84 6B 84 67 91 00 00 3C 60 00 84 6B FF", ""},
        StreamCase{"OneNoteValueStepUsesOffset", "1 V-7 v#100 !+#10 c\n", kRaw, 0,
                   "84 5D 84 67 91 00 00 3C 60 00 84 5D FF", ""},
        StreamCase{"TableRedefinition", "1 v3 %v3,80 %v5,90 v5\n", kRaw, 0, "84 67 84 50 84 5A FF",
                   ""},
        StreamCase{"BracketAliases", "1 v10 ]3 [# [ ]#5\n", kRaw, 0,
                   "84 75 84 7B 84 7A 84 79 84 7E FF", ""},
        StreamCase{"LevelBytes", "1 @r#100 @r3\n", kRaw, 0, "94 64 94 67 FF", ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ChannelSettings, MmlCase,
    ::testing::Values(
        StreamCase{"ToneSelect", "1 @1 @128\n", kRaw, 0, "81 00 81 7F FF", ""},
        StreamCase{"ToneOutOfRange", "1 @0\n", kRaw, 0, "", "パラメータが範囲外です"},
        StreamCase{"PanFix", ".panfix 1\n1 %c0 @5\n", kRaw, 0, "93 40 81 04 93 40 FF", ""},
        StreamCase{"RegisterForChipHalf", "4 Y180,192\n", kOptimised, 3, "97 01 B4 C0 FF", ""},
        StreamCase{"FmSwitchPerChannel", "3 @X1\n", kOptimised, 2, "8D 01 04 FF", ""},
        StreamCase{"FmSwitchOnPcm", "A @x1\n", kOptimised, 6, "",
                   "FM音源以外では使用できないコマンドです"},
        StreamCase{"ExtendedSettingKr3", "1 @K0,20,0\n", kOptimised, 0, "8B 03 00 7F 00 FF", ""},
        StreamCase{"ExtendedSettingKr2", ".krbtype 2\n1 @K0,20,0\n", kOptimised, 0,
                   "8B 03 00 14 00 FF", ""},
        StreamCase{"ModulationKr3", "1 w10,0,2,5\n", kOptimised, 0,
                   "9F 08 0A 00 00 0A 02 05 0F 00 FF", ""},
        StreamCase{"ModulationKr2", ".krbtype 2\n1 W1 w10,27,3,5\n", kOptimised, 0,
                   "85 0A 64 03 05 01 00 FF", ""},
        StreamCase{"PartFilters", "12 c|1d|!1e\n", kOptimised, 1, "91 00 00 3C 60 00 40 60 00 FF",
                   ""},
        StreamCase{"PartFilterWithBlankIsEmptyRun", "12 | 1 c\n", kOptimised, 1, "",
                   "ＭＭＬが解読できません"},
        StreamCase{"FilterKr3", "1 @f-1\n", kOptimised, 0, "A1 03 9C FF 0D FF", ""},
        StreamCase{"FilterKr2", ".krbtype 2\n1 @f-1\n", kOptimised, 0, "92 FF FF", ""},
        StreamCase{"UndefinedEnvelope", "1 X2\n", kOptimised, 0, "", "未定義のエンベロープ"},
        StreamCase{"OctaveLimits", "1 o8>\n", kOptimised, 0, "", "オクターブが上限を超えました"},
        StreamCase{"OctaveUpToEight", "1 o7> c4 o0 c4 o4 < c4\n", kOptimised, 0,
                   "91 00 00 6C 60 00 0C 60 00 30 60 00 FF", ""},
        StreamCase{"DetuneSumLimit", "1 U32768 @u1\n", kOptimised, 0, "",
                   "ピッチベンド限界を越えました"},
        StreamCase{"DefaultLength", "1 l8 c l c\n", kOptimised, 0, "91 00 00 3C 30 00 3C 60 00 FF",
                   ""},
        StreamCase{"DefaultLengthUnscaled", "1 TB1 l8 c\n", kOptimised, 0,
                   "80 04 00 91 00 00 3C C0 00 FF", ""},
        StreamCase{"EndMarkerRaw", "1 c4*d4\n", kRaw, 0,
                   "91 00 00 3C 60 00 FF 91 00 00 3E 60 00 FF", ""},
        StreamCase{"PanValues", "1 %c-64 %c63 %l15 %l %l0 %r15 %r %r0 %c\n", kRaw, 0,
                   "93 00 93 7F 93 00 93 00 93 3C 93 7F 93 7F 93 43 93 40 FF", ""},
        StreamCase{"OperatorTotalLevelFm5", "5 @TL2,100\n", kOptimised, 4, "97 01 49 64 FF", ""},
        StreamCase{"OperatorOnPcmWritesNothing", "A @TL2,100\n", kOptimised, 6, "FF", ""},
        StreamCase{"AlgorithmKeepsFeedback", "1 @FB5 %l @AL3 @AMS1\n", kOptimised, 0,
                   "97 00 B0 28 93 00 97 00 B0 2B 97 00 B4 90 FF", ""},
        StreamCase{"OperatorZero", "1 @TL0,10\n", kOptimised, 0, "", "パラメータが範囲外です"}),
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
        StreamCase{"Chord", "3 @M1 \"ceg\"4\n", kOptimised, 2,
                   "89 01 01 8A 06 60 00 3C 40 43 90 FF", ""},
        StreamCase{"ChordOctaveRestored", "3 @M1 \"c>c\"4 c4\n", kOptimised, 2,
                   "89 01 01 8A 06 60 00 3C 48 90 90 91 00 00 3C 60 00 FF", ""},
        StreamCase{
            "ChordTies", "3 @M2 \"ceg\"4&\"ceg\"4 \"ceg\"4\n", kOptimised, 2,
            "89 01 02 8A 06 60 00 3C 40 43 90 86 8A 06 60 00 3C 40 43 90 8A 06 60 00 3C 40 43 90 "
            "FF",
            ""},
        StreamCase{"ChordOutsidePolyMode", "3 @M3 \"c\"4\n", kOptimised, 2, "", "ポリモードでのみ"},
        StreamCase{"ChordEmpty", "3 @M1 \"\"4\n", kOptimised, 2, "", "音程の指定がありません"},
        StreamCase{"ChordOtherCommand", "3 @M1 \"cv5\"4\n", kOptimised, 2, "",
                   "使用できないコマンドがあります"},
        StreamCase{"PolyOutsideFm3", "1 @M1\n", kOptimised, 0, "", "FM音源チャンネル3以外"},
        StreamCase{"Kr3CheckFirst", ".krbtype 2\n1 @M1\n", kOptimised, 0, "", "KR2形式KRBファイル"},
        StreamCase{"Wave", "1 @WP100,0,1,2,3\n", kOptimised, 0, "9F 08 64 00 01 00 01 03 0F 02 FF",
                   ""},
        StreamCase{"WaveWithLastByte", "1 @WA100,0,1,2,3,4\n", kOptimised, 0,
                   "A0 08 64 00 01 00 01 03 04 02 FF", ""},
        StreamCase{"FilterDetune", "1 @FD-100\n2 @FD100,5\n", kOptimised, 1, "A1 03 64 00 05 FF",
                   ""},
        StreamCase{"RelativeLevels", "1 @tl1,-1,2,-2 @ar3,-3,4,-4\n", kOptimised, 0,
                   "A3 04 01 FF 02 FE A4 04 03 FD 04 FC FF", ""},
        StreamCase{"HoldWholeLength", "1 c_e4,4\n", kRaw, 0, "91 00 00 3C 60 00 FF", ""},
        StreamCase{"OctaveChangeStays", "1 c_>c%2 c4\n", kOptimised, 0,
                   "91 00 00 3C 01 00 86 48 01 00 48 60 00 FF", ""},
        StreamCase{
            "FmSlideUp", "1 c_d%4\n", kRaw, 0,
            "91 00 00 3C 01 00 86 91 16 00 3C 01 00 86 91 0A 00 3D 01 00 86 91 00 00 3E 01 00 FF",
            ""},
        StreamCase{
            "PcmLinearDetune", "A c_g%5\n", kRaw, 6,
            "91 02 FE 43 01 00 86 91 7A FE 43 01 00 86 91 FA FE 43 01 00 86 91 7A FF 43 01 00 86 "
            "91 "
            "FA FF 43 01 00 FF",
            ""},
        StreamCase{"PcmTooFarFromBase", "A c_>c4,8,0,0,-12\n", kRaw, 6, "",
                   "ポルタメント量が大きすぎます"},
        StreamCase{"PcmTiedSlideKeepsDetune", "A c_d%2&d%3\n", kRaw, 6,
                   "91 80 FF 3E 01 00 86 91 00 00 3E 01 00 86 3E 03 00 FF", ""},
        StreamCase{"OnBeep", "X c_e4\n", kRaw, 14, "", "BEEPパートでは使えません"},
        StreamCase{"WithoutTarget", "1 c_4\n", kRaw, 0, "", "目標音階が見つかりません"}),
    caseName);

}  // namespace
}  // namespace tallow::testing
