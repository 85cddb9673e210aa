// The delimiter sets of the preprocessor's directives.
#pragma once

#include <string_view>

namespace tallow {

// Characters that end the word of a line that starts with "#", "'", "." or "@".
inline constexpr std::string_view kWordEnd = " \t\n0123456789";
// End a name in a macro definition and after #ifdef / #ifndef.
inline constexpr std::string_view kNameDelimiters = " \t\n(),.<>~^|@%#*:/;&{}'";
// End a name after "$" in a reference, and parameter names in a definition.
inline constexpr std::string_view kRefDelimiters = " \t\n$(),.<>~^|@%#*:/;&{}'";
// End the #with word.
inline constexpr std::string_view kWithDelimiters = " \t\n%\\";

}  // namespace tallow
