// Reading the locale variables: NAME[_TERRITORY][.CHARSET][@MODIFIER].
#include "base/locale.h"

#include <cctype>
#include <string>

namespace tallow {
namespace {

std::string lowered(std::string_view text) {
  std::string lower;
  for (char c : text)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower;
}

// The first of the variables that is set and not empty, or "".
std::string_view firstSet(std::initializer_list<const std::optional<std::string>*> variables) {
  for (const std::optional<std::string>* v : variables) {
    if (v->has_value() && !(*v)->empty()) return **v;
  }
  return {};
}

}  // namespace

std::optional<Language> parseLanguageChoice(std::string_view value) {
  std::string lower = lowered(value);
  if (lower == "ja") return Language::kJapanese;
  if (lower == "en") return Language::kEnglish;
  return std::nullopt;
}

Language languageOf(const Environment& env) {
  if (env.language) {
    if (std::optional<Language> chosen = parseLanguageChoice(*env.language)) return *chosen;
  }
  std::string_view locale = firstSet({&env.lcAll, &env.lcMessages, &env.lang});
  std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX" || name.starts_with("ja")) {
    return Language::kJapanese;
  }
  return Language::kEnglish;
}

bool localeIsUtf8(const Environment& env) {
  std::string_view locale = firstSet({&env.lcAll, &env.lcCtype, &env.lang});
  size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return false;
  std::string charset = lowered(locale.substr(dot + 1, locale.find('@', dot) - dot - 1));
  return charset == "utf-8" || charset == "utf8";
}

}  // namespace tallow
