// The stream optimiser on hand-made streams: what one pass joins, drops and
// keeps, where it fails, and what a second pass finds in the first's result.
#include "output/optimizer.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

struct Case {
  const char* name;
  std::string in;
  std::string once;                                 // after one pass; empty: the pass fails
  std::optional<std::string> twice = std::nullopt;  // after two passes, when not `once`
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string optimized(const std::string& hex, size_t (*pass)(uint8_t*, size_t)) {
  std::vector<uint8_t> s = fromHex(hex);
  size_t length = pass(s.data(), s.size());
  s.resize(length);
  return length == 0 ? "" : toHex(s);
}

class OptimizerCase : public ::testing::TestWithParam<Case> {};

TEST_P(OptimizerCase, OneAndTwoPasses) {
  const Case& c = GetParam();
  EXPECT_EQ(optimized(c.in, optimizeStream), c.once);
  EXPECT_EQ(optimized(c.in, optimizeStreamTwice), c.twice.value_or(c.once));
}

INSTANTIATE_TEST_SUITE_P(
    Passes, OptimizerCase,
    ::testing::Values(
        Case{"TiedNotesJoin", "3C 60 00 86 3C 60 00 FF", "3C C0 00 FF"},
        Case{"TiedNotesOfOtherPitchStay", "3C 60 00 86 3E 60 00 FF", "3C 60 00 86 3E 60 00 FF"},
        Case{"TiedNotesJoinUpToFFFF", "3C FF 7F 86 3C 00 80 FF", "3C FF FF FF"},
        Case{"RestsJoinUpToFFFE", "90 FF 7F 90 FF 7F FF", "90 FE FF FF"},
        Case{"UndefinedCodeFails", "7A 00 00 FF", ""}, Case{"CodeBeyondTableFails", "A5 FF", ""},
        Case{"MissingEndCodeFails", "3C 60 00", ""},
        Case{"TieJoinsOverADroppedDetune", "91 00 00 3C 60 00 86 91 00 00 3C 60 00 FF",
             "91 00 00 3C 60 00 86 3C 60 00 FF", "91 00 00 3C C0 00 FF"},
        Case{"TieBeyond16BitsStays", "91 00 00 3C 00 80 86 91 00 00 3C 00 80 FF",
             "91 00 00 3C 00 80 86 3C 00 80 FF"},
        Case{"RestsJoinOverADroppedVolume", "84 10 3C 60 00 90 30 00 84 10 90 30 00 FF",
             "84 10 3C 60 00 90 30 00 90 30 00 FF", "84 10 3C 60 00 90 60 00 FF"},
        Case{"PanSupersededOnceADroppedToneIsGone",
             "81 05 3C 60 00 93 10 86 84 20 81 05 93 20 3C 60 00 FF",
             "81 05 3C 60 00 93 10 86 84 20 93 20 3C 60 00 FF",
             "81 05 3C 60 00 86 84 20 93 20 3C 60 00 FF"},
        Case{"PanRepeatedOnceADroppedToneIsGone",
             "81 05 3C 60 00 93 10 3C 60 00 81 05 93 10 3C 60 00 FF",
             "81 05 3C 60 00 93 10 3C 60 00 93 10 3C 60 00 FF",
             "81 05 3C 60 00 93 10 3C 60 00 3C 60 00 FF"},
        Case{"PanAfterAtQIsWrittenAgain", "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF",
             "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF"},
        Case{"NoteRunsDropDetunesAndJoinTrailingRests",
             "91 00 00 3C 30 00 91 00 00 3E 30 00 86 90 10 00 91 00 00 40 30 00 86 90 10 00 "
             "90 08 00 91 05 00 41 30 00 FF",
             "91 00 00 3C 30 00 3E 30 00 86 90 10 00 40 30 00 86 90 18 00 91 05 00 41 30 00 FF"},
        Case{"TiedNotesInANoteRunJoinInTheSecondPass",
             "91 00 00 3C 30 00 91 00 00 3E 30 00 86 91 00 00 40 30 00 86 91 00 00 40 10 00 FF",
             "91 00 00 3C 30 00 3E 30 00 86 40 30 00 86 40 10 00 FF",
             "91 00 00 3C 30 00 3E 30 00 86 40 40 00 FF"},
        Case{"TieOfTheSamePitchEndsANoteRun", "91 00 00 3C 30 00 91 00 00 3E 30 00 86 3E 10 00 FF",
             "91 00 00 3C 30 00 3E 40 00 FF"},
        Case{"UndefinedCodeAfterANoteFails", "3C 60 00 7A 00 00 FF", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallow::testing
