// The console: messages in the encoding of each stream (CP932 to pipes and
// files, UTF-8 to a UTF-8 terminal or when asked), standard output flushed
// before standard error is written, and the lines for editors.  Through the
// real executable, in pipes and in a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp932.h"
#include "base/out_stream.h"
#include "base/utf8.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

// A song whose line 2 stops the compile; its title is Shift-JIS "表".
const std::string kFailingSong = ".title \x95\x5C\n1 c4 q9\n";

ProcessResult run(TempDir& dir, const std::string& song, ProcessLimits limits,
                  std::vector<std::string> args = {"song.mml"}) {
  dir.write("song.mml", song);
  fs::create_directories(dir.file("tmp"));
  return runProcess(TALLOWC_BINARY, args, dir.path(), dir.file("tmp"), limits);
}

struct EncodingCase {
  const char* name;
  ChildStreams streams;
  std::vector<std::pair<std::string, std::string>> env;
  bool utf8;  // the expected encoding of both streams
};

TEST(Console, EachStreamInItsEncoding) {
  const EncodingCase cases[] = {
      {"pipe", ChildStreams::kSeparate, {}, false},
      {"pipe asked for UTF-8", ChildStreams::kSeparate, {{"TALLOWC_ENCODING", "utf-8"}}, true},
      {"UTF-8 terminal", ChildStreams::kTerminal, {{"LC_ALL", "C.UTF-8"}}, true},
      {"ASCII terminal", ChildStreams::kTerminal, {{"LC_ALL", "C"}}, false},
      {"UTF-8 terminal asked for CP932",
       ChildStreams::kTerminal,
       {{"LC_ALL", "C.UTF-8"}, {"TALLOWC_ENCODING", "CP932"}},
       false},
  };
  for (const EncodingCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ProcessLimits limits;
    limits.streams = c.streams;
    limits.env = c.env;
    ProcessResult r = run(dir, kFailingSong, limits);
    EXPECT_EQ(r.status, 1);
    std::string all = r.out + r.err;
    for (const char* message : {"パラメータが範囲外です", "コンパイルエラー"}) {
      std::string expected = c.utf8 ? std::string(message) : toCp932(message);
      EXPECT_NE(all.find(expected), std::string::npos) << all;
    }
    EXPECT_EQ(isValidUtf8(all), c.utf8) << all;
  }
}

// In UTF-8 the text of the user's files is shown as UTF-8 too, whether the
// source was Shift-JIS or UTF-8.
TEST(Console, UserTextShownAsUtf8) {
  ProcessLimits limits;
  limits.env = {{"TALLOWC_ENCODING", "utf-8"}};
  for (const std::string& title : {std::string("\x95\x5C"), std::string("表")}) {
    TempDir dir;
    ProcessResult r = run(dir, ".title " + title + "\n1 c4\n", limits);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Title   : 表\n"), std::string::npos) << r.out;
    EXPECT_TRUE(isValidUtf8(r.out + r.err));
  }
}

// The tools show the text of a KRB file (a CP932 title) in UTF-8 too.
TEST(Console, KrbdumpShowsTitlesInUtf8) {
  TempDir dir;
  run(dir, ".title \x95\x5C\n1 c4\n", {});
  ProcessLimits limits;
  limits.env = {{"TALLOWC_ENCODING", "utf-8"}};
  ProcessResult r = runProcess(KRBDUMP_BINARY, {"SONG.KRB"}, dir.path(), dir.file("tmp"), limits);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("title    表\n"), std::string::npos) << r.out;
  ProcessResult raw = runProcess(KRBDUMP_BINARY, {"SONG.KRB"}, dir.path(), dir.file("tmp"));
  EXPECT_NE(raw.out.find("title    \x95\x5C\n"), std::string::npos) << raw.out;
}

