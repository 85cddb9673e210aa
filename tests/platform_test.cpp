// Decisions that adapt the program to POSIX systems or mend faults: text
// mode reading, bank names in any case, memory limits and allocation
// failures, wrapping step counts, unreachable note codes and optional
// numbers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "base/cp932.h"
#include "base/files.h"
#include "compiler/compile.h"
#include "support/compile_helpers.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> readAllLines(const std::string& path, size_t capacity = 8192) {
  TextReader reader;
  EXPECT_TRUE(reader.open(path));
  std::vector<std::string> lines;
  std::vector<char> buffer(capacity);
  size_t length = 0;
  while (reader.readLine(buffer.data(), capacity, length) == TextReader::Result::kLine) {
    lines.emplace_back(buffer.data(), length);
  }
  return lines;
}

// Text mode read the slow way: the text up to a 0x1A, each CR LF pair made
// an LF, cut after every LF and wherever a line fills the buffer.
std::vector<std::string> referenceLines(const std::string& text, size_t capacity) {
  std::string plain;
  std::string_view rest(text.data(), std::min(text.find('\x1A'), text.size()));
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n') continue;
    plain += rest[i];
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < plain.size();) {
    size_t newline = plain.find('\n', i);
    size_t end =
        std::min(newline == std::string::npos ? plain.size() : newline + 1, i + capacity - 1);
    lines.push_back(plain.substr(i, end - i));
    i = end;
  }
  return lines;
}

TEST(TextReader, AgreesWithByteByByteReadingOnRandomText) {
  TempDir dir;
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\r', '\n'};
  for (int round = 0; round < 24; ++round) {
    // Lengths around the 64 KiB read chunk so that pairs fall across it.
    size_t size = 65536 - 40 + random() % 80 + (round % 3) * 70000;
    std::string text(size, 'x');
    for (char& c : text) c = random() % 4 == 0 ? alphabet[random() % 6] : 'a' + random() % 3;
    if (round % 5 == 0) text[random() % size] = '\x1A';
    if (round % 7 == 0) text.replace(random() % (size - 3000), 3000, 3000, '\r');
    dir.write("r.txt", text);
    for (size_t capacity : {size_t{2}, size_t{5}, size_t{64}, size_t{8192}}) {
      ASSERT_EQ(readAllLines(dir.file("r.txt"), capacity), referenceLines(text, capacity))
          << "round " << round << ", capacity " << capacity;
    }
  }
}

TEST(TextReader, ReadsAsWindowsTextMode) {
  TempDir dir;
  // A CR LF pair split across the 64 KiB read chunk, a lone CR, and ^Z.
  std::string text = std::string(65535, 'a') + "\r\nb\rc\r\n\x1A" + "after\n";
  dir.write("t.txt", text);
  std::vector<std::string> lines = readAllLines(dir.file("t.txt"));
  ASSERT_EQ(lines.size(), 10u);  // eight 8191-byte pieces, the rest of the long line, "b\rc\n"
  EXPECT_EQ(lines[7].size(), 8191u);
  EXPECT_EQ(lines[8], std::string(65535 - 8 * 8191, 'a') + "\n");
  EXPECT_EQ(lines[9], "b\rc\n");
}

TEST(TextReader, DirectoryCannotBeOpened) {
  TempDir dir;
  TextReader reader;
  EXPECT_FALSE(reader.open(dir.path()));
}

TEST(Platform, CompilerFindsBankInAnyCase) {
  TempDir dir;
  std::string bank(6152, '\0');
  bank[40] = 0x3C;  // tone 1: feedback 7, algorithm 4
  dir.write("MyBank.FMB", bank);
  CompileResult r = compileIntermediate(
      ".fmbfile mybank\n1 @1 @AL2\n", [&](CompileJob& j) { j.sourcePath = dir.file("song.mml"); });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("(!)"), std::string::npos) << r.out;
  EXPECT_EQ(partHex(r, 0), "81 00 97 00 B0 3A FF");
}

// Fails every allocation from the n-th on.
class FailingAllocator final : public Allocator {
 public:
  explicit FailingAllocator(int failAt) : failAt_(failAt) {}
  void* allocate(size_t size) override {
    return ++count_ >= failAt_ ? nullptr : heapAllocator().allocate(size);
  }
  void release(void* block) override { heapAllocator().release(block); }

 private:
  int failAt_;
  int count_ = 0;
};

