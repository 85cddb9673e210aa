// The language and the character set of the user's console, decided from the
// environment without touching the process's locale.
//
// TALLOWC_LANG ("ja" or "en") names the language outright.  Otherwise the
// first locale variable that is set and not empty decides it: LC_ALL, then
// LC_MESSAGES, then LANG.  None set, "C", "POSIX" (with or without a
// character set, such as C.UTF-8) or a Japanese locale (ja...) gives the
// rules' Japanese texts; every other locale gives English.  The character
// set is read the same way from LC_ALL, LC_CTYPE, LANG: a UTF-8 one gives
// UTF-8, anything else (none included) CP932, the bytes the rules define.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/environment.h"

namespace tallow {

enum class Language : uint8_t { kJapanese, kEnglish };

// The language a TALLOWC_LANG value names; none for another value.
std::optional<Language> parseLanguageChoice(std::string_view value);

// The language the environment asks for.
Language languageOf(const Environment& env);

// True when the locale's character set is UTF-8.
bool localeIsUtf8(const Environment& env);

}  // namespace tallow
