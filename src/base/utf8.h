// UTF-8: validity and encoding of code points, and the two encodings the
// program deals in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tallow {

// The encoding of a text: CP932 (Shift-JIS), the program's default for its
// messages and the user's sources, or UTF-8.
enum class Encoding : uint8_t { kCp932, kUtf8 };

// The UTF-8 byte-order mark that may start a UTF-8 source.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isValidUtf8(std::string_view text);

// The length of the well-formed UTF-8 sequence at the start of `text` (1-4),
// or 0 when none starts there.
size_t utf8SequenceLength(std::string_view text);

// Checks UTF-8 validity over a text that may arrive in pieces: a sequence
// cut by the end of one piece is completed by the next.
class Utf8Validator {
 public:
  void feed(std::string_view bytes);
  // True when everything fed is valid UTF-8 and ends with a whole sequence.
  bool valid() const { return valid_ && needed_ == 0; }
  // True when a byte above 0x7F was fed.
  bool sawMultibyte() const { return multibyte_; }

 private:
  int needed_ = 0;                          // continuation bytes still expected
  unsigned char low_ = 0x80, high_ = 0xBF;  // the bounds of the next one
  bool valid_ = true;
  bool multibyte_ = false;
};

// Appends the UTF-8 encoding of `cp` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

}  // namespace tallow
