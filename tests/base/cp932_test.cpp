#include "base/cp932.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace tallow {
namespace {

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
