// The KRB layout: the header settings and the output names.  (The whole file
// of an empty source is an acceptance case.)
#include <gtest/gtest.h>

#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

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
      {"dir.v2/song", "", "dir.v2/SONG.KRB", "dir.v2/SONG.KRB"},
      {"a/b.c.mml", "", "a/B.C.KRB", "a/B.C.KRB"},
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
