// Comment stripping: one forward pass that copies the line onto itself.  The
// write position never overtakes the read position, and no byte past the end
// of the line is looked at.
#include "preprocess/comment.h"

#include <array>

#include "base/paths.h"
#include "base/text_scan.h"

namespace tallow {
namespace {

bool endsLine(char c) { return c == ';' || c == '/'; }

// The bytes that need a look: comment starts, backslashes and lead bytes.
constexpr std::array<bool, 256> makeSpecial() {
  std::array<bool, 256> special{};
  for (int c = 0; c < 256; ++c) special[c] = isSjisLead(static_cast<unsigned char>(c));
  special[';'] = special['/'] = special['\\'] = true;
  return special;
}

constexpr std::array<bool, 256> kSpecial = makeSpecial();

bool isSpecial(char c) { return kSpecial[static_cast<unsigned char>(c)]; }

}  // namespace

void stripComment(std::string& line) {
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
    if (isSjisLead(static_cast<unsigned char>(c)) && hasNext && !endsLine(line[read + 1])) {
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
