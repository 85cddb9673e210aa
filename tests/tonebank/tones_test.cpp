// Tone definitions: refused orders and values, tone numbers outside the
// bank, the longest order and the start number.
#include <gtest/gtest.h>

#include "preprocess/preprocess_test_support.h"
#include "tonebank/tone_defs.h"

namespace tallow {
namespace {

using testing::sjis;

struct ToneRun {
  bool ok = true;
  std::string messages;
};

// Feeds `lines` to the tone compiler as a run with a bank name would:
// "#@" lines as orders, every other line as tone text.
ToneRun feed(ToneDefState& state, const std::vector<std::string>& lines) {
  ToneRun run;
  StringOutStream messages;
  for (const std::string& line : lines) {
    bool order = line.rfind("#@", 0) == 0;
    size_t pos = order ? 2 : (line.rfind("@", 0) == 0 ? 1 : 0);
    run.ok = order ? defineToneOrder(state, line, pos, messages)
                   : defineToneValues(state, line, pos, messages);
    if (!run.ok) break;
  }
  run.messages = messages.text();
  return run;
}

TEST(ToneDefs, RefusesBadDefinitions) {
  struct Case {
    std::vector<std::string> lines;
    std::string messages;
    int startNumber = 1;
  } cases[] = {
      {{"#@ NO AL *", "@1 12x"}, "パラメータには数値を指定してください\n引数が不正です\n"},
      {{"#@ NO NAM AL *", "@1 \"abc~"}, "\"記号が足りません"},
      // Tone numbers that would lie outside the bank.
      {{"#@ NO AL *", "@128 1"}, "音色番号が大きすぎます", 0},
      {{"#@ AL *", "@1"}, "音色番号が小さすぎます"},
      // An empty order takes no value.
      {{"#@ *", "@1"}, "引数が多すぎます\n"},
  };
  for (const Case& c : cases) {
    ToneBankState bank;
    ToneDefState state(bank);
    state.startNumber = c.startNumber;
    ToneRun run = feed(state, c.lines);
    EXPECT_FALSE(run.ok) << c.lines.back();
    EXPECT_EQ(run.messages, sjis(c.messages)) << c.lines.back();
    EXPECT_EQ(bank.toneCount, 0) << c.lines.back();
  }
}

TEST(ToneDefs, OrderOfSixtyFourEntriesIsRefused) {
  ToneBankState bank;
  ToneDefState state(bank);
  std::string line63 = "#@ NO";
  std::string values = "@1";
  for (int i = 0; i < 61; ++i) {
    line63 += " NUL";
    values += " 1";
  }
  ToneRun ok = feed(state, {line63 + " *", values});
  EXPECT_TRUE(ok.ok) << ok.messages;
  EXPECT_EQ(bank.toneCount, 1);

  ToneDefState full(bank);
  ToneRun refused = feed(full, {line63 + " NUL *"});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.messages, sjis("ＦＭ音色パラメータが多すぎます。"));
}

TEST(ToneDefs, StartNumberWord) {
  struct Case {
    std::string line;
    bool ok;
    int start;
  } cases[] = {
      {" 257", true, 1},
      {" -1", false, 255},
      {" 99999999999", false, 255},  // saturates at 2^31 - 1
      {" -99999999999", true, 0},    // saturates at -2^31
      {" +1x", true, 1},
      {std::string(" ") + std::string(32, '0'), false, 1},  // too long to read
  };
  for (const Case& c : cases) {
    ToneBankState bank;
    ToneDefState state(bank);
    size_t pos = 0;
    EXPECT_EQ(setStartNumber(state, c.line, pos), c.ok) << c.line;
    EXPECT_EQ(state.startNumber, c.start) << c.line;
  }
}

}  // namespace
}  // namespace tallow
