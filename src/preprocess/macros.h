// The macro table and macro expansion.
//
// A macro has a name (1 to 31 bytes), a body and an optional list of
// parameter names.  References in ordinary lines are "$name",
// "$name(arguments)" and "?c" (a one-byte name); a reference is replaced by
// the macro's body, itself expanded.  Names are case-sensitive; a name is
// defined at most once until the table is cleared.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/column_map.h"
#include "base/out_stream.h"
#include "base/utf8.h"

namespace tallow {

struct Macro {
  std::string name;
  std::string body;
  std::vector<std::string> parameters;  // in the order written
};

inline constexpr size_t kMaxExpandedLength = 8191;  // bytes of one expanded line
inline constexpr int kMaxMacroNesting = 16;         // nested expansions, the line's own included
inline constexpr size_t kMaxArgumentLength = 255;

class MacroTable {
 public:
  const Macro* find(std::string_view name) const;
  // Adds `macro`; false (and the table unchanged) when its name is taken.
  bool insert(Macro macro);
  void clear();
  size_t size() const { return macros_.size(); }

  // Finished nested expansions, keyed by what was expanded, its bindings and
  // the nesting level.  An expansion depends only on those and on the table,
  // so results are reused until the table changes; this keeps a line whose
  // macros fan out to one another from costing exponential time.
  const std::string* cachedExpansion(const std::string& key) const;
  void rememberExpansion(std::string key, std::string text);
  // Drops the cache when it has grown past its budget (called between lines).
  void trimCache();

  // Buffers that expansion reuses from line to line, so that a line's
  // references seldom allocate: the cache key being built and the arguments
  // of the uses being expanded.  Their contents mean nothing between
  // expansions.
  std::string& keyBuffer() { return keyBuffer_; }
  std::vector<std::string_view>& argumentStack() { return argumentStack_; }

 private:
  void dropCache();

  std::map<std::string, Macro, std::less<>> macros_;
  std::unordered_map<std::string, std::string> cache_;
  size_t cacheBytes_ = 0;
  std::string keyBuffer_;
  std::vector<std::string_view> argumentStack_;
};

// Parses a definition from `pos` (behind the #define word) and adds it to
// `table`.  On failure its message has been printed and false is returned;
// on success `pos` is at the end of the line.
bool defineMacro(std::string_view line, size_t& pos, MacroTable& table, OutStream& messages);

// Expands the macro references of the line `source` into `dest` (at most
// 8191 bytes), with no parameter bindings, reading multibyte characters in
// `encoding` (that of the file the line comes from).  On failure a message
// has been printed, where the failure has one, and false is returned.
// When `stretches` is given, it receives where the stretches of `dest` come
// from in `source`.
bool expandMacros(std::string_view source, std::string& dest, MacroTable& table,
                  OutStream& messages, Encoding encoding,
                  std::vector<ColumnStretch>* stretches = nullptr);

// Reads a macro argument from `pos`: leading blanks and tabs are skipped, and
// the argument runs up to a "," or ")" outside parentheses (left unread);
// `out` is a view of `text`.  Fails when the text ends first or the argument
// exceeds 255 bytes.
bool readArgument(std::string_view text, size_t& pos, std::string_view& out);

}  // namespace tallow
