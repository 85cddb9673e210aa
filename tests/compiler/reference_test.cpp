// The language reference (docs/mml.md) cannot go stale: every keyword of the
// built-in keyword tables and every message the program prints stands in it,
// and every message text has a CP932 encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/cp932.h"
#include "base/message_catalog.h"
#include "compiler/header_commands.h"
#include "envelope/envelope.h"
#include "mml/command_table.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

const std::string& reference() {
  static const std::string text = readFile(fs::path(TALLOW_SOURCE_DIR) / "docs" / "mml.md");
  return text;
}

// A keyword in backticks; in a Markdown table a "|" is written "\|".
bool mentions(const std::string& keyword) {
  std::string escaped;
  for (char c : keyword) escaped += c == '|' ? std::string("\\|") : std::string(1, c);
  return reference().find("`" + keyword + "`") != std::string::npos ||
         reference().find("`" + escaped + "`") != std::string::npos;
}

TEST(Reference, EveryKeywordOfTheBuiltInTables) {
  MmlTables mml = makeMmlTables();
  KeywordTable header = makeHeaderTable();
  KeywordTable eml = makeEmlTable();
  int checked = 0;
  for (const KeywordTable* table : {&header, &mml.commands, &eml}) {
    for (size_t i = 1; i < table->end(); ++i) {  // record 0 is the title
      std::string keyword(table->nameAt(i));
      ++checked;
      EXPECT_TRUE(mentions(keyword)) << "docs/mml.md does not mention `" << keyword << "`";
    }
  }
  EXPECT_GT(checked, 150);
}

// The string literal's text: escapes undone, line ends and tabs at its ends
// dropped.
std::string literalText(const std::string& literal) {
  std::string text;
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    if (literal[i] != '\\' || i + 2 >= literal.size()) {
      text.push_back(literal[i]);
      continue;
    }
    char e = literal[++i];
    text.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
  }
  size_t begin = text.find_first_not_of("\n\t");
  size_t end = text.find_last_not_of("\n\t");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// The string literals of a source file, as written (quotes and escapes
// kept).  Comments and character literals are skipped.
std::vector<std::string> stringLiterals(const std::string& source) {
  std::vector<std::string> out;
  for (size_t i = 0; i < source.size(); ++i) {
    char c = source[i];
    if (c == '/' && source.compare(i, 2, "//") == 0) {
      i = source.find('\n', i);
      if (i == std::string::npos) break;
    } else if (c == '\'' || c == '"') {
      size_t end = i + 1;
      while (end < source.size() && source[end] != c) end += source[end] == '\\' ? 2 : 1;
      if (c == '"') out.push_back(source.substr(i, end - i + 1));
      i = end;
    }
  }
  return out;
}

// Whether `line` from `pos` on starts with the message from piece `k` on.
// A placeholder "%s" stands for itself or any text, "%d" (with a width or
// not) for itself or a number.
bool matchesAt(const std::string& message, size_t k, const std::string& line, size_t pos) {
  if (k == message.size()) return true;
  if (message[k] == '%') {
    size_t end = message.find_first_not_of("0123456789", k + 1);
    if (end != std::string::npos && (message[end] == 's' || message[end] == 'd')) {
      std::string placeholder = message.substr(k, end - k + 1);
      if (line.compare(pos, placeholder.size(), placeholder) == 0 &&
          matchesAt(message, end + 1, line, pos + placeholder.size())) {
        return true;
      }
      size_t from = pos, to = line.size();
      if (message[end] == 'd') {
        from = line.find_first_not_of(' ', pos);
        if (from < line.size() && line[from] == '-') ++from;
        to = line.find_first_not_of("0123456789", from);
        if (to == std::string::npos) to = line.size();
        if (to == from) return false;
        from = to;
      }
      for (size_t next = from; next <= to; ++next) {
        if (matchesAt(message, end + 1, line, next)) return true;
      }
      return false;
    }
  }
  return pos < line.size() && line[pos] == message[k] && matchesAt(message, k + 1, line, pos + 1);
}

bool referenceShows(const std::string& message) {
  std::istringstream lines(reference());
  for (std::string line; std::getline(lines, line);) {
    for (size_t pos = 0; pos < line.size(); ++pos) {
      if (matchesAt(message, 0, line, pos)) return true;
    }
  }
  return false;
}

bool nonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Every literal with a byte beyond ASCII in the sources: the messages.
std::vector<std::pair<std::string, std::string>> messageLiterals() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : fs::recursive_directory_iterator(fs::path(TALLOW_SOURCE_DIR) / "src")) {
    if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
    for (const std::string& literal : stringLiterals(readFile(e.path()))) {
      if (nonAscii(literal)) out.emplace_back(e.path().filename().string(), literal);
    }
  }
  return out;
}

TEST(Reference, EveryMessageOfTheProgram) {
  auto messages = messageLiterals();
  EXPECT_GT(messages.size(), 100u);
  for (const auto& [file, literal] : messages) {
    std::string text = literalText(literal);
    for (std::istringstream lines(text); std::getline(lines, text);) {
      EXPECT_TRUE(referenceShows(text)) << file << ": docs/mml.md does not show \"" << text << "\"";
    }
  }
}

// The English text of every message stands in the reference beside it.
TEST(Reference, EveryEnglishMessage) {
  for (const MessageRow& row : messageTable()) {
    EXPECT_TRUE(referenceShows(std::string(row.english)))
        << "docs/mml.md does not show \"" << row.english << "\"";
  }
}

TEST(Messages, AllEncodeAsCp932) {
  for (const auto& [file, literal] : messageLiterals()) {
    EXPECT_TRUE(encodableAsCp932(literal)) << file << ": " << literal;
  }
}

}  // namespace
}  // namespace tallow::testing
