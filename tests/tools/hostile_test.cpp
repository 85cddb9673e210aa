// Hostile input through the real executable: NUL and high bytes, huge
// lines, bombs and missing or unwritable files.  (Random bytes and commands
// cut off anywhere are the fuzzers' work.)  Whatever happens, the program exits normally with the
// documented status, prints the documented message, leaves an existing KRB
// and FMB byte-identical when it fails, leaves no temporary file behind and
// stays within bounded time and memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "base/cp932.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kEither = -2;  // exit status 0 or 1 are both acceptable
const std::string kBanner = "MML to KRB Compiler Tallow version 3.19w (Oct 29 2020)\n";
// The message of a case whose output is not examined (stray high bytes may
// end either way).
const std::optional<std::string> kAnyMessage = std::nullopt;
const std::string kOldKrb = "previous KRB file";
const std::string kOldFmb = "previous FMB file";
constexpr long kMaxRssKb = 1024 * 1024;

struct Hostile {
  std::string name;
  std::string song;
  int status = kEither;
  // UTF-8, found in stdout or stderr; empty: the run said nothing but its
  // banners and summary (no warning, no error, no notice).
  std::optional<std::string> message;
  std::vector<std::pair<std::string, std::string>> files = {};
  std::vector<std::string> args = {"song.mml"};
  long fileSizeLimit = -1;
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

void runHostile(const Hostile& h) {
  TempDir dir;
  dir.write("song.mml", h.song);
  dir.write("SONG.KRB", kOldKrb);
  dir.write("B.FMB", kOldFmb);
  for (const auto& [name, bytes] : h.files) dir.write(name, bytes);
  fs::create_directory(dir.file("tmp"));
  ProcessLimits limits;
  limits.fileSizeLimit = h.fileSizeLimit;
  ProcessResult r = runProcess(TALLOWC_BINARY, h.args, dir.path(), dir.file("tmp"), limits);
  SCOPED_TRACE(h.name);
  ::testing::Test::RecordProperty("milliseconds", static_cast<int>(r.seconds * 1000));
  ::testing::Test::RecordProperty("peak_kb", static_cast<int>(r.maxRssKb));
  ASSERT_FALSE(r.timedOut);
  ASSERT_EQ(r.signal, 0) << r.err;
  EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status;
  if (h.status != kEither) {
    EXPECT_EQ(r.status, h.status) << r.out << r.err;
  }
  if (h.message && h.message->empty()) {
    EXPECT_EQ(r.err, kBanner);
    for (const char* said : {"(!)", "\nin ", "\n-- "}) {
      EXPECT_EQ(r.out.find(said), std::string::npos) << r.out;
    }
  } else if (h.message) {
    EXPECT_NE((r.out + r.err).find(toCp932(*h.message)), std::string::npos) << r.out << r.err;
  }
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
  EXPECT_LT(r.maxRssKb, kMaxRssKb);
  EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
  if (r.status != 0 && fs::is_regular_file(dir.file("SONG.KRB"))) {
    EXPECT_EQ(dir.read("SONG.KRB"), kOldKrb);
  }
  if (r.status != 0) {
    EXPECT_EQ(dir.read("B.FMB"), kOldFmb);
  }
}

class HostileCase : public ::testing::TestWithParam<Hostile> {};
TEST_P(HostileCase, SurvivesAndLosesNothing) { runHostile(GetParam()); }

std::string caseName(const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; }

std::vector<Hostile> garbage() {
  std::vector<Hostile> cases;
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high.push_back(static_cast<char>(c));
  cases.push_back(
      {"HighBytesEverywhere",
       "#define A " + high + "\n1 c " + high + "\n$A{" + high + "}2\n.title " + high + "\n",
       kEither, kAnyMessage});
  cases.push_back({"LeadByteAtLineEnds", "1 c4\x81\n#define B \x95\n$B\x95\n{c\x9F}2\x81", kEither,
                   kAnyMessage});
  cases.push_back({"LeadByteAtEndOfFile", "1 c4 ;\x81", 0, ""});
  static constexpr char kNuls[] = "1 c4\0d4\n\0\0\n#define\0X\n1 e\0";
  cases.push_back(
      {"NulBytes", std::string(kNuls, sizeof kNuls - 1), 1, "マクロ名が取得できません"});
  cases.push_back(
      {"LongCommandLine", "1 " + std::string(100000, 'c') + "\n", 1, "文字列が長すぎます。"});
  cases.push_back({"LongComment", std::string(100000, ';') + "\n1 c\n", 0, ""});
  cases.push_back(
      {"LongMacro", "#define X " + std::string(100000, 'a') + "\n", 1, "文字列が長すぎます。"});
  cases.push_back({"NoFinalLineEnd", "1 c4", 0, ""});
  return cases;
}

std::vector<Hostile> bombsAndLimits() {
  return {
      {"UnclosedLoop", "1 (c4\n", 0, "ループが閉じていません"},
      {"UnclosedOrder", ".fmbfile B\n#@ NO AL\n", 0, "音色パラメータ順設定が完了していません"},
      {"MacroFanOut",
       "#define A cccccccc\n#define B $A$A$A$A$A$A$A$A\n#define C $B$B$B$B$B$B$B$B\n"
       "#define D $C$C$C$C$C$C$C$C\n#define E $D$D$D$D$D$D$D$D\n1 $E\n",
       1, "１行が8192文字を越えました"},
      {"BraceBomb", "1 {c}99999999\n", 1, "１行が8192文字を越えました"},
      {"NestedBraceBomb", "1 {{{{{{{{c}99}99}99}99}99}99}99}99\n", 1, "１行が8192文字を越えました"},
      {"LoopBomb", "1 ((c)65535)65535\n", 1, "メモリが足りません"},
      {"DeepLoopBomb",
       "1 ((((((((((((((((c)65535)65535)65535)65535)65535)65535)65535)65535)65535"
       ")65535)65535)65535)65535)65535)65535)65535\n",
       1, "メモリが足りません"},
      {"TwentyDigitNumber", "1 c99999999999999999999\n", 1, "数値が大きすぎます"},
      {"TwentyDigitHeaderNumber", ".zenlen 99999999999999999999\n", 1, "数値が大きすぎます。"},
      {"EnvelopeAtItsLimit", ".env 128 v1\n.env 127 v2\n1 X127 c\n.env 129 v1\n", 1,
       "数値が所定の範囲を越えています"},
      {"TooManyKeywordDefinitions",
       [] {
         std::string s;
         for (int i = 0; i < 257; ++i) s += ".MML 16 k" + std::to_string(1000 + i) + "\n";
         return s;
       }(),
       1, "MML定義が多すぎます"},
      {"MissingSource", "", 1, "ファイル missing.mml が開けません", {}, {"missing.mml"}},
      {"SourceIsADirectory", "", 1, "ファイル tmp が開けません", {}, {"tmp"}},
      {"IncludeOfADevice", "#include \\dev\\zero\n", 1, "ファイル \\dev\\zero が開けません"},
      {"OutputDirectoryNotWritable", ".krbfile \\\\proc\\\\self\\\\out\n1 c\n", 1,
       "ファイル出力エラー"},
      {"OutputPathIsADirectory",
       ".krbfile tmp.d\n1 c\n",
       1,
       "ファイル出力エラー",
       {{"TMP.D/x", ""}}},
      {"FileSizeLimitOnIntermediate",
       "1 " + std::string(400, 'c') + "\n",
       1,
       "プリプロセスエラー",
       {},
       {"song.mml"},
       100},
      {"FileSizeLimitOnKrb", "1 c d e f g a b\n", 1, "ファイル出力エラー", {}, {"song.mml"}, 200},
      {"BankWriteFails",
       ".fmbfile B\n#@ NO AL *\n@1 2\n1 c\n",
       1,
       "FMBファイル書き出しに失敗しました",
       {},
       {"song.mml"},
       200},
  };
}

INSTANTIATE_TEST_SUITE_P(Garbage, HostileCase, ::testing::ValuesIn(garbage()), caseName);
INSTANTIATE_TEST_SUITE_P(Limits, HostileCase, ::testing::ValuesIn(bombsAndLimits()), caseName);

}  // namespace
}  // namespace tallow::testing
