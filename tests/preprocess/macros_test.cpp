// Macro definitions and expansion, checked through defineMacro and
// expandMacros directly.
#include "preprocess/macros.h"

#include <gtest/gtest.h>

#include <chrono>

#include "preprocess/preprocess_test_support.h"

namespace tallow {
namespace {

using testing::sjis;

struct Expansion {
  bool ok;
  std::string text;
  std::string messages;
};

// Defines every line of `definitions` (each without "#define") and expands `line`.
Expansion expand(const std::vector<std::string>& definitions, const std::string& line,
                 Encoding encoding = Encoding::kCp932) {
  MacroTable table;
  StringOutStream messages;
  for (const std::string& d : definitions) {
    size_t pos = 0;
    EXPECT_TRUE(defineMacro(d, pos, table, messages)) << d;
  }
  Expansion result;
  result.ok = expandMacros(line, result.text, table, messages, encoding);
  result.messages = messages.text();
  return result;
}

TEST(expandMacros, Expands) {
  struct Case {
    std::vector<std::string> definitions;
    std::string line, expanded;
    Encoding encoding = Encoding::kCp932;
  } cases[] = {
      {{"$X y"}, "$X", "y"},
      {{"a q"}, "? a!", "q!"},                     // blanks after "?" are skipped
      {{"B $A", "A late"}, "$B", "late"},          // bodies see macros defined after them
      {{"P(x) ?x", "x macro"}, "$P(arg)", "arg"},  // parameters hide macros
      {{"A noparams"}, "$A(1)", "noparams(1)"},    // "(" after a macro without parameters is text
      {{"M(x) ?x?x"}, "$M()", ""},                 // one empty argument
      {{"B body"}, "x\xE0", "x\xE0"},              // a lead byte at the end stands alone
      // In a UTF-8 file "ド" (E3 83 89) is one character: read as CP932 its
      // 0x89 would take the "$" with it.
      {{"K ab"},
       "\xE3\x83\x89$K",
       "\xE3\x83\x89"
       "ab",
       Encoding::kUtf8},
      {{"K ab"}, "\xE3\x83\x89$K", "\xE3\x83\x89$K", Encoding::kCp932},
  };
  for (const Case& c : cases) {
    Expansion e = expand(c.definitions, c.line, c.encoding);
    EXPECT_TRUE(e.ok) << c.line << " " << e.messages;
    EXPECT_EQ(e.text, c.expanded) << c.line;
  }
}

TEST(expandMacros, Refuses) {
  struct Case {
    std::vector<std::string> definitions;
    std::string line, messages;
  } cases[] = {
      {{"T(x,y) ?x?y"}, "$T(a,b", ""},  // an argument that is not closed: no message
      {{"T(x) ?x"}, std::string("$T(") + std::string(256, 'a') + ")", ""},
      {{}, "?", "マクロ  は定義されていません\n"},  // "?" at the very end names nothing
      {{}, std::string("$") + std::string(32, 'n'), ""},
      {{std::string("D ") + std::string(4000, 'd')}, "$D$D$D", "１行が8192文字を越えました\n"},
      {{}, std::string(8192, 'x'), "１行が8192文字を越えました\n"},
  };
  for (const Case& c : cases) {
    Expansion e = expand(c.definitions, c.line);
    EXPECT_FALSE(e.ok) << c.line;
    EXPECT_EQ(e.messages, sjis(c.messages)) << c.line;
  }
}

// Twelve levels of macros that each use the level below a thousand times
// would take 1000^12 expansions if every use were expanded anew.
TEST(expandMacros, FanOutIsNotExponential) {
  std::vector<std::string> definitions = {"L0"};
  for (int level = 1; level <= 12; ++level) {
    std::string reference = "$L";
    reference += std::to_string(level - 1);
    std::string definition = "L";
    definition += std::to_string(level);
    definition += ' ';
    for (int k = 0; k < 1000; ++k) definition += reference;
    definitions.push_back(definition);
  }
  definitions.push_back("P(x) ?x?x?x?x?x?x?x?x$L12");
  auto start = std::chrono::steady_clock::now();
  Expansion e = expand(definitions, "$L12 $P($L12) $P($L11)\n");
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(e.ok) << e.messages;
  EXPECT_EQ(e.text, " \n");  // the blank after ")" is text
  EXPECT_LT(seconds, 5.0);
}

}  // namespace
}  // namespace tallow
