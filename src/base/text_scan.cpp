// Small scanners over one source line.  None of them reads past the end of
// the line, and each is linear in the bytes it passes over.
#include "base/text_scan.h"

namespace tallow {

size_t skipBlanks(std::string_view line, size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return pos < line.size() ? pos : line.size();
}

bool readField(std::string_view line, size_t& pos, std::string& out, std::string_view delimiters,
               size_t size) {
  size_t start = skipBlanks(line, pos);
  size_t end = start;
  while (end < line.size() && delimiters.find(line[end]) == std::string_view::npos) {
    if (end - start + 1 > size - 1) return false;
    ++end;
  }
  out.assign(line.substr(start, end - start));
  pos = end;
  return true;
}

bool hasTrailingText(std::string_view line, size_t& pos) {
  while (pos < line.size() && (isBlank(line[pos]) || line[pos] == '\n')) ++pos;
  return pos < line.size();
}

std::string_view trimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (isBlank(text[end - 1]) || text[end - 1] == '\n')) --end;
  return text.substr(0, end);
}

}  // namespace tallow
