// The scans for the bytes the passes act on, and the intermediate file's
// writer.
#include "preprocess/plain_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "base/files.h"
#include "preprocess/intermediate.h"
#include "support/temp_dir.h"

namespace tallow {
namespace {

constexpr std::string_view kSpecials = std::string_view(";/$?\\{}\0", 8);

bool isSpecial(unsigned char c) { return kSpecials.find(c) != std::string_view::npos; }

// Every byte value at every place of plain lines of every length up to three
// blocks and a half: the blocks, the overlapping last block and the bytes
// scanned one by one must all find it, and only the bytes that count.
TEST(firstSpecialByte, EveryByteEverywhere) {
  for (size_t length = 1; length <= 56; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (int c = 0; c < 256; ++c) {
        std::string line(length, 'a');
        line[at] = static_cast<char>(c);
        size_t expected = isSpecial(static_cast<unsigned char>(c)) ? at : length;
        ASSERT_EQ(firstSpecialByte(line), expected) << length << " " << at << " " << c;
      }
    }
  }
  EXPECT_EQ(firstSpecialByte(""), 0u);
}

// Written pieces, reserved and committed lines and pieces larger than the
// block reach the file in order, whole.
TEST(IntermediateWriter, KeepsOrderAcrossBlocks) {
  testing::TempDir dir;
  FileWriter file;
  ASSERT_TRUE(file.create(dir.file("out.txt")));
  IntermediateWriter writer(file);
  std::string expected;
  std::mt19937 random(3);
  for (int i = 0; i < 3000; ++i) {
    std::string piece(random() % 300, static_cast<char>('a' + i % 26));
    if (i % 500 == 0) piece.assign(300000, 'z');
    if (i % 7 == 0) writer.reserve(8192)[0] = '!';  // reserved, never committed
    if (i % 3 == 0) {
      char* slot = writer.reserve(8192);
      std::copy(piece.begin(), piece.begin() + std::min<size_t>(piece.size(), 8192), slot);
      piece.resize(std::min<size_t>(piece.size(), 8192));
      writer.commit(piece.size());
    } else {
      writer.write(piece);
    }
    expected += piece;
  }
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(dir.read("out.txt"), expected);
}

}  // namespace
}  // namespace tallow
