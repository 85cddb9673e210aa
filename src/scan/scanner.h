// The token scanner over the intermediate file.
//
// It reads one physical line at a time (at most 8191 bytes, a longer line
// comes in pieces) and offers two levels of reading.  The header level reads
// across lines: command tokens, numbers and rest-of-line texts.  The MML level
// never leaves the current line.
//
// Model: `pos_` is the index of the next character to take and `cur_` the
// character last taken, which the readers look at first.  While `cur_` is not
// a line end it equals line_[pos_ - 1].  A line end is returned for a real
// line feed and for the end of the buffer (a NUL); the end of the buffer, and
// a line feed taken at the header level, set new-line-needed, and the header
// level then reads the next line before taking a character.  The scanner
// also keeps the file name and line counter that diagnostics show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/column_map.h"
#include "base/files.h"
#include "scan/keyword_table.h"

namespace tallow {

class Diagnostics;

constexpr int kEndOfFileChar = 0x1B;
constexpr size_t kLineCapacity = 8192;

enum class CharClass : uint8_t { kOther = 0, kName = 1, kDigit = 2, kSeparator = 3 };
CharClass charClass(int c);

// The result of the header-level token and number readers.
struct Token {
  int code = 0;
  int16_t value = 0;
  std::string text;
};

class Scanner {
 public:
  struct Position {
    size_t pos;
    int cur;
    bool newLineNeeded;
  };

  void setDiagnostics(Diagnostics& diagnostics) { diag_ = &diagnostics; }

  // Opens the file; it becomes the current file name, line counter 0.  False
  // when it cannot be opened or a file is open already.
  bool open(const std::string& path);
  // Closes the open file; false when none is open.
  bool close();

  // Header level.
  int nextCharHeader();
  Token readToken(const KeywordTable& table);
  int16_t readHeaderNumber(int32_t low, int32_t high);
  std::string readText();
  std::string collect(std::string_view set);

  // MML level.
  // The character at `pos`, advancing it as nextChar() advances the
  // position: a line end at the end of the buffer, without advancing.
  int take(size_t& pos) {
    char c = line_[pos];
    if (c == '\0') {
      newLineNeeded_ = true;
      return '\n';
    }
    ++pos;
    return static_cast<unsigned char>(c);
  }
  int nextChar() {
    char c = line_[pos_];
    if (c == '\0') {
      newLineNeeded_ = true;
      return cur_ = '\n';
    }
    ++pos_;
    return cur_ = static_cast<unsigned char>(c);
  }
  int lookup(const KeywordTable& table) {
    int code = match(table, true);
    if (code >= 0) return code;
    return (cur_ == '-' || cur_ == '+') ? kCodeNumber : kCodeNoMatch;
  }
  // lookup() for the command loop: the byte's step answer tells at one load
  // (blanks skipped) a line end, a digit and a keyword of one byte with a
  // code of its own; anything else takes lookup()'s path.
  int lookupCommand(const KeywordTable& table) {
    int code = table.stepAnswer(static_cast<unsigned char>(cur_));
    if (code == KeywordTable::kBlank) {
      skipBlanks();
      code = table.stepAnswer(static_cast<unsigned char>(cur_));
    }
    if (code > kCodeLineEnd || code == 0) {
      nextChar();
      return code;
    }
    if (code == kCodeLineEnd || code == kCodeNumber) return code;
    return lookup(table);
  }
  int peek(const KeywordTable& table) {
    int code = match(table, false);
    return code >= 0 ? code : kCodeNoMatch;
  }
  int32_t readNumber(int32_t low, int32_t high) {
    skipBlanks();
    bool negative = cur_ == '-';
    if (negative || cur_ == '+') {
      nextChar();
    } else if (cur_ < '0' || cur_ > '9') {
      numberMissing();
    }
    // The digits, with the position kept in a register as nextChar() would
    // move it.
    size_t pos = pos_;
    int c = cur_;
    size_t stored = negative ? 1 : 0;
    int64_t value = 0;
    while (c >= '0' && c <= '9') {
      if (stored == kNumberLimit) {
        pos_ = pos;
        cur_ = c;
        numberTooLong();
      }
      ++stored;
      value = value * 10 + (c - '0');  // at most 14 digits: no overflow
      c = take(pos);
    }
    pos_ = pos;
    cur_ = c;
    value = negative ? -value : value;
    if (value < low || value > high) numberOutOfRange(value, low, high);
    return static_cast<int32_t>(value);
  }
  // True when a digit or sign stands at the current character (no blank
  // skipped): the test for optional numbers.
  bool numberFollowsDirectly() const;
  void separator();
  // The next argument of a command: a separator, then a number.
  int32_t readNextNumber(int32_t low, int32_t high) {
    separator();
    return readNumber(low, high);
  }
  void skipToBar();
  void skipLine();
  void skipBlanks() {
    if (cur_ != ' ' && cur_ != '\t') return;
    size_t pos = pos_;
    int c;
    do {
      c = take(pos);
    } while (c == ' ' || c == '\t');
    pos_ = pos;
    cur_ = c;
  }

