#include "base/cp932.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace tallow {
namespace {

TEST(Cp932, ConvertsMessageTexts) {
  struct Case {
    const char* utf8;
    std::string bytes;
  } cases[] = {
      {"abc\n", "abc\n"},
      {"∞", "\x81\x87"},
      {"ＭＭＬが解読できません",
       "\x82\x6C\x82\x6C\x82\x6B\x82\xAA\x89\xF0\x93\xC7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"},
      {"１行", "\x82\x50\x8D\x73"},
      {"ｱ", "\xB1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toCp932(c.utf8), c.bytes) << c.utf8;
    EXPECT_EQ(cp932ToUtf8(c.bytes), c.utf8) << c.utf8;  // and back
  }
}

// Text from the user's files: valid UTF-8 passes through, anything else is
// read as CP932, and what is neither becomes U+FFFD.
TEST(Cp932, UserTextToUtf8) {
  struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"title", "title"},
      {"\xE3\x82\xBA", "\xE3\x82\xBA"},        // UTF-8 kana stays
      {"\x83\x5D\x83\x93\x83\x5F", "ゾンダ"},  // Shift-JIS is converted
      {"\x95\x5C", "表"},                      // a second byte of 0x5C
      {"a\x81", "a\xEF\xBF\xBD"},              // a lead byte at the end
      {"\x81 x", "\xEF\xBF\xBD x"},            // a lead byte before a blank
  };
  for (const auto& c : cases) EXPECT_EQ(userTextToUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(Cp932, FormatsPlaceholders) {
  EXPECT_EQ(formatMessage("(%4s) = %6d", "FM1", 192), "( FM1) =    192");
  EXPECT_EQ(formatMessage("%d 個", 3), "3 \x8C\xC2");
  EXPECT_EQ(formatMessage("-- %s(Line%d)\n", "a\x95\x5C", 7), "-- a\x95\x5C(Line7)\n");
  EXPECT_EQ(formatMessage("100%"), "100%");
}

// A text keeps the program's own words apart from the user's bytes: as CP932
// the words are converted and the bytes pass; as UTF-8 the words pass and the
// bytes are shown as UTF-8.
TEST(Text, RendersInEachEncoding) {
  Text t = formatText("ファイル %s が開けません (%d)\n", "\x95\x5C.mml", 3);
  EXPECT_EQ(t.render(Encoding::kCp932),
            toCp932("ファイル ") + "\x95\x5C.mml" + toCp932(" が開けません (3)\n"));
  EXPECT_EQ(t.render(Encoding::kUtf8), "ファイル 表.mml が開けません (3)\n");
  EXPECT_EQ(formatText("%s", "\xE3\x82\xBA").render(Encoding::kUtf8), "\xE3\x82\xBA");
  EXPECT_EQ(formatText("(%4s)", "ab").render(Encoding::kUtf8), "(  ab)");
  EXPECT_EQ(formatMessage("a%%b%"), "a%%b%");  // no argument: nothing is a directive
}

TEST(Cp932, UnencodableBecomesQuestionMark) {
  EXPECT_EQ(toCp932("\xF0\x9F\x8E\xB5"), "?");
  EXPECT_FALSE(encodableAsCp932("\xF0\x9F\x8E\xB5"));
  EXPECT_TRUE(encodableAsCp932("音程が範囲外です"));
}

}  // namespace
}  // namespace tallow
