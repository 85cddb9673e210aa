// The console: messages in the encoding of each stream (CP932 to pipes and
// files, UTF-8 to a UTF-8 terminal or when asked), standard output flushed
// before standard error is written, and the lines for editors.  Through the
// real executable, in pipes and in a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp932.h"
#include "base/locale.h"
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
      {"pipe in a UTF-8 locale", ChildStreams::kSeparate, {{"LANG", "ja_JP.UTF-8"}}, true},
      {"LC_ALL before LANG",
       ChildStreams::kSeparate,
       {{"LC_ALL", "C"}, {"LANG", "C.UTF-8"}},
       false},
      {"empty LC_ALL counts as unset",
       ChildStreams::kSeparate,
       {{"LC_ALL", ""}, {"LANG", "C.UTF-8"}},
       true},
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

// The language: TALLOWC_LANG, else the first locale variable set; C, POSIX
// and Japanese locales keep the rules' texts.
TEST(Console, LanguageFromTheEnvironment) {
  using Env = Environment;
  struct {
    Env env;
    Language language;
  } cases[] = {
      {Env{}, Language::kJapanese},
      {Env{.lang = "C.UTF-8"}, Language::kJapanese},
      {Env{.lang = "POSIX"}, Language::kJapanese},
      {Env{.lang = "ja_JP.SJIS"}, Language::kJapanese},
      {Env{.lang = "en_US.UTF-8"}, Language::kEnglish},
      {Env{.lcMessages = "de_DE", .lang = "ja_JP.UTF-8"}, Language::kEnglish},
      {Env{.lcAll = "", .lang = "fr_FR.UTF-8"}, Language::kEnglish},
      {Env{.lcAll = "C", .lang = "en_US.UTF-8"}, Language::kJapanese},
      {Env{.language = "ja", .lcAll = "en_US.UTF-8"}, Language::kJapanese},
      {Env{.language = "EN"}, Language::kEnglish},
      {Env{.language = "xx", .lang = "en_GB"}, Language::kEnglish},
  };
  for (const auto& c : cases) EXPECT_EQ(languageOf(c.env), c.language) << c.env.lang.value_or("");
}

// English says what was found, what was expected and where; advice about
// what cannot sound right comes as warnings.  Every case also as editor lines.
TEST(Console, EnglishMessagesAndAdvice) {
  const std::string tone = ".fmbfile B\n#@ NO AL FB L R *\n@1 7 0 0 0\n";
  struct {
    std::string song;
    std::vector<std::string> out;
    std::string editorLine;
  } cases[] = {
      {"1 v20 c4\n", {"v20: volume 20 is out of range 0..15"}, "song.mml:1:6: error: v20"},
      {"1 c4 H\n", {"'H' is not an MML command"}, "song.mml:1:"},
      {"#include nosuch.mml\n", {"looked in the current directory"}, "song.mml:1:20: error:"},
      {tone + "1 @5 c4\n",
       {"(!)@5: the bank this source writes defines no such tone"},
       "song.mml:4:5: warning: @5"},
      {tone + "1 @1 c4\n", {"(!)@1: the tone has L = R = 0"}, "song.mml:4:5: warning: @1"},
      {"1 T120 c4\n",
       {"(!)T120 sets the timer value (38 BPM); for 120 BPM write t120"},
       "song.mml:1:7: warning: T120"},
      {"1 c4\n2 c2\n3 c2\n",
       {"(!)the parts end at different steps: FM1 96, FM2 192, FM3 192"},
       "song.mml: warning: the parts end"},
      {"1 c4\n1 (c4\n",
       {"(!)FM1: the '(' of line 2 is still open at the end of the part"},
       "song.mml:2:4: warning: FM1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.song);
    TempDir dir;
    ProcessLimits limits;
    limits.env = {{"TALLOWC_LANG", "en"}, {"TALLOWC_DIAGNOSTICS", "gnu"}};
    ProcessResult r = run(dir, c.song, limits);
    for (const std::string& text : c.out) EXPECT_NE(r.out.find(text), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.editorLine), std::string::npos) << r.err;
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

TEST(Console, ToolsTellTheirVersion) {
  TempDir dir;
  ProcessResult r = runProcess(KRBDUMP_BINARY, {"--version"}, dir.path(), dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "krbdump (Tallow) 3.19w\n");
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
      {"inside a macro, at the macro's name",
       "#define Q c q9\n1 c4\n1 $Q\n",
       {},
       "song.mml:3:3: error: パラメータが範囲外です\n"},
      {"after a macro",
       "#define Q c\n1 $Q q9\n",
       {},
       "song.mml:2:7: error: パラメータが範囲外です\n"},
      {"after repetition braces",
       "1 {c}3 q9\n",
       {},
       "song.mml:1:9: error: パラメータが範囲外です\n"},
      {"after a macro in an included file",
       "#include \"sub.mml\"\n",
       {{"sub.mml", "#define Q c\n1 $Q q9\n"}},
       "sub.mml:2:7: error: パラメータが範囲外です\n"},
      {"included with a backslash",
       "#include inc\\sub.mml\n",
       {{"inc/sub.mml", "1 q9\n"}},
       "inc/sub.mml:1:4: error: パラメータが範囲外です\n"},
      {"inside a #with block",
       "#with 1\nq9\n",
       {},
       "song.mml:2:2: error: パラメータが範囲外です\n"},
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
      {"advice", "1 c4\n2 c2\n", {}, "song.mml: warning: パートの長さが揃っていません\n"},
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
