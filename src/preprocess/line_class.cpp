// Line classification through the directive table.  The word is read at most
// 32 bytes far, so classifying is constant work past the leading blanks.
#include "preprocess/line_class.h"

#include <string>

#include "base/text_scan.h"
#include "preprocess/delimiters.h"

namespace tallow {
namespace {

struct Directive {
  std::string_view name;
  LineClass lineClass;
};

// Searched in this order; names are lower case.
constexpr Directive kDirectives[] = {
    {"#include", LineClass::kInclude}, {"#macro", LineClass::kDefine},
    {"#define", LineClass::kDefine},   {"#$", LineClass::kDefine},
    {"#undef", LineClass::kUndef},     {"#ifdef", LineClass::kIfdef},
    {"#ifndef", LineClass::kIfndef},   {"#else", LineClass::kElse},
    {"#endif", LineClass::kEndif},     {"#with", LineClass::kWith},
    {"#{", LineClass::kWith},          {"#endwith", LineClass::kEndWith},
    {"#}", LineClass::kEndWith},       {"#quit", LineClass::kQuit},
    {"#end", LineClass::kQuit},        {"#clear", LineClass::kClear},
    {".vstart", LineClass::kVStart},   {".fmbfile", LineClass::kFmbFile},
    {".fm", LineClass::kFmbFile},      {"@", LineClass::kToneDef},
    {"'@", LineClass::kToneDef},       {"'$", LineClass::kToneDef},
    {"#@", LineClass::kToneOrder},     {".title", LineClass::kTitle},
    {".artist", LineClass::kArtist},
};

constexpr std::string_view kWordStarts = "#'.@";

char toLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

LineClass lookUp(const std::string& word) {
  for (const Directive& d : kDirectives) {
    if (d.name == word) return d.lineClass;
  }
  return word[0] == '#' ? LineClass::kUnrecognisedDirective : LineClass::kOtherWord;
}

}  // namespace

LineClass classifyLine(std::string_view line, size_t& pos, bool toneInProgress,
                       bool withPrefixSet) {
  size_t start = skipBlanks(line, pos);
  if (start >= line.size() || kWordStarts.find(line[start]) == std::string_view::npos) {
    pos = start;
    return toneInProgress ? LineClass::kToneDef : LineClass::kText;
  }
  std::string word;
  size_t end = start;
  while (end < line.size() && kWordEnd.find(line[end]) == std::string_view::npos) {
    if (word.size() == kMaxWordLength) return LineClass::kLongWord;
    word.push_back(toLowerAscii(line[end++]));
  }
  pos = end;
  LineClass found = lookUp(word);
  if (found == LineClass::kToneDef && withPrefixSet) return LineClass::kText;
  return found;
}

}  // namespace tallow
