// UTF-8 validity and encoding.
#include "base/utf8.h"

#include <cstring>

namespace tallow {
namespace {

// The length of the UTF-8 sequence that starts with `lead` (0 when the byte
// cannot start one), and the bounds of its second byte.
struct Utf8Lead {
  size_t length;
  unsigned char low, high;
};

Utf8Lead utf8Lead(unsigned char c) {
  if (c >= 0xC2 && c <= 0xDF) return {2, 0x80, 0xBF};
  if (c == 0xE0) return {3, 0xA0, 0xBF};
  if (c == 0xED) return {3, 0x80, 0x9F};  // no surrogates
  if (c >= 0xE1 && c <= 0xEF) return {3, 0x80, 0xBF};
  if (c == 0xF0) return {4, 0x90, 0xBF};
  if (c >= 0xF1 && c <= 0xF3) return {4, 0x80, 0xBF};
  if (c == 0xF4) return {4, 0x80, 0x8F};  // nothing above U+10FFFF
  return {0, 0, 0};
}

}  // namespace

size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  auto c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return 1;
  Utf8Lead lead = utf8Lead(c);
  if (lead.length == 0 || text.size() < lead.length) return 0;
  auto second = static_cast<unsigned char>(text[1]);
  if (second < lead.low || second > lead.high) return 0;
  for (size_t k = 2; k < lead.length; ++k) {
    if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) return 0;
  }
  return lead.length;
}

void Utf8Validator::feed(std::string_view bytes) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (!valid_) return;
    // Plain ASCII eight bytes at a time between sequences.
    while (needed_ == 0 && i + 8 <= bytes.size()) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      if ((word & kHighBits) != 0) break;
      i += 8;
    }
    if (i >= bytes.size()) return;
    auto b = static_cast<unsigned char>(bytes[i]);
    if (needed_ == 0) {
      if (b < 0x80) continue;
      multibyte_ = true;
      Utf8Lead lead = utf8Lead(b);
      if (lead.length == 0) {
        valid_ = false;
        return;
      }
      needed_ = static_cast<int>(lead.length) - 1;
      low_ = lead.low;
      high_ = lead.high;
    } else {
      if (b < low_ || b > high_) {
        valid_ = false;
        return;
      }
      --needed_;
      low_ = 0x80;
      high_ = 0xBF;
    }
  }
}

bool isValidUtf8(std::string_view text) {
  Utf8Validator check;
  check.feed(text);
  return check.valid();
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace tallow
