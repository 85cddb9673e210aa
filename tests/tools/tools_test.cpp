// The command lines of krb2vgm and krb2mid, in-process: usage errors (2),
// unreadable or malformed input (1), a bank beside the file or not.  The
// real executables' statuses are seen in the output tests.
#include <gtest/gtest.h>

#include "base/out_stream.h"
#include "support/playback_support.h"
#include "support/temp_dir.h"
#include "tools/export_tools.h"

namespace tallow::testing {
namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun runTool(bool vgm, const std::vector<std::string>& args) {
  StringOutStream out, err;
  int status = vgm ? tools::runKrb2Vgm(args, out, err) : tools::runKrb2Mid(args, out, err);
  return {status, out.text(), err.text()};
}

TEST(Tools, CommandLinesAndExitStatus) {
  TempDir dir;
  std::vector<uint8_t> song = compileMml(".fmbfile Bank\n1 @1 c4 @p d4 @j0\nA c4\n");
  ASSERT_FALSE(song.empty());
  dir.write("SONG.KRB", std::string(song.begin(), song.end()));
  dir.write("bad.KRB", "not a krb file at all");
  std::vector<uint8_t> hostile = makeKrb({{0x95, 0x84, 1, 0x96, 0}});
  dir.write("LOOP.KRB", std::string(hostile.begin(), hostile.end()));
  const std::string in = dir.file("SONG.KRB"), vgm = dir.file("o.vgm"), mid = dir.file("o.mid");
  for (bool isVgm : {true, false}) {
    const char* name = isVgm ? "krb2vgm" : "krb2mid";
    const std::string out = isVgm ? vgm : mid;
    ToolRun help = runTool(isVgm, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("usage: ") + name, 0), 0u);
    const std::vector<std::string> usage[] = {{},
                                              {in},
                                              {"--loops", "0", in, out},
                                              {"--max-seconds", "x", in, out},
                                              {"--bogus", in, out},
                                              {in, out, "--loops"}};
    for (const std::vector<std::string>& args : usage) {
      ToolRun r = runTool(isVgm, args);
      EXPECT_EQ(r.status, 2) << name;
      EXPECT_NE(r.err.find("Try '"), std::string::npos) << r.err;
    }
    ToolRun bad = runTool(isVgm, {dir.file("bad.KRB"), out});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind(std::string(name) + ": ", 0), 0u) << bad.err;
    ToolRun loop = runTool(isVgm, {dir.file("LOOP.KRB"), out});
    EXPECT_EQ(loop.status, 1);
    EXPECT_NE(loop.err.find("never advances"), std::string::npos) << loop.err;
    ToolRun ok = runTool(isVgm, {"--loops", "3", "--max-seconds", "60", in, out});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(dir.exists(isVgm ? "o.vgm" : "o.mid"));
  }
  // No bank beside the file: krb2vgm says so, and that PCM is left out.
  ToolRun r = runTool(true, {in, vgm});
  EXPECT_NE(r.err.find("the bank Bank.FMB is not beside"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("PCM and BEEP parts are not in the VGM file"), std::string::npos);
  EXPECT_EQ(runTool(true, {"--fmb", dir.file("none.fmb"), in, vgm}).status, 1);
  dir.write("bank.FMB", std::string(6152, '\0'));
  r = runTool(true, {in, vgm});
  EXPECT_EQ(r.err.find("not beside"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tallow::testing
