// Comment stripping and line classification.
#include <gtest/gtest.h>

#include "preprocess/comment.h"
#include "preprocess/line_class.h"

namespace tallow {
namespace {

TEST(stripComment, CutsAndEscapes) {
  struct Case {
    std::string line, stripped;
  } cases[] = {
      {"a\\/b/c", "a/b\n"},
      {"a\\\\;b\n", "a\\;b\n"},        // the second backslash escapes the ";"
      {"x\\", "x\\"},                  // backslash at the very end
      {"\x95\x5C;c\n", "\x95\x5C\n"},  // a second byte 0x5C does not hide the comment
      {"\x95\x5C/c", "\x95\x5C\n"},
      {"\x83;c", "\x83\n"},  // a lead byte before ";" is copied alone
      {"ab\x83", "ab\x83"},  // a lead byte at the end is copied alone
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    stripComment(line);
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
