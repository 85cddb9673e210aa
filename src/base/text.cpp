// Texts of own words and user's text, formatting and rendering.
#include "base/text.h"

#include <variant>

#include "base/cp932.h"
#include "base/paths.h"

namespace tallow {
namespace {

using Arg = std::variant<std::string_view, long long>;

// Fills the printf-like directives of `format` into a text.
Text fill(std::string_view format, const std::vector<Arg>& args) {
  Text out;
  size_t next = 0;
  size_t plainFrom = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) continue;
    size_t j = i + 1;
    size_t width = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') {
      width = width * 10 + static_cast<size_t>(format[j++] - '0');
    }
    if (j >= format.size() || (format[j] != 's' && format[j] != 'd') || next >= args.size()) {
      continue;
    }
    out += Text::own(format.substr(plainFrom, i - plainFrom));
    if (const auto* text = std::get_if<std::string_view>(&args[next])) {
      if (text->size() < width) out += Text::own(std::string(width - text->size(), ' '));
      out += Text::user(*text);
    } else {
      std::string digits = std::to_string(std::get<long long>(args[next]));
      if (digits.size() < width) digits.insert(0, width - digits.size(), ' ');
      out += Text::own(digits);
    }
    ++next;
    i = j;
    plainFrom = j + 1;
  }
  out += Text::own(format.substr(plainFrom));
  return out;
}

}  // namespace

Text Text::own(std::string_view utf8) {
  Text t;
  t.append(false, utf8);
  return t;
}

Text Text::user(std::string_view bytes) {
  Text t;
  t.append(true, bytes);
  return t;
}

void Text::append(bool user, std::string_view bytes) {
  if (bytes.empty()) return;
  if (!pieces_.empty() && pieces_.back().user == user) {
    pieces_.back().bytes.append(bytes);
  } else {
    pieces_.push_back({user, std::string(bytes)});
  }
}

Text& Text::operator+=(const Text& other) {
  for (const Piece& p : other.pieces_) append(p.user, p.bytes);
  return *this;
}

std::string Text::render(Encoding encoding) const {
  std::string out;
  for (const Piece& p : pieces_) {
    if (encoding == Encoding::kCp932) {
      out += p.user ? p.bytes : toCp932(p.bytes);
    } else {
      out += p.user ? userTextToUtf8(p.bytes) : p.bytes;
    }
  }
  return out;
}

Text editorLine(std::string_view file, long long line, long long column, std::string_view kind,
                std::string_view utf8) {
  while (!file.empty() && (file.front() == ' ' || file.front() == '\t')) file.remove_prefix(1);
  // The name as it is opened, with '/' between directories, so that the
  // editor finds the file whatever separator the source wrote.
  Text text = Text::user(toOpenPath(file));
  if (line > 0) text += formatText(":%d", line) += formatText(":%d", column < 1 ? 1 : column);
  std::string rest = ": ";
  rest.append(kind).append(": ").append(utf8).append("\n");
  text += Text::own(rest);
  return text;
}

Text formatText(std::string_view f) { return fill(f, {}); }
Text formatText(std::string_view f, std::string_view a) { return fill(f, {a}); }
Text formatText(std::string_view f, long long a) { return fill(f, {a}); }
Text formatText(std::string_view f, std::string_view a, long long b) { return fill(f, {a, b}); }
Text formatText(std::string_view f, long long a, std::string_view b) { return fill(f, {a, b}); }

}  // namespace tallow
