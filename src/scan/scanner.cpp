// The scanner's header-level readers, numbers, texts and line reading.
// Readers never look past the NUL that ends the line buffer.
#include "scan/scanner.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "scan/diagnostics.h"

namespace tallow {
namespace {

constexpr size_t kTokenLimit = 14;   // a 15th character is refused
constexpr size_t kTextLimit = 1022;  // a 1023rd character is refused

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

CharClass charClass(int c) {
  if (isDigit(c)) return CharClass::kDigit;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return CharClass::kName;
  switch (c) {
    case '%':
    case '+':
    case '-':
    case '_':
    case '#':
    case '.':
    case '@':
      return CharClass::kName;
    case ',':
      return CharClass::kSeparator;
    default:
      return CharClass::kOther;
  }
}

bool Scanner::open(const std::string& path) {
  if (open_ || !reader_.open(path)) return false;
  open_ = true;
  fileName_ = path;
  ++fileNameChanges_;
  lineCounter_ = 0;
  newLineNeeded_ = true;
  atEnd_ = false;
  return true;
}

bool Scanner::close() {
  if (!open_) return false;
  reader_.close();
  open_ = false;
  return true;
}

void Scanner::setMarker(int32_t line, std::string fileName) {
  lineCounter_ = line;
  fileName_ = std::move(fileName);
  ++fileNameChanges_;
}

void Scanner::restorePosition(const Position& p) {
  pos_ = p.pos;
  cur_ = p.cur;
  newLineNeeded_ = p.newLineNeeded;
}

void Scanner::readLine() {
  size_t length = 0;
  // The reader ends an empty read with a NUL at the start of the buffer; at
  // the end of the file the last line must stay as it was read, because a
  // diagnostic raised afterwards shows it.
  char first = line_[0];
  switch (reader_.readLine(line_, sizeof line_, length)) {
    case TextReader::Result::kLine:
      lineLength_ = std::strlen(line_);
      lineCounter_ = static_cast<int32_t>(static_cast<uint32_t>(lineCounter_) + 1);
      newLineNeeded_ = false;
      pos_ = 0;
      return;
    case TextReader::Result::kEndOfFile:
      line_[0] = first;
      atEnd_ = true;
      cur_ = kEndOfFileChar;
      return;
    case TextReader::Result::kError:
      diag_->error("ファイル読込エラー");
  }
}

int Scanner::nextCharHeader() {
  if (newLineNeeded_) {
    readLine();
    if (newLineNeeded_) return cur_;  // end of file
  }
  char c = line_[pos_];
  if (c == '\0') {
    newLineNeeded_ = true;
    return cur_ = '\n';
  }
  ++pos_;
  if (c == '\n') newLineNeeded_ = true;
  return cur_ = static_cast<unsigned char>(c);
}

void Scanner::skipBlanksAndLineEnds() {
  while (isBlank(cur_) || cur_ == '\n') nextCharHeader();
}

Token Scanner::readToken(const KeywordTable& table) {
  Token token;
  skipBlanksAndLineEnds();
  if (atEnd_) {
    token.code = kCodeEndOfFile;
    return token;
  }
  markCommand();
  while (charClass(cur_) == CharClass::kName || charClass(cur_) == CharClass::kDigit) {
    if (token.text.size() == kTokenLimit) diag_->error("文字列が長すぎます。");
    token.text.push_back(static_cast<char>(cur_));
    nextCharHeader();
  }
  if (token.text.empty()) diag_->error("コマンドが見つからない");
  int code = table.matchWhole(token.text);
  token.code = code < 0 ? kCodeNoMatch : code;
  return token;
}

int32_t Scanner::collectHeaderNumber() {
  bool negative = cur_ == '-';
  if (cur_ == '-' || cur_ == '+') nextCharHeader();
  size_t stored = negative ? 1 : 0;
  int64_t value = 0;
  while (isDigit(cur_)) {
    if (stored == kNumberLimit) diag_->error("数値が大きすぎます。");
    ++stored;
    value = value * 10 + (cur_ - '0');  // at most 14 digits: no overflow
    nextCharHeader();
  }
  value = negative ? -value : value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

void Scanner::numberMissing() { diag_->error("パラメータには数値を指定して下さい"); }
void Scanner::numberTooLong() { diag_->error("数値が大きすぎます"); }
namespace {

// What the common commands set, for the messages that quote them.
std::string_view whatCommandSets(std::string_view keyword) {
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"v", "volume "}, {"t", "tempo "},  {"T", "timer value "}, {"o", "octave "},
      {"@", "tone "},   {"l", "length "}, {"q", "gate "},
  };
  for (const auto& [name, what] : kNames) {
    if (name == keyword) return what;
  }
  return {};
}

}  // namespace

size_t Scanner::commandStart() const {
  size_t at = std::min(commandMark_ == 0 ? size_t{0} : commandMark_ - 1, pos_);
  while (at < pos_ && (line_[at] == ' ' || line_[at] == '\t')) ++at;
  return at;
}

std::string_view Scanner::commandText() const {
  size_t start = commandStart();
  std::string_view command(line_ + start, pos_ - start);
  while (!command.empty() && (command.back() == '\n' || command.back() == ' ')) {
    command.remove_suffix(1);
  }
  return command;
}

std::string Scanner::outOfRangeText(int64_t value, int32_t low, int32_t high) const {
  std::string_view command = commandText();
  std::string_view keyword = command.substr(0, command.find_first_of("0123456789+-, \t"));
  std::string quoted = command.empty() ? std::string() : std::string(command) + ": ";
  return quoted + std::string(whatCommandSets(keyword)) + std::to_string(value) +
         " is out of range " + std::to_string(low) + ".." + std::to_string(high);
}

void Scanner::numberOutOfRange(int64_t value, int32_t low, int32_t high) {
  std::string english = diag_->english() ? outOfRangeText(value, low, high) : std::string();
  diag_->error(Said("パラメータが範囲外です", std::move(english)));
}

int16_t Scanner::readHeaderNumber(int32_t low, int32_t high) {
  skipBlanksAndLineEnds();
  if (atEnd_) diag_->error("EOFを検出しました");
  if (!isDigit(cur_) && cur_ != '-' && cur_ != '+')
    diag_->error("パラメタには数値を指定して下さい");
  auto value = static_cast<int16_t>(static_cast<uint16_t>(collectHeaderNumber()));
  if (value < low || value > high) {
    std::string english = diag_->english() ? outOfRangeText(value, low, high) : std::string();
    diag_->error(Said("数値が所定の範囲を越えています", std::move(english)));
  }
  return value;
}

std::string Scanner::readText() {
  std::string text;
  while (isBlank(cur_)) nextCharHeader();
  while (cur_ != '\n' && !atEnd_) {
    if (text.size() == kTextLimit) diag_->error("文字列が長すぎます");
    text.push_back(static_cast<char>(cur_));
    nextCharHeader();
  }
  return text;
}

std::string Scanner::collect(std::string_view set) {
  std::string text;
  while (cur_ != '\n' && !atEnd_ && set.find(static_cast<char>(cur_)) != set.npos) {
    if (text.size() == kTokenLimit) diag_->error("文字列が長すぎます。");
    text.push_back(static_cast<char>(cur_));
    nextCharHeader();
  }
  return text;
}

bool Scanner::numberFollowsDirectly() const { return isDigit(cur_) || cur_ == '-' || cur_ == '+'; }

void Scanner::separator() {
  skipBlanks();
  if (charClass(cur_) != CharClass::kSeparator) diag_->error("パラメータ区切りがありません");
  nextChar();
}

void Scanner::skipToBar() {
  while (cur_ != '|' && cur_ != '\n') nextChar();
}

void Scanner::skipLine() {
  while (cur_ != '\n') nextChar();
}

}  // namespace tallow
