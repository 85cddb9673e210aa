// Keyword tables: titled, ordered lists of (name, code) records shared by
// the header commands, the MML commands, the envelope commands and the small
// auxiliary tables.
//
// Record 0 is the title (code 0).  The table ends at the first record whose
// code is 1.  Lookups take the first record, in order, whose whole name
// matches, so a longer keyword must stand before every shorter one that is a
// prefix of it.  Records can be overwritten (keyword redefinition); the
// lookup index by first byte is rebuilt after every change, so lookups always
// follow the current records.  An empty name never matches.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallow {

// Codes with the same meaning in every table.
constexpr int kCodeNoMatch = 1;
constexpr int kCodeNumber = 2;
constexpr int kCodeLineEnd = 3;
constexpr int kCodeEndOfFile = 4;

// Names are stored in 16-byte fields: a name keeps at most 16 bytes.
constexpr size_t kKeywordNameSize = 16;

// One record as the tables store it: 18 bytes, a 16-byte name (NUL-padded;
// a name of 16 bytes has no terminator) and a 16-bit little-endian code.
struct KeywordRecord {
  char name[kKeywordNameSize] = {};
  uint8_t code[2] = {kCodeNoMatch, 0};

  KeywordRecord() = default;
  KeywordRecord(std::string_view text, int16_t value);
  std::string_view nameText() const;
  int16_t codeValue() const { return static_cast<int16_t>(code[0] | code[1] << 8); }
};
static_assert(sizeof(KeywordRecord) == 18);

class KeywordTable {
 public:
  using Entry = std::pair<const char*, int16_t>;

  // An empty table: a title record without a name and the terminator.
  KeywordTable() : KeywordTable("", std::vector<Entry>{}, 0) {}
  // A table titled `title` holding `entries` in order; `capacity` is the
  // number of records it has room for (title and entries included), so that
  // redefinitions up to that many records still leave a terminating record.
  KeywordTable(std::string_view title, std::initializer_list<Entry> entries, size_t capacity = 0)
      : KeywordTable(title, std::vector<Entry>(entries), capacity) {}
  KeywordTable(std::string_view title, const std::vector<Entry>& entries, size_t capacity);

  // The code of the first record whose name is a prefix of `text`, with the
  // length of that name in `length`; -1 when no record matches.
  int matchPrefix(std::string_view text, size_t& length) const {
    if (text.empty()) return -1;
    // Most bytes answer at once: no record starts with them, or the first
    // record that does is that byte alone.
    int quick = quick_[static_cast<unsigned char>(text[0])];
    if (quick != kSearch) {
      length = 1;
      return quick;
    }
    const Bucket& bucket = byFirstByte_[static_cast<unsigned char>(text[0])];
    if (bucket.bySecondByte != nullptr && text.size() >= 2) {
      return firstMatch((*bucket.bySecondByte)[static_cast<unsigned char>(text[1])], text, length);
    }
    return firstMatch(bucket.all, text, length);
  }

  // The answer for text that starts with `byte` when it needs no search: a
  // code, or -1 when no record starts with the byte; kSearch otherwise.
  int quickAnswer(unsigned char byte) const { return quick_[byte]; }

  // What a reader that steps over a line byte by byte (the note reader)
  // takes `byte` for, the scanner's order of tests folded into one load:
  // kBlank for a blank (skipped before any test), kCodeLineEnd for a line
  // feed, kCodeNumber for a digit, kCodeNoMatch when no keyword starts with
  // the byte, the code of the keyword that is this byte alone, or kSearch
  // when only a search can tell or when that code is a negative one or one
  // of the shared codes (a redefinition can give one), which only the
  // general reading takes as the scanner does.
  int stepAnswer(unsigned char byte) const { return step_[byte]; }

  // The code of the first record whose name equals `token`; -1 when none does.
  int matchWhole(std::string_view token) const;

  // Overwrites record `index` (0 is the title record).
  void define(size_t index, std::string_view name, int16_t code);

  // Index of the terminating record.
  size_t end() const { return end_; }
  // The name of record `index` (0 is the title).
  std::string_view nameAt(size_t index) const { return records_[index].nameText(); }

  // A quick answer that says "search the bucket"; otherwise an answer is a
  // code, or -1 when no record starts with the byte.
  static constexpr int kSearch = -0x10000;
  // The step answer for a blank.
  static constexpr int kBlank = -0x10001;

 private:
  // A record as the lookup compares it.
  struct Candidate {
    uint8_t length;
    char name[kKeywordNameSize];
    int16_t code;
  };
  // The records whose names begin with one byte, in table order; a bucket
  // with many records is split again by the names' second byte (a record of
  // one byte stands in every part).
  struct Bucket {
    std::vector<Candidate> all;
    std::unique_ptr<std::array<std::vector<Candidate>, 256>> bySecondByte;
  };

  void rebuildIndex();
  void rebuildQuickAnswers();
  static int firstMatch(const std::vector<Candidate>& candidates, std::string_view text,
                        size_t& length) {
    for (const Candidate& c : candidates) {
      if (c.length > text.size()) continue;
      size_t i = 1;  // every candidate's first byte is the text's
      while (i < c.length && c.name[i] == text[i]) ++i;
      if (i == c.length) {
        length = c.length;
        return c.code;
      }
    }
    return -1;
  }

  std::vector<KeywordRecord> records_;
  size_t end_ = 0;
  std::array<Bucket, 256> byFirstByte_;
  std::array<int, 256> quick_{};
  std::array<int, 256> step_{};
};

}  // namespace tallow
