// Macro definitions and expansion.
//
// Expansion is a single forward scan of its source.  A reference is expanded
// into a fresh buffer by a nested expansion and then appended; nesting is
// limited to 16 levels, every output to 8191 bytes.  The bindings in force
// are those of the use whose body is being expanded: arguments are expanded
// with no bindings where their parameter is used, so they see macros but no
// parameters.  Arguments are views of the text they are written in, kept on
// a stack while their use is expanded.  Finished nested expansions are cached
// in the table (see MacroTable), which changes no result: a failure is never
// cached, and every failure ends the line.
#include "preprocess/macros.h"

#include <array>
#include <cstdint>

#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/characters.h"
#include "preprocess/delimiters.h"
#include "preprocess/plain_text.h"

namespace tallow {
namespace {

// The cache is dropped between lines once its texts exceed this many bytes.
constexpr size_t kCacheBudget = 16u << 20;
// What one cache entry costs besides its key and text, roughly.
constexpr size_t kCacheEntryOverhead = 64;

// One use of a macro with parameters: its arguments are the views
// arguments_[first], arguments_[first + 1], ... of the expander, one per
// parameter, in order.
struct Binding {
  const Macro* macro;
  size_t first;
};

// Appends `value` as `bytes` bytes, the lowest first.
void appendNumber(std::string& key, uint64_t value, size_t bytes) {
  char buffer[8];
  for (size_t i = 0; i < bytes; ++i) buffer[i] = static_cast<char>(value >> (8 * i));
  key.append(buffer, bytes);
}

// Builds into `key` what identifies one nested expansion: the macro whose
// body is expanded (none for an argument text), the nesting level and the
// texts bound for it (`texts` null when there is no binding at all).
void buildCacheKey(std::string& key, Encoding encoding, const Macro* macro, int nesting,
                   const std::string_view* texts, size_t count) {
  key.assign(1, static_cast<char>(encoding));
  appendNumber(key, reinterpret_cast<uintptr_t>(macro), sizeof(uintptr_t));
  appendNumber(key, static_cast<uint64_t>(nesting), 1);
  if (texts == nullptr) {
    appendNumber(key, UINT32_MAX, 4);
    return;
  }
  appendNumber(key, count, 4);
  for (size_t k = 0; k < count; ++k) {
    appendNumber(key, texts[k].size(), 4);
    key += texts[k];
  }
}

// Blanks and tabs are skipped before names and arguments, several times per
// reference, so the skip is inlined here.
size_t skipBlanksFrom(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  return pos;
}

constexpr std::array<bool, 256> delimiterTable(std::string_view delimiters) {
  std::array<bool, 256> table{};
  for (char c : delimiters) table[static_cast<unsigned char>(c)] = true;
  return table;
}

constexpr std::array<bool, 256> kRefEnds = delimiterTable(kRefDelimiters);

// readWord with the delimiters of a reference, giving the name as a view of
// `text`: blanks and tabs are skipped, at most 31 bytes are taken, and a
// longer name fails with `pos` unchanged.
bool readReferenceName(std::string_view text, size_t& pos, std::string_view& name) {
  size_t start = skipBlanksFrom(text, pos);
  size_t end = start;
  while (end < text.size() && !kRefEnds[static_cast<unsigned char>(text[end])]) {
    if (end - start == kMaxWordLength) return false;
    ++end;
  }
  name = text.substr(start, end - start);
  pos = end;
  return true;
}

// Bytes that are copied as they are: all but references, backslashes and the
// starts of multibyte characters, by encoding.
constexpr std::array<bool, 256> kPlainCp932 = plainBytes(Encoding::kCp932, "$?\\");
constexpr std::array<bool, 256> kPlainUtf8 = plainBytes(Encoding::kUtf8, "$?\\");

class Expander {
 public:
  Expander(MacroTable& table, OutStream& messages, Encoding encoding)
      : table_(table),
        messages_(messages),
        encoding_(encoding),
        plain_(encoding == Encoding::kUtf8 ? kPlainUtf8 : kPlainCp932),
        key_(table.keyBuffer()),
        arguments_(table.argumentStack()) {}

  bool expand(std::string_view source, std::string& out, const Binding* inForce);
  void recordStretches(std::vector<ColumnStretch>* stretches) { stretches_ = stretches; }

 private:
  bool dollarReference(std::string_view source, size_t& i, std::string& out,
                       const Binding* inForce);
  bool readArguments(std::string_view source, size_t& i, std::string_view name, const Macro& macro);
  bool questionReference(std::string_view source, size_t& i, std::string& out,
                         const Binding* inForce);
  bool insertExpansion(std::string_view name, const Macro* macro, const Binding* inForce,
                       const Binding* use, std::string& out);
  bool append(std::string& out, std::string_view text);
  bool tooLong();
  void say(std::string_view utf8, std::string_view name) {
    messages_.write(formatText(messages_.tr(utf8), name));
  }

