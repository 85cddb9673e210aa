// The message table: every message of the programs in the rules' Japanese
// text and in English.
//
// A message is named in the code by its rules' text (UTF-8), so that the
// Japanese output is the code's own text and needs no lookup.  The English
// text carries the same %s and %d slots in the same order.  Line ends at the
// end of a text are not part of the key: they are kept as the caller wrote
// them.  A text the table does not hold is returned as it is.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "base/locale.h"

namespace tallow {

// A message whose English text says more than the rules' text: the value
// that was found, the range that was expected, a hint.  An empty `english`
// falls back to the table.
struct Said {
  Said(const char* r) : rules(r) {}
  Said(std::string_view r, std::string e = {}) : rules(r), english(std::move(e)) {}
  std::string_view rules;
  std::string english;
};

// The text of the message `rules` (or of a format) in `language`.
std::string translate(Language language, std::string_view rules);
std::string translate(Language language, const Said& said);

struct MessageRow {
  std::string_view rules;
  std::string_view english;
};

// Every row of the table (for the documentation and its test).
std::span<const MessageRow> messageTable();

}  // namespace tallow
