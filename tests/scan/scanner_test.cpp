// The scanner's two reading levels, its number and text readers, line
// markers and the keyword tables, through compiles of small intermediate
// texts (the scanner is only ever used by a compile).
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "scan/keyword_table.h"
#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

class ScannerCase : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ScannerCase, CompilesAsExpected) { checkStreamCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Readers, ScannerCase,
    ::testing::Values(
        StreamCase{"SignsOnMmlNumbers", "1 u+5 c u-5 c u- c\n", kOptimised, 0,
                   "91 05 00 3C 60 00 91 FB FF 3C 60 00 91 00 00 3C 60 00 FF", ""},
        StreamCase{"FourteenDigitsAccepted", "1 q00000000000008\n", kOptimised, 0, "83 08 FF", ""},
        StreamCase{"HeaderSaturates", ".zenlen 99999999999\n", kOptimised, 0, "",
                   "数値が所定の範囲を越えています"},
        StreamCase{"HeaderNumberAtEndOfFile", ".zenlen\n", kOptimised, 0, "", "EOFを検出しました"},
        StreamCase{"TokenTooLong", "123456781234567 c\n", kOptimised, 0, "",
                   "文字列が長すぎます。"},
        StreamCase{"TokenWithoutNameCharacter", "!\n", kOptimised, 0, "", "コマンドが見つからない"},
        StreamCase{"StrayEscapeByteIsNoEndOfFile", "1 c\n\x1B\n", kOptimised, 0, "",
                   "コマンドが見つからない"},
        StreamCase{"MarkerOutOfRange", "# 40000 x.mml\n", kOptimised, 0, "",
                   "数値が所定の範囲を越えています"},
        StreamCase{"MarkerTruncatedTo16Bits", "# 70000 other.mml\n1 q9\n", kOptimised, 0, "",
                   "in other.mml : Line 4464\n1 q9"},
        StreamCase{"PositionBlockShowsTakenText", "1 c5 c5\n", kOptimised, 0,
                   "91 00 00 3C 4C 00 3C 4C 00 FF", "in song.mml : Line 1\n1 c5 \n(!)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scanner, LongLineIsReadInPieces) {
  // 8191 bytes make a piece; the rest is a line of its own (line 2).
  std::string text = std::string(8191, ' ') + "1 c4\n1 q9\n";
  CompileResult r = compileIntermediate(text);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("in song.mml : Line 3\n1 q9"), std::string::npos) << r.out;
}

TEST(Scanner, NulEndsTheLine) {
  CompileResult r = compileIntermediate(std::string("1 c4\0 d4\n1 e4\n", 14));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, 0), "91 00 00 3C 60 00 40 60 00 FF");
}

TEST(Scanner, TitleTextTakesRestOfLine) {
  CompileResult r = compileIntermediate(".title  a b  \n.artist\n");
  EXPECT_TRUE(r.status == 0 && saidNothing(r)) << r.out;
  EXPECT_EQ(r.job.title, "a b  ");
  EXPECT_EQ(r.job.artist, "");
}

TEST(KeywordTable, FirstMatchInStoredOrderWins) {
  KeywordTable t("[T]", {{"v+#", 80}, {"v+", 78}, {"v", 72}});
  size_t length = 0;
  EXPECT_EQ(t.matchPrefix("v+#3", length), 80);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(t.matchPrefix("v+3", length), 78);
  EXPECT_EQ(t.matchPrefix("v3", length), 72);
  EXPECT_EQ(t.matchPrefix("x", length), -1);
  EXPECT_EQ(t.matchWhole("v+"), 78);
  EXPECT_EQ(t.matchWhole("v+3"), -1);
}

TEST(KeywordTable, RedefinitionOverwritesRecordsFromTheTitle) {
  KeywordTable t("[T]", {{"a", 20}, {"b", 21}}, 5);
  t.define(0, "zz", 30);
  size_t length = 0;
  EXPECT_EQ(t.matchPrefix("zz", length), 30);
  t.define(1, "b", 40);  // replaces "a"; the first "b" now wins
  EXPECT_EQ(t.matchPrefix("a", length), -1);
  EXPECT_EQ(t.matchPrefix("b", length), 40);
  t.define(3, "c", 50);  // over the old terminating record: a new one follows
  EXPECT_EQ(t.matchPrefix("c", length), 50);
  EXPECT_EQ(t.end(), 4u);
  t.define(1, "q", 1);  // a record with code 1 ends the table there
  EXPECT_EQ(t.matchPrefix("b", length), -1);
  t.define(1, "", 40);  // an empty name never matches
  EXPECT_EQ(t.matchPrefix("", length), -1);
  EXPECT_EQ(t.matchPrefix("b", length), 21);
}

