// The KRB layout: the header, the end codes and the output names.
#include <gtest/gtest.h>

#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

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

}  // namespace
}  // namespace tallow::testing
