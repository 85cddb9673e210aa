// Names and paths: which bytes of a name are characters (UTF-8 when the name
// is valid UTF-8, Shift-JIS otherwise), and the splitting, converting and
// upper-casing built on that one rule.
#include "base/paths.h"

#include <gtest/gtest.h>

namespace tallow::testing {
namespace {

// "ヂ" in UTF-8 is E3 83 82; in Shift-JIS 83 61.  "表" in Shift-JIS is 95 5C.
const std::string kUtf8Di = "\xE3\x83\x82";
const std::string kSjisDi = "\x83\x61";
const std::string kSjisTable = "\x95\x5C";

struct NameCase {
  const char* name;
  std::string path;
  std::string openPath;
  std::string upperFile;
  std::string fileName;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class NameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameRule, SplitsConvertsAndUpperCases) {
  const NameCase& c = GetParam();
  EXPECT_EQ(toOpenPath(c.path), c.openPath);
  EXPECT_EQ(upperFileName(c.path), c.upperFile);
  EXPECT_EQ(fileNamePart(c.path), c.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NameRule,
    ::testing::Values(
        NameCase{"Ascii", "sub\\song.krb", "sub/song.krb", "sub\\SONG.KRB", "song.krb"},
        // Read as Shift-JIS, 82 61 would swallow the 'a'; as UTF-8 it is a letter.
        NameCase{"Utf8LetterAfterKana", kUtf8Di + "a.krb", kUtf8Di + "a.krb", kUtf8Di + "A.KRB",
                 kUtf8Di + "a.krb"},
        // The UTF-8 kana ends in 0x82, a Shift-JIS lead byte: the '/' still separates.
        NameCase{"Utf8DirectoryThenSeparator", kUtf8Di + "/song.krb", kUtf8Di + "/song.krb",
                 kUtf8Di + "/SONG.KRB", "song.krb"},
        NameCase{"Utf8DirectoryThenBackslash", kUtf8Di + "\\song.krb", kUtf8Di + "/song.krb",
                 kUtf8Di + "\\SONG.KRB", "song.krb"},
        // In Shift-JIS the 0x61 after the lead byte is part of the character.
        NameCase{"SjisSecondByteKept", kSjisDi + "a.krb", kSjisDi + "a.krb", kSjisDi + "A.KRB",
                 kSjisDi + "a.krb"},
        NameCase{"Sjis5CIsNoSeparator", kSjisTable + ".FMB", kSjisTable + ".FMB",
                 kSjisTable + ".FMB", kSjisTable + ".FMB"},
        NameCase{"SjisLeadAtTheEnd", "a\\b\x81", "a/b\x81", "a\\B\x81", "b\x81"}),
    [](const auto& info) { return info.param.name; });

TEST(NameRule, Utf8Validity) {
  struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {kUtf8Di, true},
      {"\xF0\x9F\x8E\xB5", true},   // U+1F3B5, four bytes
      {kSjisDi, false},             // 83 is no lead byte
      {"\xE3\x83", false},          // cut short
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.text), c.valid) << c.text;
}

// A text that arrives in pieces: a sequence cut between two pieces is
// completed by the next, and long ASCII runs are checked a word at a time.
TEST(NameRule, Utf8ValidatorInPieces) {
  std::string text = std::string(37, 'a') + kUtf8Di + std::string(20, 'b') + "\xF0\x9F\x8E\xB5";
  for (size_t piece : {1u, 3u, 7u, 8u, 64u}) {
    Utf8Validator check;
    for (size_t at = 0; at < text.size(); at += piece) check.feed(text.substr(at, piece));
    EXPECT_TRUE(check.valid()) << piece;
    EXPECT_TRUE(check.sawMultibyte()) << piece;
  }
  Utf8Validator cut;
  cut.feed(std::string(16, 'a') + "\xE3\x83");
  EXPECT_FALSE(cut.valid());  // a sequence still open is no whole text
  cut.feed("\x82");
  EXPECT_TRUE(cut.valid());
  Utf8Validator ascii;
  ascii.feed(std::string(100, 'x'));
  EXPECT_TRUE(ascii.valid());
  EXPECT_FALSE(ascii.sawMultibyte());
  Utf8Validator sjis;
  sjis.feed(std::string(9, 'x') + kSjisDi);
  EXPECT_FALSE(sjis.valid());
}

TEST(NameRule, UpperLettersOfBankNames) {
  EXPECT_EQ(upperLetters("bank"), "BANK");
  EXPECT_EQ(upperLetters(kSjisDi + "a"), kSjisDi + "A");
  EXPECT_EQ(upperLetters(kUtf8Di + "a"), kUtf8Di + "A");
}

}  // namespace
}  // namespace tallow::testing