TEST(KeywordTable, DefinitionLimitsAndCodes) {
  std::string many;
  for (int i = 0; i < 65; ++i) many += ".CMD 51 .CMD\n";  // each keeps ".CMD" reachable
  EXPECT_NE(compileIntermediate(many).out.find(toCp932("コマンド定義が多すぎます")),
            std::string::npos);
  std::string eml;
  for (int i = 0; i < 65; ++i) eml += ".EML 16 s" + std::to_string(i) + "\n";
  EXPECT_NE(compileIntermediate(eml).out.find(toCp932("エンベロープ用MML定義が多すぎます")),
            std::string::npos);
}

// A keyword may be defined with a code that has no handler; only its use
// stops the compile, as an unknown keyword would.
TEST(KeywordTable, CodesWithoutHandlerFailOnlyWhenUsed) {
  struct {
    const char* text;
    int status;
    const char* message;
  } cases[] = {
      {".MML 203 zz\n1 c4\n", 0, ""},
      {".MML 256 zz\n1 c4 zz\n", 1, "ＭＭＬが解読できません"},
      {".CMD 59 .zz\n1 c4\n", 0, ""},
      {".CMD 256 .zz\n.zz\n", 1, "未定義のコマンドです"},
      {".EML 20 s\n.env 1 r2 s r3\n1 X1 c4\n", 0, ""},
  };
  for (const auto& c : cases) {
    CompileResult r = compileIntermediate(c.text);
    EXPECT_EQ(r.status, c.status) << c.text << r.out;
    if (*c.message != '\0') {
      EXPECT_NE(r.out.find(toCp932(c.message)), std::string::npos) << r.out;
    }
  }
}

// `.EML 20`: the keyword stores the code that a step writes after itself, so
// "r2 s r3" ties the second step to the first like "r2 r3" does.
TEST(KeywordTable, EmlCodeTwentyIsAKeyword) {
  CompileResult withKeyword = compileIntermediate(".EML 20 s\n.env 1 r2' s r3\n1 X1 c4\n");
  CompileResult plain = compileIntermediate(".env 1 r2 r3\n1 X1 c4\n");
  ASSERT_EQ(withKeyword.status, 0) << withKeyword.out;
  EXPECT_EQ(partHex(withKeyword, 0), partHex(plain, 0));
}

TEST(KeywordTable, ManyMmlDefinitionsKeepATerminator) {
  std::string text;
  for (int i = 0; i < 256; ++i) text += ".MML 16 n" + std::to_string(1000 + i) + "\n";
  text += "1 n1255\n";
  CompileResult r = compileIntermediate(text);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, 0), "91 00 00 3C 60 00 FF");
  EXPECT_EQ(compileIntermediate(text + ".MML 16 more\n").status, 1);
}

// The step answers the note reader and the command loop classify bytes by:
// the scanner's own tests first, then the keywords, and a search wherever the
// answer of one byte could differ from the scanner's reading.
TEST(KeywordTable, StepAnswers) {
  KeywordTable table("t", {{"a", 20}, {"bc", 21}, {"b", 22}, {"x", kCodeNumber}, {"y", -5}}, 8);
  const std::pair<char, int> expected[] = {
      {' ', KeywordTable::kBlank},  {'\t', KeywordTable::kBlank}, {'\n', kCodeLineEnd},
      {'7', kCodeNumber},           {'q', kCodeNoMatch},          {'a', 20},
      {'b', KeywordTable::kSearch}, {'x', KeywordTable::kSearch}, {'y', KeywordTable::kSearch}};
  for (auto [byte, answer] : expected) EXPECT_EQ(table.stepAnswer(byte), answer) << byte;
  table.define(1, "q", 30);  // "a" gives way to "q"
  EXPECT_EQ(table.stepAnswer('q'), 30);
  EXPECT_EQ(table.stepAnswer('a'), kCodeNoMatch);
}

}  // namespace
}  // namespace tallow::testing

namespace tallow::testing {
namespace {

// A redefinition stands before every later record in the index too: "@"
// as record 1 now wins over all the keywords that begin with "@".
TEST(KeywordTable, RedefinitionReordersTheIndex) {
  CompileResult notes = compileIntermediate(".MML 0 x\n.MML 16 @\n1 @4 @8\n");
  ASSERT_EQ(notes.status, 0) << notes.out;
  EXPECT_EQ(partHex(notes, 0), "91 00 00 3C 60 00 3C 30 00 FF");
  // "@p4" is now a note of the default length and the setting "p4".
  CompileResult setting = compileIntermediate(".MML 0 x\n.MML 16 @\n1 @p4\n");
  EXPECT_EQ(partHex(setting, 0), "91 00 00 3C 60 00 82 04 FF");
}

}  // namespace
}  // namespace tallow::testing
