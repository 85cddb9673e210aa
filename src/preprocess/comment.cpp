// Comment stripping: one forward pass that copies the line onto itself.  The
// write position never overtakes the read position, and no byte past the end
// of the line is looked at.
#include "preprocess/comment.h"

#include "driver/paths.h"

namespace tallow {
namespace {

bool endsLine(char c) { return c == ';' || c == '/'; }

}  // namespace

void StripComment(std::string& line) {
  const size_t size = line.size();
  size_t read = 0;
  size_t write = 0;
  while (read < size) {
    char c = line[read];
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
