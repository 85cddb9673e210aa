// Whole preprocessor runs: the intermediate file and the messages of small
// sources, compared whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "preprocess/preprocess_test_support.h"

namespace tallow {
namespace {

using testing::kSongHead;
using testing::PreprocessResult;
using testing::PreprocessSetup;
using testing::runSource;
using testing::sjis;
using testing::TempDir;

struct RunCase {
  const char* name;
  std::string source;
  int status;
  std::string intermediate;
  std::string messages;  // UTF-8, after the banner and the first "Now include" line
};

void check(const RunCase& c, const PreprocessResult& r) {
  EXPECT_EQ(r.status, c.status) << c.name;
  EXPECT_EQ(r.intermediate, c.intermediate) << c.name;
  EXPECT_EQ(r.messages, kSongHead + sjis(c.messages)) << c.name;
}

TEST(PreprocessRun, Lines) {
  const RunCase cases[] = {
      {"crlf and end of file mark",
       "1 c4\r\n1 d4\r\n\x1A"
       "1 e4\n",
       0, "# 1 song.mml\n1 c4\n1 d4\n", ""},
      {"nul ends the text", std::string("ab\0cd\nef\0\ngh\0", 13), 0, "# 1 song.mml\nab\nef\ngh",
       ""},
      {"unrecognised", "c\n#bogus x ; y\n", 1, "# 1 song.mml\nc\n",
       "コマンドが識別できません\n-- song.mml(Line2)\n#bogus x \n"},
      {"brace failure shows the expanded text", "#define A {c\n$A d\n", 1, "# 1 song.mml\n\n",
       "括弧'}'が足りません\n-- song.mml(Line2)\n{cd\n"},
      {"with prefix replaced", "#with 1\n#{ 2\nc\n#}\n#}\n", 0, "# 1 song.mml\n\n\n2 c\n\n\n", ""},
      {"with word too long", std::string("#with ") + std::string(32, 'w') + "\n", 1,
       "# 1 song.mml\n\n",
       "引数が多すぎます\n-- song.mml(Line1)\n#with " + std::string(32, 'w') + "\n"},
      {"vstart and fmbfile copied", ".vstart 0 ; c\n", 0, "# 1 song.mml\n.vstart 0 \n", ""},
  };
  for (const RunCase& c : cases) {
    TempDir dir;
    check(c, runSource(dir, c.source));
  }
}

TEST(PreprocessRun, Conditionals) {
  const RunCase cases[] = {
      {"definitions in skipped branch do not happen",
       "#ifdef A\n#define B\n#endif\n#ifdef B\nx\n#endif\n", 0, "# 1 song.mml\n\n\n\n\n\n\n", ""},
      {"clear in skipped branch happens",
       "#define B\n#ifdef A\n#clear\n#endif\n#ifdef B\nx\n#endif\n", 0,
       "# 1 song.mml\n\n\n\n\n\n\n\n", ""},
      {"no endif", "c\n#ifdef A\n#ifdef B\nd\n#endif\n", 1, "# 1 song.mml\nc\n\n\n\n\n",
       "2行の#IFDEFに対応する#ENDIFがありません\n"},
      {"else at file level", "#else\n", 1, "# 1 song.mml\n\n", ""},
      {"quit in skipped branch", "#ifdef A\n#quit\n#endif\nc\n", 0, "# 1 song.mml\n\n\n\nc\n", ""},
  };
  for (const RunCase& c : cases) {
    TempDir dir;
    check(c, runSource(dir, c.source));
  }
}

// 4096 open blocks are allowed; the next #ifdef is refused.  Neither
// exhausts the stack.
TEST(PreprocessRun, DeepNesting) {
  for (int depth : {4096, 4097}) {
    std::string source;
    for (int i = 0; i < depth; ++i) source += "#ifdef A\n";
    for (int i = 0; i < depth; ++i) source += "#endif\n";
    TempDir dir;
    PreprocessResult r = runSource(dir, source);
    if (depth == 4096) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.messages, kSongHead);
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.messages,
                kSongHead + sjis("ネストが深すぎます\n-- song.mml(Line4097)\n#ifdef A\n"));
    }
  }
}

