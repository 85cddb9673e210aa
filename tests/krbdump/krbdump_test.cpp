// krbdump: the listing for musicians (positions in steps and bars, tempo in
// BPM, loops with their play counts, the part filter) and the refusal of
// files that are not KRB files, through the library and the executable.
#include "krbdump/krbdump.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "output/krb_format.h"
#include "output/krb_reader.h"
#include "support/compile_helpers.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

TEST(KrbDump, BarsAndBeats) {
  struct {
    uint64_t steps;
    int zenlen;
    const char* shown;
  } cases[] = {
      {0, 384, "1:1"},  {96, 384, "1:2"},      {384, 384, "2:1"}, {400, 384, "2:1+16"},
      {48, 192, "1:2"}, {767, 768, "1:4+191"}, {0, 2, "-"},
  };
  for (const auto& c : cases) EXPECT_EQ(barsAndBeats(c.steps, c.zenlen), c.shown) << c.steps;
}

TEST(KrbDump, TempoInBeatsPerMinute) {
  // t120 gives timer value 735 at .zenlen 384 and 446 at 192: about 120 BPM.
  EXPECT_NEAR(beatsPerMinute(735, 384), 120.1, 0.1);
  EXPECT_NEAR(beatsPerMinute(446, 192), 120.1, 0.1);
  EXPECT_EQ(beatsPerMinute(1024, 384), 0);  // a step of no time has no tempo
}

TEST(KrbDump, PartNames) {
  EXPECT_EQ(partIndex("FM1"), 0);
  EXPECT_EQ(partIndex("pcm8"), 13);
  EXPECT_EQ(partIndex("Beep"), 14);
  EXPECT_EQ(partIndex("FM7"), -1);
  EXPECT_EQ(partIndex(""), -1);
}

TEST(KrbDump, ListingForMusicians) {
  CompileResult r = compileIntermediate("1 t120 @p c4 : d4 @j3 e4 @p c4 @j0\n2 r1 c4\n");
  ASSERT_EQ(r.status, 0) << r.out;
  KrbDumpOptions options;
  options.parts.fill(false);
  options.parts[0] = true;
  std::string listing = dumpKrb(r.image, options);
  for (const char* line : {
           "tempo 735 (120.1 BPM)",
           "loop-start (plays 3 times)",
           "loop-escape 2 (leaves on pass 3)",
           "loop-end 2 (plays 3 times)",
           "loop-start (plays forever)",
           "loop-end 0 (plays forever)",
       }) {
    EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
  }
  // After the loop: two whole passes and the part up to the escape.
  EXPECT_NE(listing.find("note o4e 96                        480 2:2"), std::string::npos)
      << listing;
  EXPECT_EQ(listing.find("FM2"), std::string::npos);  // filtered out
}

// The summary: lengths in steps and seconds (a tempo event in FM1 sets the
// time of every part), loop lengths, and the sync warning.
TEST(KrbDump, Summary) {
  CompileResult r = compileIntermediate("1 t120 c1 c1\n2 c1 c2\nA @p c1 @j0\nB r1\n");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string error;
  std::optional<KrbFile> file = readKrb(r.image, error);
  ASSERT_TRUE(file) << error;
  std::string summary = summarizeKrb(*file).render(Encoding::kCp932);
  for (const char* line : {
           "FM1          768      4.00           -             -\n",
           "FM2          576      3.00           -             -\n",
           "PCM1         384      2.00         384          2.00\n",
           "PCM2         384      2.00           -             -\n",
           "warning: the parts that play notes end at different steps: FM1 768, FM2 576, PCM1 "
           "384\n",
       }) {
    EXPECT_NE(summary.find(line), std::string::npos) << line << "\n" << summary;
  }
  EXPECT_EQ(summary.find("FM3"), std::string::npos);  // parts without events stay out
  CompileResult inStep = compileIntermediate("1 t120 c1\n2 r2 c2\n");
  std::optional<KrbFile> together = readKrb(inStep.image, error);
  ASSERT_TRUE(together) << error;
  EXPECT_EQ(summarizeKrb(*together).render(Encoding::kCp932).find("warning"), std::string::npos);
}

ProcessResult krbdump(const std::vector<std::string>& args, const TempDir& dir) {
  return runProcess(KRBDUMP_BINARY, args, dir.path(), dir.path());
}

// Files that are no KRB files end with a message on standard error and exit
// status 1; usage errors with exit status 2.
TEST(KrbDump, RefusesWhatIsNoKrbFile) {
  CompileResult r = compileIntermediate("1 c4\n");
  std::string good(r.image.begin(), r.image.end());
  std::string badTag = good;
  badTag[0] = 'X';
  std::string outside = good;
  outside[krb_header::kPartTable + 8 * 3 + 4] = '\x7F';  // FM4's length
  std::string badCount = good;
  badCount[krb_header::kPartCount] = 3;
  struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> args;
    int status;
    const char* said;
  } cases[] = {
      {"good", good, {"a.krb"}, 0, "FM1 offset 0x100"},
      {"truncated", good.substr(0, 200), {"a.krb"}, 1, "shorter than its 259-byte header"},
      {"bad tag", badTag, {"a.krb"}, 1, "neither KR3 nor KR2"},
      {"entry outside", outside, {"a.krb"}, 1, "the entry of FM4 lies outside the file"},
      {"part count", badCount, {"a.krb"}, 1, "part count is 3"},
      {"missing file", good, {"none.krb"}, 1, "cannot read none.krb"},
      {"help", good, {"--help"}, 0, "usage: krbdump"},
      {"unknown option", good, {"--frobnicate", "a.krb"}, 2, "unknown option --frobnicate"},
      {"unknown part", good, {"--part", "FM9", "a.krb"}, 2, "no part is named FM9"},
      {"part filter", good, {"--part", "beep", "a.krb"}, 0, "BEEP offset"},
      {"summary", good, {"--summary", "a.krb"}, 0, "FM1           96"},
      {"writes", good, {"--writes", "--part", "FM1", "a.krb"}, 0, "FM1   write port 0 28 = F0"},
      {"writes, missing bank",
       good,
       {"--writes", "--fmb", "no.fmb", "a.krb"},
       1,
       "cannot read the bank no.fmb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("a.krb", c.bytes);
    ProcessResult p = krbdump(c.args, dir);
    EXPECT_EQ(p.status, c.status) << p.out << p.err;
    EXPECT_NE((p.out + p.err).find(c.said), std::string::npos) << p.out << p.err;
    if (c.status != 0) {
      EXPECT_EQ(p.out, "");
    }
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
