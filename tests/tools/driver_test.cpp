// The driver through the whole program, in-process: command line, summary,
// /detail, exit status, writing the KRB file and cleaning up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/cp932.h"
#include "support/compile_helpers.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

const std::string kBanner = "MML to KRB Compiler Tallow version 3.19w (Oct 29 2020)\n";

// Runs the program with the scratch directory as current directory and as
// TMPDIR's parent, so that leftover intermediate files can be counted.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory("tmp");
    env_.tmpdir = dir_.file("tmp");
  }

  DriverResult run(std::vector<std::string> args) { return runProgram(args, env_); }
  size_t leftovers() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("tmp"),
                                             std::filesystem::directory_iterator{}));
  }

  TempDir dir_;
  CurrentDirectory inDir_{dir_.path()};
  Environment env_;
};

// A switch that is none of the five fails (nothing was compiled); asking for
// help or the version succeeds.  (The acceptance cases hold the rest.)
TEST_F(DriverTest, UsageCases) {
  dir_.write("song.mml", "1 c4\n");
  dir_.write("b.mml", "1 d4\n");
  std::string usage = toCp932("\n\t Usage : tallowc <filename.mml> [/n /s /lock /nokrb /detail]\n");
  struct {
    std::vector<std::string> args;
    int status;
    std::string err;
    std::string out;
  } cases[] = {
      {{"-h"}, 0, usage, ""},
      {{"song.mml", "--help"}, 0, usage, ""},
      {{"--version"}, 0, "", "tallowc (Tallow) 3.19w\n"},
      {{"song.mml", "/detial"}, 1, usage, ""},
      {{"/nosuchswitch"}, 1, usage, ""},
  };
  for (const auto& c : cases) {
    DriverResult r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.size();
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
  EXPECT_FALSE(dir_.exists("SONG.KRB"));
  EXPECT_EQ(leftovers(), 0u);
}

// In English the driver's own lines are English and /s names the file kept;
// the summary's layout stays.
TEST_F(DriverTest, EnglishDriver) {
  env_.language = "en";
  dir_.write("song.mml", "1 c4\n");
  DriverResult r = run({"song.mml", "/detial"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("/detial is not a switch"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("/s     : keep the intermediate file"), std::string::npos) << r.err;
  r = run({"song.mml", "/s", "/detail"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("[ Result of compiling song.mml ]\nTitle   : (UNKNOWN)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("( FM1) =     96 Step(s)           \t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Wrote SONG.KRB (280 bytes)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("kept the intermediate file " + dir_.file("tmp")), std::string::npos)
      << r.err;
}

TEST_F(DriverTest, SuccessWritesKrbAndSummary) {
  dir_.write("song.mml", ".title Song\n1 c4\n");
  DriverResult r = run({"/detail", "song.mml"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, kBanner);
  EXPECT_NE(
      r.out.find(toCp932("[ song.mml のコンパイル結果 ]\nTitle   : Song\nArtist  : (UNKNOWN)\n\n")),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("( FM1) =     96 Step(s)           \t( FM2) =      0 Step(s)           \n"),
            std::string::npos);
  EXPECT_NE(r.out.find("(BEEP) =      0 Step(s)           \t\n\n"), std::string::npos);
  EXPECT_NE(r.out.find(toCp932("KRBファイルを生成しました(SONG.KRB / 280 bytes )\n")),
            std::string::npos);
  EXPECT_EQ(dir_.read("SONG.KRB").size(), 280u);
  EXPECT_EQ(leftovers(), 0u);
}

TEST_F(DriverTest, WarningCountAndEndlessLoopColumn) {
  dir_.write("song.mml", "1 c5 @p c4 @j0\n");
  DriverResult r = run({"song.mml", "/detail", "/nokrb"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kBanner + toCp932("1 個の警告がありました\n\n"));
  EXPECT_NE(r.out.find(toCp932("( FM1) =    172 Step(s)(∞=    96)\t")), std::string::npos) << r.out;
  EXPECT_FALSE(dir_.exists("SONG.KRB"));
}

TEST_F(DriverTest, FailuresKeepThePreviousKrb) {
  dir_.write("SONG.KRB", "previous");
  dir_.write("song.mml", "1 q9\n");
  DriverResult r = run({"song.mml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kBanner + toCp932("コンパイルエラー\n"));
  EXPECT_EQ(dir_.read("SONG.KRB"), "previous");

  dir_.write("song.mml", "#bogus\n");
  r = run({"song.mml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kBanner + toCp932("プリプロセスエラー\n"));
  EXPECT_EQ(dir_.read("SONG.KRB"), "previous");
  EXPECT_EQ(leftovers(), 0u);
}

TEST_F(DriverTest, OutputThatCannotBeWritten) {
  std::filesystem::create_directory("SONG.KRB");  // a directory in the way
  dir_.write("song.mml", "1 c4\n");
  DriverResult r = run({"song.mml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kBanner + toCp932("ファイル出力エラー\n"));
  EXPECT_TRUE(std::filesystem::is_directory("SONG.KRB"));
  dir_.write("song.mml", ".krbfile missing\\\\dir\\\\out\n1 c4\n");
  r = run({"song.mml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kBanner + toCp932("ファイル出力エラー\n"));
  EXPECT_EQ(leftovers(), 0u);
}

TEST_F(DriverTest, KrbfileWithBackslashesWritesIntoSubdirectory) {
  std::filesystem::create_directory("sub");
  dir_.write("song.mml", ".krbfile sub\\\\out\n1 c4\n");
  DriverResult r = run({"song.mml"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("(sub\\OUT.KRB / 280 bytes )"), std::string::npos) << r.out;
  EXPECT_TRUE(dir_.exists("sub/OUT.KRB"));
}

TEST_F(DriverTest, AbsoluteSourcePath) {
  dir_.write("song.mml", "1 c4\n");
  DriverResult r = run({dir_.file("song.mml")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(dir_.exists("SONG.KRB"));
  r = run({"/no/such/dir/song.mml"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(toCp932("ファイル /no/such/dir/song.mml が開けません\n")),
            std::string::npos);
}

// "/tmp" is read as a switch, not as a source: the usage, as with no argument.
TEST_F(DriverTest, DirectoryArgumentIsAnUnknownSwitch) {
  DriverResult r = run({"/tmp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, run({}).err);
  EXPECT_NE(r.err.find("Usage : tallowc"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace tallow::testing