TEST(Platform, AllocationFailureStopsTheCompile) {
  for (int failAt = 1; failAt <= 3; ++failAt) {
    TempDir dir;
    dir.write("inter.txt", "# 1 song.mml\n.env 1 v10\n1 X1 c4\n2 c4\n");
    CompileJob job;
    job.sourcePath = "song.mml";
    job.intermediatePath = dir.file("inter.txt");
    StringOutStream out;
    FailingAllocator allocator(failAt);
    ProgramContext program;
    program.allocator = &allocator;
    program.out = &out;
    EXPECT_EQ(compile(job, program), 1) << failAt;
    EXPECT_NE(out.text().find(toCp932("メモリが足りません\n")), std::string::npos) << out.text();
    EXPECT_TRUE(job.outputImage.empty());
  }
}

TEST(Platform, StepCountsWrapAround) {
  // 65535 * 127^5 steps: far beyond 32 bits, kept modulo 2^32.
  CompileResult r = compileIntermediate("1 @p@p@p@p@p c%65535 @j127@j127@j127@j127@j127\n");
  ASSERT_EQ(r.status, 0) << r.out;
  int64_t exact = 65535;
  for (int i = 0; i < 5; ++i) exact *= 127;
  EXPECT_EQ(r.job.partSteps[0], static_cast<int32_t>(static_cast<uint32_t>(exact)));
}

TEST(Platform, NoteCodesBeyondTheLettersUseSemitones12To15) {
  // The second definition replaces record 1, the note "c".
  CompileResult r = compileIntermediate(".MML 31 n\n.MML 47 K\n1 n e K+ n\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, 0), "91 00 00 4B 60 00 40 60 00 4C 60 00 FF");
}

TEST(Platform, OptionalNumbersFollowDirectly) {
  EXPECT_EQ(partHex(compileIntermediate("1 %c-64\n"), 0), "93 00 FF");
  CompileResult blank = compileIntermediate("1 %c 5\n");
  EXPECT_EQ(blank.status, 1);
  EXPECT_NE(blank.out.find(toCp932("ＭＭＬが解読できません")), std::string::npos);
  EXPECT_EQ(compileIntermediate("1 (c4) 3\n").status, 1);
}

// Every message text of the program must have a CP932 encoding.
TEST(Messages, AllEncodeAsCp932) {
  std::regex literal("\"([^\"\\\\]|\\\\.)*\"");
  int checked = 0;
  for (const auto& e : fs::recursive_directory_iterator(fs::path(TALLOW_SOURCE_DIR) / "src")) {
    if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
    std::ifstream in(e.path());
    std::stringstream text;
    text << in.rdbuf();
    std::string source = text.str();
    for (std::sregex_iterator it(source.begin(), source.end(), literal), end; it != end; ++it) {
      std::string s = it->str();
      if (std::all_of(s.begin(), s.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        continue;
      }
      ++checked;
      EXPECT_TRUE(encodableAsCp932(s)) << e.path() << ": " << s;
    }
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace tallow::testing

namespace tallow::testing {
namespace {

TEST(Platform, OnlyRegularFilesAreRead) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  TextReader reader;
  EXPECT_FALSE(reader.open("/dev/zero"));
  EXPECT_FALSE(reader.open(dir.file("fifo")));  // would block without a writer
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(readFilePrefix("/dev/urandom", 16, bytes));
}

}  // namespace
}  // namespace tallow::testing

namespace tallow::testing {
namespace {

// All streams of a compile share one budget: parts that stay below it one by
// one cannot add up to more (a source could otherwise ask for fifteen times
// the image's limit).
TEST(Platform, StreamsShareOneBudget) {
  TempDir dir;
  // Each part writes 65535 notes of 6 bytes (under /n): 393 210 bytes.
  dir.write("inter.txt", "# 1 song.mml\n1 (c%1)65535\n2 (c%1)65535\n3 (c%1)65535\n");
  for (size_t budget : {size_t{1} << 20, size_t{2} << 20}) {
    CompileJob job;
    job.sourcePath = "song.mml";
    job.intermediatePath = dir.file("inter.txt");
    job.optimize = 0;
    StringOutStream out;
    ProgramContext program;
    program.out = &out;
    program.streamBudget = budget;
    int status = compile(job, program);
    bool fits = budget > 3 * 393210;
    EXPECT_EQ(status, fits ? 0 : 1) << budget;
    EXPECT_EQ(out.text().find(toCp932("メモリが足りません")) != std::string::npos, !fits);
  }
}

}  // namespace
}  // namespace tallow::testing
