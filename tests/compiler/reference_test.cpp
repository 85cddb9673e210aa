// The language reference (docs/mml.md) cannot go stale: every keyword of the
// built-in keyword tables and every message the program prints stands in it,
// and every message text has a CP932 encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/cp932.h"
#include "base/message_catalog.h"
#include "compiler/header_commands.h"
#include "envelope/envelope.h"
#include "mml/command_table.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

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

// A pattern that matches the message with its placeholders written as they
// are or filled in.
std::regex messagePattern(const std::string& message) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  std::string escaped = std::regex_replace(message, special, R"(\$&)");
  escaped = std::regex_replace(escaped, std::regex("%[0-9]*s"), "(%[0-9]*s|.*)");
  escaped = std::regex_replace(escaped, std::regex("%[0-9]*d"), "(%[0-9]*d| *-?[0-9]+)");
  return std::regex(escaped);
}

TEST(Reference, EveryMessageOfTheProgram) {
  std::regex literal("\"([^\"\\\\]|\\\\.)*\"");
  int checked = 0;
  for (const auto& e : fs::recursive_directory_iterator(fs::path(TALLOW_SOURCE_DIR) / "src")) {
    if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
    std::string source = readFile(e.path());
    for (std::sregex_iterator it(source.begin(), source.end(), literal), end; it != end; ++it) {
      std::string text = literalText(it->str());
      bool japanese = std::any_of(text.begin(), text.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
      if (!japanese) continue;
      ++checked;
      for (std::istringstream lines(text); std::getline(lines, text);) {
        EXPECT_TRUE(std::regex_search(reference(), messagePattern(text)))
            << e.path().filename() << ": docs/mml.md does not show \"" << text << "\"";
      }
    }
  }
  EXPECT_GT(checked, 100);
}

// The English text of every message stands in the reference beside it.
TEST(Reference, EveryEnglishMessage) {
  for (const MessageRow& row : messageTable()) {
    EXPECT_TRUE(std::regex_search(reference(), messagePattern(std::string(row.english))))
        << "docs/mml.md does not show \"" << row.english << "\"";
  }
}

// Every message text of the program must have a CP932 encoding.
TEST(Messages, AllEncodeAsCp932) {
  std::regex literal("\"([^\"\\\\]|\\\\.)*\"");
  int checked = 0;
  for (const auto& e : fs::recursive_directory_iterator(fs::path(TALLOW_SOURCE_DIR) / "src")) {
    if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
    std::ifstream in(e.path());
    std::stringstream text;
    text << in.rdbuf();
    std::string source = text.str();
    for (std::sregex_iterator it(source.begin(), source.end(), literal), end; it != end; ++it) {
      std::string s = it->str();
      if (std::all_of(s.begin(), s.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        continue;
      }
      ++checked;
      EXPECT_TRUE(encodableAsCp932(s)) << e.path() << ": " << s;
    }
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace tallow::testing
