// Comment stripping and line classification.
#include <gtest/gtest.h>

#include "preprocess/comment.h"
#include "preprocess/line_class.h"

namespace tallow {
namespace {

TEST(stripComment, CutsAndEscapes) {
  constexpr Encoding kCp932 = Encoding::kCp932, kUtf8 = Encoding::kUtf8;
  struct Case {
    std::string line, stripped;
    Encoding encoding = kCp932;
  } cases[] = {
      {"a\\/b/c", "a/b\n"},
      {"a\\\\;b\n", "a\\;b\n"},        // the second backslash escapes the ";"
      {"x\\", "x\\"},                  // backslash at the very end
      {"\x95\x5C;c\n", "\x95\x5C\n"},  // a second byte 0x5C does not hide the comment
      {"\x95\x5C/c", "\x95\x5C\n"},
      {"\x83;c", "\x83\n"},  // a lead byte before ";" is copied alone
      {"ab\x83", "ab\x83"},  // a lead byte at the end is copied alone
      // In a UTF-8 file, "ず" (E3 81 9A) is one character: read as CP932 its
      // 0x9A would take the backslash with it and ";" would end the line.
      {"\xE3\x81\x9A\\;c\n", "\xE3\x81\x9A;c\n", kUtf8},
      {"\xE3\x81\x9A\\;c\n", "\xE3\x81\x9A\\\n", kCp932},
      {"a\xE3\x81", "a\xE3\x81", kUtf8},  // a sequence cut at the end of the text
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    stripComment(line, c.encoding);
    EXPECT_EQ(line, c.stripped) << c.line;
  }
}

TEST(classifyLine, DirectiveTable) {
  struct Case {
    std::string line;
    LineClass expected;
    size_t pos;  // where the scan stops
    bool toneInProgress = false;
    bool withPrefix = false;
  } cases[] = {
      {"  \t#Define X\n", LineClass::kDefine, 10},
      {"#@NO *\n", LineClass::kUnrecognisedDirective, 4},  // letters belong to the word
      {"@3 c4\n", LineClass::kText, 1, false, true},       // a #with prefix makes tone words text
      {"@ 1\n", LineClass::kText, 1, true, true},
      {"1 2\n", LineClass::kToneDef, 0, true, true},  // continuation lines stay tone lines
      {std::string("#") + std::string(30, 'a') + " x", LineClass::kUnrecognisedDirective, 31},
      {std::string("#") + std::string(31, 'a') + " x", LineClass::kLongWord, 0},
      {"", LineClass::kText, 0},
      {"#", LineClass::kUnrecognisedDirective, 1},
  };
  for (const Case& c : cases) {
    size_t pos = 0;
    EXPECT_EQ(classifyLine(c.line, pos, c.toneInProgress, c.withPrefix), c.expected) << c.line;
    EXPECT_EQ(pos, c.pos) << c.line;
  }
}

}  // namespace
}  // namespace tallow