  // Notes a stretch of the line's own expansion (not of a nested one).
  void markStretch(size_t written, size_t source, bool inserted) {
    if (stretches_ != nullptr && nesting_ == 1) stretches_->push_back({written, source, inserted});
  }

  MacroTable& table_;
  OutStream& messages_;
  std::vector<ColumnStretch>* stretches_ = nullptr;
  Encoding encoding_;
  const std::array<bool, 256>& plain_;
  int nesting_ = 0;
  // The cache key of the latest lookup (the table's buffer).
  std::string& key_;
  // The arguments of the uses being expanded, outermost first: a use pushes
  // its own and drops them when its expansion is done (the table's buffer,
  // empty between expansions).
  std::vector<std::string_view>& arguments_;
};

bool Expander::tooLong() {
  messages_.write(formatText(messages_.tr("１行が%d文字を越えました\n"), kMaxExpandedLength + 1));
  return false;
}

bool Expander::append(std::string& out, std::string_view text) {
  if (out.size() + text.size() > kMaxExpandedLength) return tooLong();
  out.append(text);
  return true;
}

bool Expander::expand(std::string_view source, std::string& out, const Binding* inForce) {
  if (nesting_ + 1 > kMaxMacroNesting) {
    messages_.write(formatText(messages_.tr("ネストが深すぎます\n")));
    return false;
  }
  ++nesting_;
  out.clear();
  bool ok = true;
  size_t i = 0;
  while (ok && i < source.size()) {
    char c = source[i];
    size_t rest = source.size() - i;
    if (c == '$' || c == '?') {
      size_t at = i++;
      markStretch(out.size(), at, true);
      ok = c == '$' ? dollarReference(source, i, out, inForce)
                    : questionReference(source, i, out, inForce);
      markStretch(out.size(), i, false);
    } else if (c == '\\') {
      // The backslash is dropped and the next byte is plain text.
      markStretch(out.size(), i + 1, false);
      if (rest > 1) ok = append(out, source.substr(i + 1, 1));
      i += 2;
    } else if (startsMultibyte(encoding_, static_cast<unsigned char>(c)) && rest > 1) {
      size_t length = characterLength(encoding_, source, i);
      ok = append(out, source.substr(i, length));
      i += length;
    } else {
      size_t end = i + 1 + firstReferenceByte(source.substr(i + 1));
      while (end < source.size() && plain_[static_cast<unsigned char>(source[end])]) ++end;
      ok = append(out, source.substr(i, end - i));
      i = end;
    }
  }
  --nesting_;
  return ok;
}

bool Expander::dollarReference(std::string_view source, size_t& i, std::string& out,
                               const Binding* inForce) {
  std::string_view name;
  if (!readReferenceName(source, i, name)) return false;
  const Macro* macro = table_.find(name);
  i = skipBlanksFrom(source, i);
  if (macro == nullptr || macro->parameters.empty()) {
    return insertExpansion(name, macro, inForce, nullptr, out);
  }
  if (i >= source.size() || source[i] != '(') {
    say("マクロ %s に対する引数が足りません\n", name);
    return false;
  }
  ++i;
  Binding use{macro, arguments_.size()};
  bool ok =
      readArguments(source, i, name, *macro) && insertExpansion(name, macro, inForce, &use, out);
  arguments_.resize(use.first);
  return ok;
}

// Pushes one argument per parameter of `macro` onto arguments_.
bool Expander::readArguments(std::string_view source, size_t& i, std::string_view name,
                             const Macro& macro) {
  const size_t count = macro.parameters.size();
  for (size_t k = 0; k < count; ++k) {
    std::string_view argument;
    if (!readArgument(source, i, argument)) return false;
    i = skipBlanksFrom(source, i);
    arguments_.push_back(argument);
    bool last = k + 1 == count;
    char expected = last ? ')' : ',';
    if (i >= source.size() || source[i] != expected) {
      say(last ? "マクロ %s に対する引数が多いか、括弧が閉じていません\n"
               : "マクロ %s に対する引数が足りません\n",
          name);
      return false;
    }
    ++i;
  }
  return true;
}

bool Expander::questionReference(std::string_view source, size_t& i, std::string& out,
                                 const Binding* inForce) {
  i = skipBlanksFrom(source, i);
  std::string_view name;
  if (i < source.size()) name = source.substr(i++, 1);
  if (!insertExpansion(name, table_.find(name), inForce, nullptr, out)) return false;
  i = skipBlanksFrom(source, i);
  return true;
}

// Appends the expansion of `name`: the argument bound to a parameter of that
// name, else the body of `macro` (the table's macro of that name) expanded
// with `use`.
bool Expander::insertExpansion(std::string_view name, const Macro* macro, const Binding* inForce,
                               const Binding* use, std::string& out) {
  std::string_view text;
  const Binding* nested = nullptr;
  const std::string_view* keyTexts = nullptr;
  size_t keyCount = 0;
  bool bound = false;
  if (inForce != nullptr) {
    const std::vector<std::string>& parameters = inForce->macro->parameters;
    for (size_t k = 0; k < parameters.size() && !bound; ++k) {
      if (parameters[k] != name) continue;
      text = arguments_[inForce->first + k];
      keyTexts = &arguments_[inForce->first + k];
      keyCount = 1;
      bound = true;
    }
  }
  if (bound) {
    macro = nullptr;
  } else {
    if (macro == nullptr) {
      say("マクロ %s は定義されていません\n", name);
      return false;
    }
    text = macro->body;
    nested = use;
    if (use != nullptr) {
      keyTexts = arguments_.data() + use->first;
      keyCount = macro->parameters.size();
    }
  }
  buildCacheKey(key_, encoding_, macro, nesting_, keyTexts, keyCount);
  if (const std::string* cached = table_.cachedExpansion(key_)) return append(out, *cached);
  std::string key = key_;  // nested expansions build their own keys in key_
  std::string expansion;
  if (!expand(text, expansion, nested)) return false;
  if (!append(out, expansion)) return false;
  table_.rememberExpansion(std::move(key), std::move(expansion));
  return true;
}

bool readParameters(std::string_view line, size_t& pos, const std::string& name,
                    std::vector<std::string>& parameters, OutStream& messages) {
  for (;;) {
    std::string parameter;
    if (!readWord(line, pos, parameter, kRefDelimiters)) return false;
    if (parameter.empty()) {
      messages.write(formatText(messages.tr("引数は省略できません\n")));
      return false;
    }
    parameters.push_back(std::move(parameter));
    pos = skipBlanks(line, pos);
    char next = pos < line.size() ? line[pos] : '\0';
    if (next != ')' && next != ',') {
      messages.write(
          formatText(messages.tr("マクロ %s に対する引数が多いか、括弧が閉じていません\n"), name));
      return false;
    }
    ++pos;
    if (next == ')') return true;
  }
}

}  // namespace

const Macro* MacroTable::find(std::string_view name) const {
  auto it = macros_.find(name);
  return it == macros_.end() ? nullptr : &it->second;
}

bool MacroTable::insert(Macro macro) {
  std::string name = macro.name;
  if (!macros_.emplace(std::move(name), std::move(macro)).second) return false;
  // A new macro can change how a reference reads its argument list, so
  // earlier expansions no longer hold.
  dropCache();
  return true;
}

void MacroTable::clear() {
  macros_.clear();
  dropCache();
}

const std::string* MacroTable::cachedExpansion(const std::string& key) const {
  auto it = cache_.find(key);
  return it == cache_.end() ? nullptr : &it->second;
}

void MacroTable::rememberExpansion(std::string key, std::string text) {
  cacheBytes_ += key.size() + text.size() + kCacheEntryOverhead;
  cache_.emplace(std::move(key), std::move(text));
}

void MacroTable::trimCache() {
  if (cacheBytes_ > kCacheBudget) dropCache();
}

void MacroTable::dropCache() {
  cache_.clear();
  cacheBytes_ = 0;
}

bool defineMacro(std::string_view line, size_t& pos, MacroTable& table, OutStream& messages) {
  std::string written;
  if (!readWord(line, pos, written, kNameDelimiters)) {
    messages.write(formatText(messages.tr("マクロ名が取得できません\n")));
    return false;
  }
  Macro macro;
  if (pos < line.size() && line[pos] == '(') {
    ++pos;
    if (!readParameters(line, pos, written, macro.parameters, messages)) return false;
  }
  macro.body = std::string(trimRight(line.substr(skipBlanks(line, pos))));
  std::string_view name = written;
  if (!name.empty() && name[0] == '$') name.remove_prefix(1);
  if (name.empty()) {
    messages.write(formatText(messages.tr("マクロ名が取得できません\n")));
    return false;
  }
  macro.name = std::string(name);
  if (!table.insert(std::move(macro))) {
    messages.write(formatText(messages.tr("マクロ %s は既に定義されています\n"), name));
    return false;
  }
  pos = line.size();
  return true;
}

bool expandMacros(std::string_view source, std::string& dest, MacroTable& table,
                  OutStream& messages, Encoding encoding, std::vector<ColumnStretch>* stretches) {
  table.trimCache();
  table.argumentStack().clear();
  Expander expander(table, messages, encoding);
  expander.recordStretches(stretches);
  return expander.expand(source, dest, nullptr);
}

bool readArgument(std::string_view text, size_t& pos, std::string_view& out) {
  const size_t start = skipBlanksFrom(text, pos);
  int open = 0;
  for (size_t i = start; i < text.size(); ++i) {
    char c = text[i];
    if (open == 0 && (c == ',' || c == ')')) {
      out = text.substr(start, i - start);
      pos = i;
      return true;
    }
    if (i - start == kMaxArgumentLength) return false;
    if (c == '(') ++open;
    if (c == ')') --open;
  }
  return false;
}

}  // namespace tallow
