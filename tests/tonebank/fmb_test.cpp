// Bank files: loading, writing back, the lookup beside the source and in
// FMINST, and the bank kept from run to run.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "preprocess/preprocess_test_support.h"
#include "support/compile_helpers.h"
#include "tonebank/fmb_file.h"

namespace tallow {
namespace {

using testing::kSongHead;
using testing::PreprocessResult;
using testing::PreprocessSetup;
using testing::runPreprocess;
using testing::sjis;
using testing::TempDir;

// A bank of 6152 bytes filled with `fill`, with byte 40 (record 0's
// FB/AL byte) set to `marker`.
std::string bankFile(char fill, char marker) {
  std::string bank(kFmbFileSize, fill);
  bank[40] = marker;
  return bank;
}

std::string record(const std::string& bank, size_t index) {
  return bank.substr(kFmbHeaderSize + kToneRecordSize * index, kToneRecordSize);
}

const std::string kDefineTone3 = ".fmbfile bank\n#@ NO AL *\n@3 5\n";

TEST(Fmb, NewBankIsWrittenBesideTheSource) {
  TempDir dir;
  dir.write("sub/song.mml", kDefineTone3);
  ProgramContext program;
  PreprocessSetup setup;
  setup.sourcePath = "sub/song.mml";
  PreprocessResult r = runPreprocess(dir, program, setup);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.messages, testing::kBanner + "Now include sub/song.mml(1)...\n" +
                            sjis("指定のFMBファイルは存在しません\n1個の音色を定義しました\n"
                                 "Write FMB : sub/bank.FMB\n"));
  std::string bank = dir.read("sub/bank.FMB");
  std::string expected(kFmbFileSize, '\0');
  expected[kFmbHeaderSize + kToneRecordSize * 2 + 32] = 5;
  EXPECT_EQ(bank, expected);
}

TEST(Fmb, Lookup) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    std::optional<std::string> fminst;  // relative to the scratch directory
    std::string loaded;                 // "" when nothing is loaded
    char marker;                        // byte 40 of the bank afterwards
    std::string written;                // the file written back, as shown
    std::string bankName = "bank";      // as the .fmbfile line writes it
  } cases[] = {
      {"beside the source wins",
       {{"bank.FMB", bankFile(0, 1)}, {"inst/bank.FMB", bankFile(0, 2)}},
       "inst",
       "bank.FMB",
       1,
       "bank.FMB"},
      {"name case ignored",
       {{"BANK.fmb", bankFile(0, 3)}},
       std::nullopt,
       "BANK.fmb",
       3,
       "BANK.fmb"},
      {"empty FMINST is unset", {{"bank.FMB", bankFile(0, 4)}}, "", "bank.FMB", 4, "bank.FMB"},
      {"short file fills the start",
       {{"bank.FMB", std::string(41, '\x07')}},
       std::nullopt,
       "bank.FMB",
       7,
       "bank.FMB"},
      {"directory is no bank", {{"bank.FMB/x", ""}}, std::nullopt, "", 0, ""},
      // A directory in the bank name is shown as written in both lines.
      {"one directory",
       {{"x/BANK.FMB", bankFile(0, 5)}},
       {},
       "x\\BANK.FMB",
       5,
       "x\\BANK.FMB",
       "x\\BANK"},
      {"two directories",
       {{"a/b/BK.FMB", bankFile(0, 6)}},
       {},
       "a\\b\\BK.FMB",
       6,
       "a\\b\\BK.FMB",
       "a\\b\\BK"},
      {"doubled separator",
       {{"x/BK.FMB", bankFile(0, 7)}},
       {},
       "x\\\\BK.FMB",
       7,
       "x\\\\BK.FMB",
       "x\\\\BK"},
      {"file name case ignored in a directory",
       {{"x/BANK.FMB", bankFile(0, 9)}},
       {},
       "x\\BANK.FMB",
       9,
       "x\\BANK.FMB",
       "x\\bank"},
      // Found in FMINST: the directories as written there; written back
      // beside the source, where "x" does not exist.
      {"directory under FMINST",
       {{"inst/x/BK.FMB", bankFile(0, 12)}},
       "inst",
       "{dir}/inst/x\\BK.FMB",
       12,
       "",
       "x\\BK"},
      {"directory under FMINST, written beside the source",
       {{"inst/x/BK.FMB", bankFile(0, 13)}, {"x/other", ""}},
       "inst",
       "{dir}/inst/x\\BK.FMB",
       13,
       "x\\BK.FMB",
       "x\\BK"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const auto& [name, text] : c.files) dir.write(name, text);
    dir.write("song.mml", ".fmbfile " + c.bankName + "\n#@ NO *\n@100\n");
    ProgramContext program;
    PreprocessSetup setup;
    if (c.fminst) setup.env.fminst = c.fminst->empty() ? "" : dir.file(*c.fminst);
    PreprocessResult r = runPreprocess(dir, program, setup);
    std::string loaded = c.loaded;
    if (loaded.rfind("{dir}", 0) == 0) loaded.replace(0, 5, dir.path());
    std::string expected = kSongHead;
    expected +=
        loaded.empty() ? sjis("指定のFMBファイルは存在しません\n") : "Load FMB : " + loaded + "\n";
    expected += sjis("1個の音色を定義しました\n");
    expected += c.written.empty() ? sjis("FMBファイル書き出しに失敗しました。\n")
                                  : "Write FMB : " + c.written + "\n";
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.messages, expected) << c.name;
    EXPECT_EQ(program.toneBank->bytes[40], c.marker) << c.name;
    if (!c.written.empty()) {
      EXPECT_EQ(dir.read(toOpenPath(c.written)).size(), kFmbFileSize) << c.name;
    }
  }
}

