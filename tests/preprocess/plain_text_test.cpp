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

// The scans against plain loops, on random texts made mostly of the bytes
// that count.
TEST(PlainText, ScansAgreeWithLoops) {
  auto yes = [](bool held, std::string_view t) { return held ? size_t{0} : t.size(); };
  struct Scan {
    const char* name;
    std::function<size_t(std::string_view)> find;
    std::string_view set;
    bool high;     // bytes of 0x80 and above count
    bool whether;  // the scan tells whether, not where (0 for yes)
  } scans[] = {
      {"firstSpecialByte", firstSpecialByte, kSpecials, false, false},
      {"firstReferenceByte", firstReferenceByte, "$?\\", true, false},
      {"firstBraceByte", firstBraceByte, "{}\\", true, false},
      {"mayHoldComment", [&](std::string_view t) { return yes(mayHoldComment(t), t); }, ";/\\",
       false, true},
      {"mayHoldReference", [&](std::string_view t) { return yes(mayHoldReference(t), t); }, "$?\\",
       false, true},
      {"mayHoldBrace", [&](std::string_view t) { return yes(mayHoldBrace(t), t); }, "{}\\", false,
       true},
  };
  const std::string alphabet = std::string("ab c\t;/$?\\{}#@'.:>\x7F\x80\xFF", 21) + '\0';
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (size_t n = random() % 70; n > 0; --n) {
      text += random() % 8 == 0 ? alphabet[random() % alphabet.size()] : 'x';
    }
    for (const Scan& s : scans) {
      size_t expected = text.size();
      for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if ((s.high && c >= 0x80) || s.set.find(text[i]) != std::string_view::npos) {
          expected = s.whether ? 0 : i;
          break;
        }
      }
      ASSERT_EQ(s.find(text), expected) << s.name << " " << text;
    }
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
