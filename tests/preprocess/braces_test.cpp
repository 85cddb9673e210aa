// Repetition braces.
#include "preprocess/braces.h"

#include <gtest/gtest.h>

#include "preprocess/preprocess_test_support.h"

namespace tallow {
namespace {

using testing::sjis;

TEST(expandBraces, Expands) {
  struct Case {
    std::string source, expanded;
    Encoding encoding = Encoding::kCp932;
  } cases[] = {
      {"{c}00000001", "c"},
      {"a\\", "a\\"},
      {"{\x83}}", "\x83}\x83}"},  // a Shift-JIS lead byte takes a "}" as its second byte
      {"{}99999999", ""},         // an empty group costs nothing however often it repeats
      {std::string("{") + std::string(4000, 'x') + "}", std::string(8000, 'x')},
      // In a UTF-8 file "ず" (E3 81 9A) is one character and the "}" closes.
      {"{\xE3\x81\x9A}2", "\xE3\x81\x9A\xE3\x81\x9A", Encoding::kUtf8},
      {"{\xF0\x9F\x8E\xB5}", "\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5", Encoding::kUtf8},
  };
  for (const Case& c : cases) {
    std::string out;
    StringOutStream messages;
    EXPECT_TRUE(expandBraces(c.source, out, messages, c.encoding)) << c.source << messages.text();
    EXPECT_EQ(out, c.expanded) << c.source;
  }
}

TEST(expandBraces, Refuses) {
  struct Case {
    std::string source, messages;
  } cases[] = {
      {"{{c}", "括弧'}'が足りません\n"},
      {"{c}99999999", "１行が8192文字を越えました\n"},
      {"{c}0", "ループ数の指定が不正です\n"},
      {"{c}000000001", "ループ数の指定が不正です\n"},  // nine digits
      {std::string("{") + std::string(4096, 'x') + "}", "１行が8192文字を越えました\n"},
      {std::string(8192, 'x'), "１行が8192文字を越えました\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    StringOutStream messages;
    EXPECT_FALSE(expandBraces(c.source, out, messages, Encoding::kCp932)) << c.source;
    EXPECT_EQ(messages.text(), sjis(c.messages)) << c.source;
  }
}

}  // namespace
}  // namespace tallow
