// The classes of source lines and the directive table.
#pragma once

#include <cstdint>
#include <string_view>

namespace tallow {

enum class LineClass : int32_t {
  kUnrecognisedDirective = 0,
  kText = 1,
  kInclude = 2,
  kQuit = 3,
  kDefine = 4,
  kUndef = 5,
  kIfdef = 6,
  kIfndef = 7,
  kElse = 8,
  kEndif = 9,
  kWith = 10,
  kEndWith = 11,
  kClear = 12,
  kToneDef = 13,
  kToneOrder = 14,
  kFmbFile = 15,
  kVStart = 16,
  kTitle = 17,
  kArtist = 18,
  kOtherWord = 19,
  kLongWord = 20,
};

// The classes whose lines take the ordinary-line pipeline (macros, braces,
// the #with prefix) where they are not skipped.
constexpr bool isOrdinary(LineClass lineClass) {
  switch (lineClass) {
    case LineClass::kText:
    case LineClass::kUndef:
    case LineClass::kTitle:
    case LineClass::kArtist:
    case LineClass::kOtherWord:
    case LineClass::kLongWord:
      return true;
    default:
      return false;
  }
}

// Classifies `line` from `pos`.  A line whose first non-blank character is
// "#", "'", "." or "@" is classed by its first word (up to a blank, tab, line
// feed, digit or the end), looked up case-insensitively in the directive
// table; `pos` is then behind the word.  A word of more than 31 bytes gives
// kLongWord.  Tone words ("@", "'@", "'$") are plain text while a #with
// prefix is set.  Any other line continues a tone definition in progress
// (kToneDef) or is plain text; `pos` is then behind the leading blanks.
LineClass classifyLine(std::string_view line, size_t& pos, bool toneInProgress, bool withPrefixSet);

}  // namespace tallow
