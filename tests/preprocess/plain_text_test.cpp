// The scans for the bytes the passes act on, and the intermediate file's
// writer.
#include "preprocess/plain_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/files.h"
#include "preprocess/intermediate.h"
#include "support/temp_dir.h"

namespace tallow {
namespace {

// A scan and the bytes it looks for.
struct Scan {
  const char* name;
  size_t (*find)(std::string_view);
  std::string_view set;
  bool high;   // bytes of 0x80 and above count too
  bool where;  // false: the scan tells only whether (0 for yes, the length for no)
};

template <bool (*mayHold)(std::string_view)>
size_t whether(std::string_view text) {
  return mayHold(text) ? 0 : text.size();
}

const Scan kScans[] = {
    {"firstSpecialByte", firstSpecialByte, std::string_view(";/$?\\{}\0", 8), false, true},
    {"firstReferenceByte", firstReferenceByte, "$?\\", true, true},
    {"firstBraceByte", firstBraceByte, "{}\\", true, true},
    {"mayHoldComment", whether<mayHoldComment>, ";/\\", false, false},
    {"mayHoldReference", whether<mayHoldReference>, "$?\\", false, false},
    {"mayHoldBrace", whether<mayHoldBrace>, "{}\\", false, false},
};

// Every byte value at every place of plain lines of every length up to three
// blocks and a half: the blocks, the overlapping last block and the bytes
// scanned one by one must all find it, and only the bytes that count.
TEST(PlainText, EveryScanFindsEveryByteEverywhere) {
  for (const Scan& scan : kScans) {
    for (size_t length = 1; length <= 56; ++length) {
      for (size_t at = 0; at < length; ++at) {
        for (int c = 0; c < 256; ++c) {
          std::string line(length, 'a');
          line[at] = static_cast<char>(c);
          const bool counts = (scan.high && c >= 0x80) ||
                              scan.set.find(static_cast<char>(c)) != std::string_view::npos;
          const size_t expected = !counts ? length : scan.where ? at : 0;
          ASSERT_EQ(scan.find(line), expected)
              << scan.name << " " << length << " " << at << " " << c;
        }
      }
    }
    EXPECT_EQ(scan.find(""), 0u) << scan.name;
  }
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