// A line far longer than one read reaches the intermediate file whole.
TEST(PreprocessRun, LongLines) {
  TempDir dir;
  PreprocessResult r = runSource(dir, std::string(100000, 'c') + "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.intermediate, "# 1 song.mml\n" + std::string(100000, 'c') + "\n");
}

TEST(PreprocessRun, Includes) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    int status;
    std::string intermediate;
    std::string messages;  // after the banner
  } cases[] = {
      {"failure inside shows the included name",
       {{"song.mml", "#include <sub.mml>\n"}, {"sub.mml", "#bogus\n"}},
       1,
       "# 1 song.mml\n# 1  sub.mml\n",
       "Now include song.mml(1)...\nNow include <sub.mml>(2)...\n"
       "コマンドが識別できません\n--  sub.mml(Line1)\n#bogus\n"},
      {"backslash separates",
       {{"song.mml", "#include dir\\sub.mml\n"}, {"dir/sub.mml", "d\n"}},
       0,
       "# 1 song.mml\n# 1 dir\\sub.mml\nd\n\n# 2 song.mml\n",
       "Now include song.mml(1)...\nNow include dir\\sub.mml(2)...\n"},
      {"state crosses files",
       {{"song.mml", "#include sub.mml\n$X\n"}, {"sub.mml", "#define X x\n#with 1\n"}},
       0,
       "# 1 song.mml\n# 1 sub.mml\n\n\n\n# 2 song.mml\n1 x\n",
       "Now include song.mml(1)...\nNow include sub.mml(2)...\n"},
      {"endif in an included file",
       {{"song.mml", "#ifndef A\n#include sub.mml\n#endif\n"}, {"sub.mml", "#endif\n"}},
       1,
       "# 1 song.mml\n\n# 1 sub.mml\n\n",
       "Now include song.mml(1)...\nNow include sub.mml(2)...\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const auto& [name, text] : c.files) dir.write(name, text);
    ProgramContext program;
    PreprocessResult r = testing::runPreprocess(dir, program);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.intermediate, c.intermediate) << c.name;
    EXPECT_EQ(r.messages, testing::kBanner + sjis(c.messages)) << c.name;
  }
}

// The editor line of a failure that has no location report names the file
// and line the run was at: after an included file, the including one.
TEST(PreprocessRun, EditorLines) {
  struct Case {
    std::map<std::string, std::string> files;
    std::string editor;
  } cases[] = {
      {{{"song.mml", "#include sub.mml\n#endif\n"}, {"sub.mml", "c\n"}},
       "song.mml:2:1: error: プリプロセスエラー\n"},
      {{{"song.mml", "c\n#include sub.mml\n#else\n"}, {"sub.mml", "d\n"}},
       "song.mml:3:1: error: プリプロセスエラー\n"},
      {{{"song.mml", "#ifdef A\n#else\n#else\n"}},
       "song.mml:3:1: error: #ELSEに対応する#IFDEFが見つかりません\n"},
      {{{"song.mml", "#include sub.mml\nc\n"}, {"sub.mml", "#ifdef A\n#else\n#else\n"}},
       "song.mml:1:17: error: #ELSEに対応する#IFDEFが見つかりません\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const auto& [name, text] : c.files) dir.write(name, text);
    ProgramContext program;
    PreprocessSetup setup;
    setup.editorLines = true;
    PreprocessResult r = testing::runPreprocess(dir, program, setup);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.editor, sjis(c.editor)) << c.files.at("song.mml");
  }
}

// Without a search directory the second place is not tried (no lookup at
// the root); a joined path longer than 511 bytes counts as not found.
TEST(PreprocessRun, SearchDirectoryLimits) {
  TempDir dir;
  dir.write("song.mml", "#include tmp\n");
  ProgramContext program;
  PreprocessResult r = testing::runPreprocess(dir, program);
  EXPECT_EQ(r.status, 1);

  std::string deep = "d";
  while (deep.size() < 500) deep += "/dddddddddd";
  dir.write(deep + "/sub.mml", "x\n");
  dir.write("song.mml", "#include sub.mml\n");
  PreprocessSetup setup;
  setup.searchDir = deep;
  r = testing::runPreprocess(dir, program, setup);
  EXPECT_EQ(r.status, 1);
  setup.searchDir = "d";
  dir.write("d/sub.mml", "x\n");
  r = testing::runPreprocess(dir, program, setup);
  EXPECT_EQ(r.status, 0);
}

TEST(PreprocessRun, OutputFiles) {
  TempDir dir;
  dir.write("song.mml", "#bogus\n");
  ProgramContext program;
  PreprocessSetup setup;
  setup.logPath = dir.file("log.txt");
  PreprocessResult r = testing::runPreprocess(dir, program, setup);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.messages, "");
  EXPECT_EQ(dir.read("log.txt"),
            kSongHead + sjis("コマンドが識別できません\n-- song.mml(Line1)\n#bogus\n"));

  setup.logPath = dir.file("no/such/dir/log.txt");
  r = testing::runPreprocess(dir, program, setup);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.messages, "");

  // A write error on the intermediate file fails the run.
  struct stat st;
  if (::stat("/dev/full", &st) == 0) {
    dir.write("song.mml", std::string(200000, 'c') + "\n");
    CompileJob job;
    job.sourcePath = dir.file("song.mml");
    job.intermediatePath = "/dev/full";
    StringOutStream out;
    program.out = &out;
    EXPECT_EQ(runPreprocessor(job, program), 1);
    program.out = nullptr;
  }

  CompileJob noTemp;
  noTemp.sourcePath = dir.file("song.mml");
  StringOutStream out;
  program.out = &out;
  EXPECT_EQ(runPreprocessor(noTemp, program), 1);
  EXPECT_EQ(out.text(), "");
  program.out = nullptr;
}

}  // namespace
}  // namespace tallow
