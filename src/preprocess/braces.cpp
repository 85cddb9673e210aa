// Repetition braces, in one pass: a group's text is the output written since
// its "{"; at its "}" that text is copied for the further repetitions.  The
// output never exceeds 8191 bytes, so the copying is bounded by it too.
#include "preprocess/braces.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/characters.h"
#include "preprocess/macros.h"
#include "preprocess/plain_text.h"

namespace tallow {
namespace {

constexpr int kMaxCountDigits = 8;
constexpr uint64_t kDefaultCount = 2;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Bytes that are copied as they are: all but braces, backslashes and the
// starts of multibyte characters, by encoding.
constexpr std::array<bool, 256> kPlainCp932 = plainBytes(Encoding::kCp932, "{}\\");
constexpr std::array<bool, 256> kPlainUtf8 = plainBytes(Encoding::kUtf8, "{}\\");

// Reads the count after a "}": 2 when no digit follows, else 1 to 8 digits;
// 0 for a count that is zero or too long.
uint64_t readCount(std::string_view source, size_t& i) {
  if (i >= source.size() || !isDigit(source[i])) return kDefaultCount;
  uint64_t value = 0;
  for (int digits = 0; i < source.size() && isDigit(source[i]); ++digits, ++i) {
    if (digits == kMaxCountDigits) return 0;
    value = value * 10 + static_cast<uint64_t>(source[i] - '0');
  }
  return value;
}

class BraceExpander {
 public:
  BraceExpander(std::string& out, OutStream& messages, Encoding encoding,
                std::vector<ColumnStretch>* stretches)
      : out_(out),
        stretches_(stretches),
        messages_(messages),
        encoding_(encoding),
        plain_(encoding == Encoding::kUtf8 ? kPlainUtf8 : kPlainCp932) {}

  bool run(std::string_view source);

 private:
  bool copy(std::string_view source, size_t from, size_t count);
  void mapRepetitions(size_t start, size_t end);
  bool closeGroup(std::string_view source, size_t& i);
  bool fail(std::string_view utf8) {
    messages_.write(formatText(utf8));
    return false;
  }
  bool tooLong() {
    messages_.write(formatText(messages_.tr("１行が%d文字を越えました\n"), kMaxExpandedLength + 1));
    return false;
  }

  std::string& out_;
  std::vector<ColumnStretch>* stretches_;
  OutStream& messages_;
  Encoding encoding_;
  const std::array<bool, 256>& plain_;
  std::vector<size_t> groupStarts_;
};

bool BraceExpander::copy(std::string_view source, size_t from, size_t count) {
  if (out_.size() + count > kMaxExpandedLength) return tooLong();
  if (stretches_ != nullptr) {
    // A new stretch unless the last one runs on into this copy.
    const ColumnStretch* last = stretches_->empty() ? nullptr : &stretches_->back();
    if (last == nullptr || last->source + (out_.size() - last->written) != from) {
      stretches_->push_back({out_.size(), from, false});
    }
  }
  out_.append(source.substr(from, count));
  return true;
}

// The repetitions written after `end` come from the group's text, which
// starts at `start`.
void BraceExpander::mapRepetitions(size_t start, size_t end) {
  std::vector<ColumnStretch>& map = *stretches_;
  // The stretches that start within the group are the last ones so far.
  size_t first = map.size();
  while (first > 0 && map[first - 1].written > start) --first;
  std::vector<ColumnStretch> group{{0, offsetThrough(map, start), false}};
  for (size_t i = first; i < map.size(); ++i) {
    group.push_back({map[i].written - start, map[i].source, false});
  }
  for (size_t at = end; at < out_.size(); at += end - start) {
    for (const ColumnStretch& s : group) map.push_back({at + s.written, s.source, false});
  }
}

bool BraceExpander::closeGroup(std::string_view source, size_t& i) {
  if (groupStarts_.empty()) return fail("括弧'{'が足りません\n");
  uint64_t count = readCount(source, i);
  if (count == 0) return fail("ループ数の指定が不正です\n");
  size_t start = groupStarts_.back();
  groupStarts_.pop_back();
  size_t length = out_.size() - start;
  if (length == 0) return true;
  uint64_t extra = (count - 1) * length;
  if (extra > kMaxExpandedLength - out_.size()) return tooLong();
  size_t end = out_.size();
  out_.resize(end + static_cast<size_t>(extra));
  for (size_t at = end; at < out_.size(); at += length)
    std::memcpy(&out_[at], &out_[start], length);
  if (stretches_ != nullptr) mapRepetitions(start, end);
  return true;
}

bool BraceExpander::run(std::string_view source) {
  size_t i = 0;
  while (i < source.size()) {
    char c = source[i];
    if (c == '\\' || startsMultibyte(encoding_, static_cast<unsigned char>(c))) {
      // A backslash and the byte after it, or one whole character.
      size_t n =
          c == '\\' ? (source.size() - i > 1 ? 2 : 1) : characterLength(encoding_, source, i);
      if (!copy(source, i, n)) return false;
      i += n;
    } else if (c == '{') {
      groupStarts_.push_back(out_.size());
      ++i;
    } else if (c == '}') {
      ++i;
      if (!closeGroup(source, i)) return false;
    } else {
      size_t end = i + 1 + firstBraceByte(source.substr(i + 1));
      while (end < source.size() && plain_[static_cast<unsigned char>(source[end])]) ++end;
      if (!copy(source, i, end - i)) return false;
      i = end;
    }
  }
  if (!groupStarts_.empty()) return fail("括弧'}'が足りません\n");
  return true;
}

}  // namespace

bool expandBraces(std::string_view source, std::string& dest, OutStream& messages,
                  Encoding encoding, std::vector<ColumnStretch>* stretches) {
  dest.clear();
  BraceExpander expander(dest, messages, encoding, stretches);
  return expander.run(source);
}

}  // namespace tallow
