// Texts for the user: the program's own words and the text taken from the
// user's files, kept apart until a stream writes them in its encoding.
//
// The program's own words are written in UTF-8 in the code.  Text from the
// user's files (file names, titles, source lines, macro and tone names) is
// bytes, usually CP932, sometimes UTF-8.  Rendered for a CP932 stream (the
// default, and the bytes the rules define), the own words are converted and
// the user's bytes pass unchanged; rendered for a UTF-8 stream, the own words
// pass and the user's text is shown as UTF-8 (see userTextToUtf8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"

namespace tallow {

class Text {
 public:
  Text() = default;
  static Text own(std::string_view utf8);
  static Text user(std::string_view bytes);

  Text& operator+=(const Text& other);
  bool empty() const { return pieces_.empty(); }
  // The text in `encoding`.
  std::string render(Encoding encoding) const;
  // The program's own words of the text, in UTF-8, with the user's text shown
  // as UTF-8 too: for lines that are not meant for a stream of the rules.
  std::string utf8() const { return render(Encoding::kUtf8); }

 private:
  struct Piece {
    bool user;
    std::string bytes;
  };
  void append(bool user, std::string_view bytes);

  std::vector<Piece> pieces_;
};

// Formats a text like printf: `utf8Format` is the program's own words, with
// the directives %s (a user's text, inserted as a user piece), %d and widths
// such as %4s and %6d (blanks on the left).  Only these directives are used.
Text formatText(std::string_view utf8Format);
Text formatText(std::string_view utf8Format, std::string_view a);
Text formatText(std::string_view utf8Format, long long a);
Text formatText(std::string_view utf8Format, std::string_view a, long long b);
Text formatText(std::string_view utf8Format, long long a, std::string_view b);

// A line for editors, "FILE:LINE:COLUMN: KIND: TEXT" (the form compilers
// print), or "FILE: KIND: TEXT" when the line is unknown (0).  Blanks before
// the file name (an include name written in quotes keeps one) are dropped,
// and its directories are separated by '/'.
Text editorLine(std::string_view file, long long line, long long column, std::string_view kind,
                std::string_view utf8);

// formatText rendered as CP932: the bytes the rules define.
template <typename... Args>
std::string formatMessage(std::string_view utf8Format, Args... args) {
  return formatText(utf8Format, args...).render(Encoding::kCp932);
}

}  // namespace tallow