// Whatever bytes a tool writes to a UTF-8 console, the console gets UTF-8.
TEST(Console, Utf8StreamShowsCp932BytesConverted) {
  TempDir dir;
  std::FILE* file = std::fopen(dir.file("out").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  FileOutStream out(file, true);
  out.setEncoding(Encoding::kUtf8);
  out.write(std::string_view("bank \x95\x5C.FMB, "));
  out.write(std::string_view("\xE3\x82\xBA\n"));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(dir.read("out"), "bank 表.FMB, \xE3\x82\xBA\n");
}

TEST(Console, UnknownEncodingFallsBackToAuto) {
  TempDir dir;
  ProcessLimits limits;
  limits.env = {{"TALLOWC_ENCODING", "latin1"}};
  ProcessResult r = run(dir, "1 c4\n", limits);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("TALLOWC_ENCODING=latin1"), std::string::npos) << r.err;
}

// With 2>&1 the streams read in the order things happened: the position block
// and message before the verdict, the warning count before the summary.
TEST(Console, MergedStreamsKeepTheirOrder) {
  struct {
    std::string song;
    std::vector<std::string> inOrder;
  } cases[] = {
      {kFailingSong,
       {"MML to KRB Compiler Tallow", "in song.mml : Line 2", "パラメータが範囲外です",
        "コンパイルエラー"}},
      {"1 c5\n",
       {"MML to KRB Compiler Tallow", "(!)処理できない音長です", "1 個の警告がありました",
        "[ song.mml のコンパイル結果 ]", "KRBファイルを生成しました"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    ProcessLimits limits;
    limits.streams = ChildStreams::kMerged;
    ProcessResult r = run(dir, c.song, limits);
    size_t at = 0;
    for (const std::string& text : c.inOrder) {
      size_t found = r.out.find(toCp932(text), at);
      ASSERT_NE(found, std::string::npos) << text << " after " << at << ": " << r.out;
      at = found;
    }
  }
}

// TALLOWC_DIAGNOSTICS=gnu: one "FILE:LINE:COLUMN: error: TEXT" line on
// standard error, pointing at the source file and line, through includes and
// macros; standard output stays as it is.
TEST(Console, LinesForEditors) {
  struct {
    const char* name;
    std::string song;
    std::vector<std::pair<std::string, std::string>> files;
    std::string line;
  } cases[] = {
      {"main source", "1 c4\n1 q9\n", {}, "song.mml:2:4: error: パラメータが範囲外です\n"},
      {"included file",
       "1 c4\n#include \"sub.mml\"\n",
       {{"sub.mml", "1 d4\n\n1 q9\n"}},
       "sub.mml:3:4: error: パラメータが範囲外です\n"},
      {"inside a macro",
       "#define Q q9\n1 c4\n1 $Q\n",
       {},
       "song.mml:3:4: error: パラメータが範囲外です\n"},
      {"preprocessor",
       "1 c4\n#define A(x\n",
       {},
       "song.mml:2:12: error: マクロ A に対する引数が多いか、括弧が閉じていません "
       "マクロの定義が出来ません\n"},
      {"missing include",
       "#include nosuch.mml\n",
       {},
       "song.mml:1:20: error: ファイル nosuch.mml が開けません\n"},
      {"warning", "1 c5 c4\n", {}, "song.mml:1:5: warning: 処理できない音長です\n"},
      {"warning without position",
       "1 (c4\n",
       {},
       "song.mml: warning: トラック 0 のループが閉じていません\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const auto& [name, text] : c.files) dir.write(name, text);
    ProcessLimits limits;
    limits.env = {{"TALLOWC_DIAGNOSTICS", "gnu"}, {"TALLOWC_ENCODING", "utf-8"}};
    ProcessResult r = run(dir, c.song, limits);
    EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
    ProcessResult plain = run(dir, c.song, ProcessLimits{.env = {{"TALLOWC_ENCODING", "utf-8"}}});
    EXPECT_EQ(r.out, plain.out);
  }
}

}  // namespace
}  // namespace tallow::testing