  // A read-ahead over the current line that moves the scanner only when
  // committed: it steps as nextChar() and skipBlanks() would.
  struct Lookahead {
    size_t pos;
    int cur;
    bool reachedEnd;  // the end of the buffer was met: a new line is needed
  };
  Lookahead lookahead() const { return {pos_, cur_, false}; }
  void advance(Lookahead& a) const {
    char c = line_[a.pos];
    if (c == '\0') {
      a.reachedEnd = true;
      a.cur = '\n';
      return;
    }
    ++a.pos;
    a.cur = static_cast<unsigned char>(c);
  }
  void skipBlanks(Lookahead& a) const {
    while (a.cur == ' ' || a.cur == '\t') advance(a);
  }
  // The line from the read-ahead's current character on, as restOfLine().
  std::string_view restOfLine(const Lookahead& a) const {
    if (a.pos == 0) return {};
    return std::string_view(line_ + a.pos - 1, lineLength_ - (a.pos - 1));
  }
  void commit(const Lookahead& a) {
    pos_ = a.pos;
    cur_ = a.cur;
    if (a.reachedEnd) newLineNeeded_ = true;
  }

  Position savePosition() const { return {pos_, cur_, newLineNeeded_}; }
  void restorePosition(const Position& p);

  int current() const { return cur_; }
  bool atDigit() const { return cur_ >= '0' && cur_ <= '9'; }
  // The current line from its start through the last character taken.
  std::string_view takenText() const { return std::string_view(line_, pos_); }
  const std::string& fileName() const { return fileName_; }
  // Counts the changes of fileName(): equal counts, the same name.
  uint32_t fileNameChanges() const { return fileNameChanges_; }
  int32_t lineCounter() const { return lineCounter_; }
  // A line marker: the line counter and the file name shown from now on.
  void setMarker(int32_t line, std::string fileName);
  // Marks the current character as the start of a command, for messages
  // that quote the command (kept as the position; the start is worked out
  // only when a message asks for it).
  void markCommand() { commandMark_ = pos_; }
  // The column in the source line of the current line's 1-based column
  // `column`: itself unless the preprocessor rewrote the line.
  size_t columnInSource(size_t column) const {
    if (columns_ == nullptr || column == 0) return column;
    return columns_->sourceOffset(fileName_, lineCounter_ - 1, column - 1) + 1;
  }
  void setColumnMaps(const ColumnMaps* columns) { columns_ = columns; }

 private:
  void skipBlanksAndLineEnds();
  void readLine();
  // The line from the current character on (empty at a line end).
  std::string_view restOfLine() const {
    if (pos_ == 0) return {};
    return std::string_view(line_ + pos_ - 1, lineLength_ - (pos_ - 1));
  }
  // The code of the keyword at the current character (taken when `take`),
  // 3 at a line end, 2 before a digit, -1 when no keyword matches.
  int match(const KeywordTable& table, bool take) {
    skipBlanks();
    if (cur_ == '\n') return kCodeLineEnd;
    if (cur_ >= '0' && cur_ <= '9') return kCodeNumber;
    int quick = table.quickAnswer(static_cast<unsigned char>(cur_));
    if (quick != KeywordTable::kSearch) {
      if (quick >= 0 && take) nextChar();  // a keyword of one byte: the current one
      return quick;
    }
    size_t length = 0;
    int code = table.matchPrefix(restOfLine(), length);
    if (code >= 0 && take) {
      pos_ = pos_ - 1 + length;
      nextChar();
    }
    return code;
  }
  // Reads an optional '-' or '+' and the digits after it at the header
  // level; the value saturates at the 32-bit limits; a 15th character is
  // refused.
  int32_t collectHeaderNumber();
  [[noreturn]] void numberMissing();
  [[noreturn]] void numberTooLong();
  [[noreturn]] void numberOutOfRange(int64_t value, int32_t low, int32_t high);
  // The English message of a number out of range: the command as written so
  // far, what it sets, the value and the range.
  std::string outOfRangeText(int64_t value, int32_t low, int32_t high) const;

 public:
  // The latest command as written so far (from its mark to the last
  // character taken, without blanks around it).
  std::string_view commandText() const;
  // Where that command starts in the line (its first byte after blanks).
  size_t commandStart() const;

 private:
  static constexpr size_t kNumberLimit = 14;  // a 15th character is refused

  Diagnostics* diag_ = nullptr;
  const ColumnMaps* columns_ = nullptr;
  TextReader reader_;
  bool open_ = false;
  char line_[kLineCapacity] = {};
  size_t lineLength_ = 0;  // bytes before the first NUL
  size_t pos_ = 0;
  size_t commandMark_ = 0;  // the position when the latest command began
  int cur_ = '\n';
  bool newLineNeeded_ = true;
  bool atEnd_ = false;  // the end of the file has been met
  int32_t lineCounter_ = 0;
  std::string fileName_;
  uint32_t fileNameChanges_ = 0;
};

}  // namespace tallow
