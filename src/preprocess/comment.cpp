// Comment stripping: one forward pass that copies the line onto itself.  The
// write position never overtakes the read position, and no byte past the end
// of the line is looked at.
#include "preprocess/comment.h"

#include <array>

#include "base/text_scan.h"
#include "preprocess/characters.h"

namespace tallow {
namespace {

bool endsLine(char c) { return c == ';' || c == '/'; }

// The bytes that go through as they are: all but comment starts,
// backslashes and the starts of multibyte characters, by encoding.
constexpr std::array<bool, 256> kPlainCp932 = plainBytes(Encoding::kCp932, ";/\\");
constexpr std::array<bool, 256> kPlainUtf8 = plainBytes(Encoding::kUtf8, ";/\\");

}  // namespace

void stripComment(std::string& line, Encoding encoding) {
  const std::array<bool, 256>& plain = encoding == Encoding::kUtf8 ? kPlainUtf8 : kPlainCp932;
  auto isSpecial = [&](char c) { return !plain[static_cast<unsigned char>(c)]; };
  const size_t size = line.size();
  size_t read = 0;
  // Up to the first byte that needs a look, the line stays as it is.
  read = plainPrefix(line, ';', '/', '\\');
  while (read < size && !isSpecial(line[read])) ++read;
  size_t write = read;
  while (read < size) {
    char c = line[read];
    if (!isSpecial(c)) {
      line[write++] = c;
      ++read;
      continue;
    }
    if (endsLine(c)) {
      line[write++] = '\n';
      break;
    }
    bool hasNext = read + 1 < size;
    if (c == '\\' && hasNext && endsLine(line[read + 1])) {
      line[write++] = line[read + 1];
      read += 2;
      continue;
    }
    bool multibyte = startsMultibyte(encoding, static_cast<unsigned char>(c));
    if (multibyte && encoding == Encoding::kUtf8) {
      size_t length = characterLength(encoding, line, read);
      for (size_t k = 0; k < length; ++k) line[write++] = line[read++];
      continue;
    }
    // A CP932 character is copied whole unless its second byte would end the
    // line (so that a second byte 0x5C never escapes the byte after it).
    if (multibyte && hasNext && !endsLine(line[read + 1])) {
      line[write++] = c;
      line[write++] = line[read + 1];
      read += 2;
      continue;
    }
    line[write++] = c;
    ++read;
  }
  line.resize(write);
}

}  // namespace tallow
