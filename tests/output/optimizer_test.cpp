// The stream optimiser on hand-made streams: what one pass joins, drops and
// keeps, where it fails, and what a second pass finds in the first's result.
#include "output/optimizer.h"

#include <gtest/gtest.h>

#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

struct Case {
  const char* name;
  std::string in;
  std::string out;  // empty: the pass fails
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class OptimizerCase : public ::testing::TestWithParam<Case> {};

TEST_P(OptimizerCase, OnePass) {
  std::vector<uint8_t> s = fromHex(GetParam().in);
  size_t length = optimizeStream(s.data(), s.size());
  if (GetParam().out.empty()) {
    EXPECT_EQ(length, 0u);
    return;
  }
  s.resize(length);
  EXPECT_EQ(toHex(s), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Passes, OptimizerCase,
    ::testing::Values(
        Case{"OnlyEndCode", "FF", "FF"},
        Case{"TiedNotesJoin", "3C 60 00 86 3C 60 00 FF", "3C C0 00 FF"},
        Case{"TiedNotesOfOtherPitchStay", "3C 60 00 86 3E 60 00 FF", "3C 60 00 86 3E 60 00 FF"},
        Case{"TiedNotesJoinUpToFFFF", "3C FF 7F 86 3C 00 80 FF", "3C FF FF FF"},
        Case{"RestsJoinUpToFFFE", "90 FF 7F 90 FF 7F FF", "90 FE FF FF"},
        Case{"TiedNotesBeyond16BitsStay", "3C 40 9C 86 3C 40 9C FF", "3C 40 9C 86 3C 40 9C FF"},
        Case{"RestsJoinBelowFFFF", "90 30 75 90 30 75 90 30 75 FF", "90 60 EA 90 30 75 FF"},
        Case{"RestOfFFFFStays", "90 FF FF 90 01 00 FF", "90 FF FF 90 01 00 FF"},
        Case{"VolumeSupersededByVolume", "84 10 84 20 3C 60 00 FF", "84 20 3C 60 00 FF"},
        Case{"VolumeSupersededAcrossTempo", "84 10 80 DF 02 84 20 3C 60 00 FF",
             "80 DF 02 84 20 3C 60 00 FF"},
        Case{"RepeatedValueDropped", "84 10 3C 60 00 84 10 3C 60 00 FF",
             "84 10 3C 60 00 3C 60 00 FF"},
        Case{"LoopStartResetsMemories", "84 10 3C 60 00 95 84 10 3C 60 00 96 01 FF",
             "84 10 3C 60 00 95 84 10 3C 60 00 96 01 FF"},
        Case{"PanBeforeToneChangeStays", "93 00 81 00 93 7F 3C 60 00 FF",
             "93 00 81 00 93 7F 3C 60 00 FF"},
        Case{"ToneChangeForgetsPan", "93 10 3C 60 00 81 00 93 10 3C 60 00 FF",
             "93 10 3C 60 00 81 00 93 10 3C 60 00 FF"},
        Case{"DetuneStopsAtRegisterWrite", "91 05 00 97 00 B0 01 91 05 00 3C 60 00 FF",
             "91 05 00 97 00 B0 01 91 05 00 3C 60 00 FF"},
        Case{"RegisterWriteKeepsGateMemory", "83 02 3C 60 00 97 00 B0 01 83 02 3C 60 00 FF",
             "83 02 3C 60 00 97 00 B0 01 3C 60 00 FF"},
        Case{"EndlessLoopEndsStream", "95 3C 60 00 96 00 3E 60 00 FF", "95 3C 60 00 96 00"},
        Case{"UndefinedCodeFails", "7A 00 00 FF", ""}, Case{"CodeBeyondTableFails", "A5 FF", ""},
        Case{"MissingEndCodeFails", "3C 60 00", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// What the second pass finds to do in the first pass's result.
struct TwoPassCase {
  const char* name;
  std::string in;
  std::string once;
  std::string twice;  // empty: the first pass fails
};

void PrintTo(const TwoPassCase& c, std::ostream* os) { *os << c.name; }

class OptimizerTwoPasses : public ::testing::TestWithParam<TwoPassCase> {};

TEST_P(OptimizerTwoPasses, SecondPassOverTheFirstsResult) {
  std::vector<uint8_t> once = fromHex(GetParam().in);
  std::vector<uint8_t> twice = once;
  size_t length = optimizeStreamTwice(twice.data(), twice.size());
  if (GetParam().twice.empty()) {
    EXPECT_EQ(length, 0u);
    return;
  }
  twice.resize(length);
  EXPECT_EQ(toHex(twice), GetParam().twice);
  once.resize(optimizeStream(once.data(), once.size()));
  EXPECT_EQ(toHex(once), GetParam().once);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptimizerTwoPasses,
    ::testing::Values(
        TwoPassCase{"TieJoinsOverADroppedDetune", "91 00 00 3C 60 00 86 91 00 00 3C 60 00 FF",
                    "91 00 00 3C 60 00 86 3C 60 00 FF", "91 00 00 3C C0 00 FF"},
        TwoPassCase{"TieBeyond16BitsStays", "91 00 00 3C 00 80 86 91 00 00 3C 00 80 FF",
                    "91 00 00 3C 00 80 86 3C 00 80 FF", "91 00 00 3C 00 80 86 3C 00 80 FF"},
        TwoPassCase{"RestsJoinOverADroppedVolume", "84 10 3C 60 00 90 30 00 84 10 90 30 00 FF",
                    "84 10 3C 60 00 90 30 00 90 30 00 FF", "84 10 3C 60 00 90 60 00 FF"},
        TwoPassCase{"PanSupersededOnceADroppedToneIsGone",
                    "81 05 3C 60 00 93 10 86 84 20 81 05 93 20 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 86 84 20 93 20 3C 60 00 FF",
                    "81 05 3C 60 00 86 84 20 93 20 3C 60 00 FF"},
        TwoPassCase{"PanRepeatedOnceADroppedToneIsGone",
                    "81 05 3C 60 00 93 10 3C 60 00 81 05 93 10 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 3C 60 00 93 10 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 3C 60 00 3C 60 00 FF"},
        TwoPassCase{"PanAfterAtQIsWrittenAgain", "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF",
                    "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF",
                    "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF"},
        TwoPassCase{"EndlessLoopEndsStream", "95 3C 60 00 96 00 3E 60 00 FF", "95 3C 60 00 96 00",
                    "95 3C 60 00 96 00"},
        TwoPassCase{"UndefinedCodeFails", "3C 60 00 7A 00 00 FF", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallow::testing
