// Reading files: text mode as Windows reads it (a 0x1A ends the text, CR LF
// becomes LF, lines cut where the buffer fills) and only regular files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/files.h"
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

TEST(TextReader, FindsLineEndsPastTheFirstBlocksOfALine) {
  TempDir dir;
  // A CR, a CR LF and a 0x1A where a line's bytes are searched by blocks of
  // sixteen, in the last one, which overlaps the one before.
  dir.write("t.txt", "0123456789abcdefgh\rj\n0123456789abcdefghi\r\n0123456789abcdefghij\x1A\n");
  EXPECT_EQ(readAllLines(dir.file("t.txt")),
            (std::vector<std::string>{"0123456789abcdefgh\rj\n", "0123456789abcdefghi\n",
                                      "0123456789abcdefghij"}));
}

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
