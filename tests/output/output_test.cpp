// The stream optimiser on hand-made streams, and the KRB layout and listing.
#include <gtest/gtest.h>

#include "krbdump/krbdump.h"
#include "output/optimizer.h"
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

TEST(KrbLayout, EmptySourceHasFifteenEndCodes) {
  CompileResult r = compileIntermediate("");
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.image.size(), 259u + 15u);
  const char* header = "4B 52 33 28 55 4E 4B 4E 4F 57 4E 29";  // "KR3(UNKNOWN"
  EXPECT_EQ(toHex(std::vector<uint8_t>(r.image.begin(), r.image.begin() + 12)), header);
  EXPECT_EQ(toHex(std::vector<uint8_t>(r.image.begin() + 0x6D, r.image.begin() + 0x7D)),
            "00 01 00 00 04 00 00 00 04 01 00 00 01 00 00 00");
  EXPECT_EQ(toHex(std::vector<uint8_t>(r.image.begin() + 0xFD, r.image.begin() + 0x104)),
            "80 01 00 8F 01 01 FF");
  EXPECT_EQ(r.job.outputPath, "SONG.KRB");
}

TEST(KrbLayout, HeaderSettings) {
  CompileResult r = compileIntermediate(
      ".zenlen 96\n.snduse 8\n.krbtype 2\n.discomp 0\n.fmbfile abcdefghijklmn\n.wpk waves\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.image[0x02], '2');
  EXPECT_EQ(r.image[0x6C], 8);
  EXPECT_EQ(r.image[0xFD], 96);
  EXPECT_EQ(r.image[0xFF], 0xFF);
  EXPECT_EQ(r.image[0x102], 4);
  EXPECT_EQ(std::string(r.image.begin() + 0x53, r.image.begin() + 0x5F), "abcdefghijkl");
  EXPECT_EQ(r.job.fmbName, "ABCDEFGHIJKL");
  EXPECT_EQ(r.job.wpkName, "WAVES");
  EXPECT_EQ(r.job.allowDecompile, 0);
}

TEST(KrbLayout, OutputNames) {
  struct {
    const char* source;
    const char* text;
    const char* shown;
    const char* opened;
  } cases[] = {
      {"song.mml", "", "SONG.KRB", "SONG.KRB"},
      {"dir.v2/song", "", "dir.v2/SONG.KRB", "dir.v2/SONG.KRB"},
      {"a/b.c.mml", "", "a/B.C.KRB", "a/B.C.KRB"},
      {"song.mml", ".krbfile out\n", "OUT.KRB", "OUT.KRB"},
      {"song.mml", ".krbfile out.bin\n", "OUT.BIN", "OUT.BIN"},
      {"song.mml", ".krbfile sub\\out\n", "sub\\OUT.KRB", "sub/OUT.KRB"},
      {"\x83\x65\x83\x58.mml", "", "\x83\x65\x83\x58.KRB", "\x83\x65\x83\x58.KRB"},
  };
  for (const auto& c : cases) {
    CompileResult r = compileIntermediate(c.text, [&](CompileJob& j) { j.sourcePath = c.source; });
    EXPECT_EQ(r.job.outputPath, c.shown) << c.source << " " << c.text;
    EXPECT_EQ(r.job.outputFilePath, c.opened) << c.source << " " << c.text;
  }
}

TEST(KrbDump, ListsEventsAndRespectsTheLock) {
  CompileResult r = compileIntermediate("1 v12 c4\n");
  std::string listing = dumpKrb(r.image);
  EXPECT_NE(listing.find("tag      KR3\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("FM1 offset 0x100 length 12\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("84 79"), std::string::npos) << listing;
  EXPECT_NE(listing.find("note o4c 96"), std::string::npos) << listing;
  CompileResult locked = compileIntermediate("1 c4\n", [](CompileJob& j) { j.allowDecompile = 0; });
  std::string header = dumpKrb(locked.image);
  EXPECT_NE(header.find("locked"), std::string::npos);
  EXPECT_EQ(header.find("FM1 offset"), std::string::npos);
  EXPECT_EQ(dumpKrb({1, 2, 3}), "not a KRB file: shorter than its 259-byte header\n");
}

}  // namespace
}  // namespace tallow::testing
