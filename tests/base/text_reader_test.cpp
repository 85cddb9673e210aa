// Reading files: text mode as Windows reads it (a 0x1A ends the text, CR LF
// becomes LF, lines cut where the buffer fills) and only regular files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

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
