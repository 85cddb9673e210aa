// UTF-8 to CP932 conversion through a sorted table of the two-byte codes
// (and the half-width katakana), generated once by tools/gen_cp932.py.
#include "base/cp932.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "base/utf8.h"

namespace tallow {
namespace {

struct CodePair {
  uint16_t unicode;
  uint16_t cp932;
};

constexpr CodePair kTable[] = {
#include "base/cp932_table.inc"
};

struct DecodePair {
  uint16_t cp932;
  uint16_t unicode;
};

constexpr DecodePair kDecodeTable[] = {
#include "base/cp932_decode_table.inc"
};

constexpr char32_t kReplacement = 0xFFFD;

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// The code point of CP932 code `code`, or U+FFFD.
char32_t decodeCode(uint16_t code) {
  auto it = std::lower_bound(std::begin(kDecodeTable), std::end(kDecodeTable), code,
                             [](const DecodePair& p, uint16_t v) { return p.cp932 < v; });
  return it != std::end(kDecodeTable) && it->cp932 == code ? it->unicode : kReplacement;
}

// Decodes one UTF-8 sequence at `i`; returns U+FFFD for a malformed one.
char32_t decodeUtf8(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) return 0xFFFD;
    unsigned char d = static_cast<unsigned char>(s[i]);
    if ((d & 0xC0) != 0x80) return 0xFFFD;
    cp = cp << 6 | (d & 0x3F);
    ++i;
  }
  return cp;
}

// Returns the CP932 code of `cp`, or -1 when there is none.
int lookup(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp > 0xFFFF) return -1;
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), cp,
                             [](const CodePair& p, char32_t v) { return p.unicode < v; });
  if (it == std::end(kTable) || it->unicode != cp) return -1;
  return it->cp932;
}

void appendCode(std::string& out, int code) {
  if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

}  // namespace

std::string toCp932(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    int code = lookup(decodeUtf8(utf8, i));
    appendCode(out, code < 0 ? '?' : code);
  }
  return out;
}

bool encodableAsCp932(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    if (lookup(decodeUtf8(utf8, i)) < 0) return false;
  }
  return true;
}

std::string cp932ToUtf8(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (isLeadByte(c) && i + 1 < bytes.size() &&
               isTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
      auto trail = static_cast<unsigned char>(bytes[++i]);
      appendUtf8(out, decodeCode(static_cast<uint16_t>(c << 8 | trail)));
    } else {
      appendUtf8(out, decodeCode(c));
    }
  }
  return out;
}

std::string userTextToUtf8(std::string_view bytes) {
  return isValidUtf8(bytes) ? std::string(bytes) : cp932ToUtf8(bytes);
}

}  // namespace tallow