// The bank, its name and the tone count belong to the program: a second run
// accepts tones without a new .fmbfile line and writes the bank again.
TEST(Fmb, BankOutlivesTheRun) {
  TempDir dir;
  ProgramContext program;
  dir.write("song.mml", ".fmbfile bank\n#@ NO NAM AL *\n@1 \"First\" 1\n");
  ASSERT_EQ(runPreprocess(dir, program).status, 0);
  dir.write("song.mml", "#@ NO AL *\n@2 2\n");
  PreprocessResult r = runPreprocess(dir, program);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.messages, kSongHead + sjis("2個の音色を定義しました\nWrite FMB : bank.FMB\n"));
  std::string bank = dir.read("bank.FMB");
  EXPECT_EQ(record(bank, 1).substr(0, 6), std::string("First\0", 6));
  EXPECT_EQ(record(bank, 1)[32], 2);
}

TEST(Fmb, ReportsAndRefusals) {
  struct Case {
    const char* name;
    std::string source;
    int status;
    std::string messages;
    const char* written;  // the bank file the run leaves, if any
  } cases[] = {
      {"unfinished order", ".fmbfile b\n#@ NO\n", 0,
       "指定のFMBファイルは存在しません\n音色パラメータ順設定が完了していません\n", nullptr},
      {"tone number too large", ".fmbfile b\n.vstart 0\n#@ NO *\n@128\n", 1,
       "指定のFMBファイルは存在しません\n音色番号が大きすぎます-- song.mml(Line4)\n@128\n",
       nullptr},
      {"failed run writes no bank", ".fmbfile b\n#@ NO *\n@1\n#bogus\n", 1,
       "指定のFMBファイルは存在しません\nコマンドが識別できません\n-- song.mml(Line4)\n#bogus\n",
       nullptr},
      {"tone over lines with directives between",
       ".fmbfile b\n#@ NO AL FB *\n@1\n#define X\n2\n.vstart 0\n3\n", 0,
       "指定のFMBファイルは存在しません\n1個の音色を定義しました\nWrite FMB : b.FMB\n", "b.FMB"},
      {"bank name of eleven bytes", ".fmbfile abcdefghijk\n#@ NO *\n@1\n", 0,
       "指定のFMBファイルは存在しません\n1個の音色を定義しました\nWrite FMB : abcdefghijk.FMB\n",
       "abcdefghijk.FMB"},
      {"bank name of twelve bytes", ".fmbfile abcdefghijkl\n", 1,
       "引数が多すぎます\n-- song.mml(Line1)\n.fmbfile abcdefghijkl\n", nullptr},
  };
  for (const Case& c : cases) {
    TempDir dir;
    PreprocessResult r = testing::runSource(dir, c.source);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.messages, kSongHead + sjis(c.messages)) << c.name;
    for (const char* bank : {"b.FMB", "abcdefghijk.FMB", "abcdefghijkl.FMB"}) {
      EXPECT_EQ(dir.exists(bank), c.written != nullptr && std::string(bank) == c.written)
          << c.name << ": " << bank;
    }
  }
}

TEST(Fmb, CompilerFindsBankInAnyCase) {
  testing::TempDir dir;
  std::string bank(6152, '\0');
  bank[40] = 0x3C;  // tone 1: feedback 7, algorithm 4
  dir.write("MyBank.FMB", bank);
  testing::CompileResult r = testing::compileIntermediate(
      ".fmbfile mybank\n1 @1 @AL2\n", [&](CompileJob& j) { j.sourcePath = dir.file("song.mml"); });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("(!)"), std::string::npos) << r.out;
  EXPECT_EQ(testing::partHex(r, 0), "81 00 97 00 B0 3A FF");
}

}  // namespace
}  // namespace tallow
