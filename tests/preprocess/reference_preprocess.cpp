// The preprocessor's line pipeline as it was before plain lines were written
// where they are read and before passes that cannot change a line were
// skipped.  Every line is copied out of the read buffer, classified,
// stripped, expanded by the former macro expander (kept here as it was) and
// by brace expansion, and written piece by piece.  The differential test
// holds the preprocessor to it byte for byte.
#include "preprocess/reference_preprocess.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/braces.h"
#include "preprocess/characters.h"
#include "preprocess/comment.h"
#include "preprocess/delimiters.h"
#include "preprocess/line_class.h"
#include "preprocess/preprocess_run.h"
#include "tonebank/fmb_file.h"
#include "tonebank/tone_defs.h"

namespace tallow::testing::reference {
namespace {

// ---- The former macro expander ----------------------------------------

bool readArgument(std::string_view text, size_t& pos, std::string& out) {
  out.clear();
  size_t i = skipBlanks(text, pos);
  int open = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (open == 0 && (c == ',' || c == ')')) {
      pos = i;
      return true;
    }
    if (c == '(') ++open;
    if (c == ')') --open;
    if (out.size() == kMaxArgumentLength) return false;
    out.push_back(c);
  }
  return false;
}

// The arguments of one use of a macro with parameters.
struct Binding {
  const Macro* macro;
  std::vector<std::string> arguments;  // one per parameter of `macro`
};

void appendNumber(std::string& key, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) key.push_back(static_cast<char>(value >> (8 * i)));
}

// Identifies one nested expansion: the macro whose body is expanded (none
// for an argument text), the nesting level and the texts bound for it.
std::string cacheKey(Encoding encoding, const Macro* macro, int nesting,
                     const std::vector<std::string>* texts) {
  std::string key(1, static_cast<char>(encoding));
  appendNumber(key, reinterpret_cast<uintptr_t>(macro), sizeof(uintptr_t));
  appendNumber(key, static_cast<uint64_t>(nesting), 1);
  if (texts == nullptr) {
    appendNumber(key, UINT32_MAX, 4);
    return key;
  }
  appendNumber(key, texts->size(), 4);
  for (const std::string& text : *texts) {
    appendNumber(key, text.size(), 4);
    key += text;
  }
  return key;
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
        plain_(encoding == Encoding::kUtf8 ? kPlainUtf8 : kPlainCp932) {}

  bool expand(std::string_view source, std::string& out, const Binding* inForce);

 private:
  bool dollarReference(std::string_view source, size_t& i, std::string& out,
                       const Binding* inForce);
  bool readArguments(std::string_view source, size_t& i, const std::string& name, Binding& use);
  bool questionReference(std::string_view source, size_t& i, std::string& out,
                         const Binding* inForce);
  bool insertExpansion(const std::string& name, const Binding* inForce, const Binding* use,
                       std::string& out);
  bool append(std::string& out, std::string_view text);
  bool tooLong();
  void say(std::string_view utf8, std::string_view name) {
    messages_.write(formatText(utf8, name));
  }

  MacroTable& table_;
  OutStream& messages_;
  Encoding encoding_;
  const std::array<bool, 256>& plain_;
  int nesting_ = 0;
};

bool Expander::tooLong() {
  messages_.write(formatText("１行が%d文字を越えました\n", kMaxExpandedLength + 1));
  return false;
}

bool Expander::append(std::string& out, std::string_view text) {
  if (out.size() + text.size() > kMaxExpandedLength) return tooLong();
  out.append(text);
  return true;
}

bool Expander::expand(std::string_view source, std::string& out, const Binding* inForce) {
  if (nesting_ + 1 > kMaxMacroNesting) {
    messages_.write(formatText("ネストが深すぎます\n"));
    return false;
  }
  ++nesting_;
  out.clear();
  bool ok = true;
  size_t i = 0;
  while (ok && i < source.size()) {
    char c = source[i];
    size_t rest = source.size() - i;
    if (c == '$') {
      ++i;
      ok = dollarReference(source, i, out, inForce);
    } else if (c == '?') {
      ++i;
      ok = questionReference(source, i, out, inForce);
    } else if (c == '\\') {
      // The backslash is dropped and the next byte is plain text.
      if (rest > 1) ok = append(out, source.substr(i + 1, 1));
      i += 2;
    } else if (startsMultibyte(encoding_, static_cast<unsigned char>(c)) && rest > 1) {
      size_t length = characterLength(encoding_, source, i);
      ok = append(out, source.substr(i, length));
      i += length;
    } else {
      size_t end = i + 1 + plainPrefix(source.substr(i + 1), '$', '?', '\\');
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
  std::string name;
  if (!readWord(source, i, name, kRefDelimiters)) return false;
  const Macro* macro = table_.find(name);
  i = skipBlanks(source, i);
  if (macro == nullptr || macro->parameters.empty()) {
    return insertExpansion(name, inForce, nullptr, out);
  }
  if (i >= source.size() || source[i] != '(') {
    say("マクロ %s に対する引数が足りません\n", name);
    return false;
  }
  ++i;
  Binding use{macro, {}};
  if (!readArguments(source, i, name, use)) return false;
  return insertExpansion(name, inForce, &use, out);
}

bool Expander::readArguments(std::string_view source, size_t& i, const std::string& name,
                             Binding& use) {
  const size_t count = use.macro->parameters.size();
  for (size_t k = 0; k < count; ++k) {
    std::string argument;
    if (!readArgument(source, i, argument)) return false;
    i = skipBlanks(source, i);
    use.arguments.push_back(std::move(argument));
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
  i = skipBlanks(source, i);
  std::string name;
  if (i < source.size()) name.assign(1, source[i++]);
  if (!insertExpansion(name, inForce, nullptr, out)) return false;
  i = skipBlanks(source, i);
  return true;
}

// Appends the expansion of `name`: the argument bound to a parameter of that
// name, else the body of the macro of that name expanded with `use`.
bool Expander::insertExpansion(const std::string& name, const Binding* inForce, const Binding* use,
                               std::string& out) {
  std::string_view text;
  const Macro* macro = nullptr;
  const Binding* nested = nullptr;
  std::vector<std::string> argumentKey;
  const std::vector<std::string>* keyTexts = nullptr;
  bool bound = false;
  if (inForce != nullptr) {
    const std::vector<std::string>& parameters = inForce->macro->parameters;
    for (size_t k = 0; k < parameters.size() && !bound; ++k) {
      if (parameters[k] != name) continue;
      text = inForce->arguments[k];
      argumentKey.assign(1, inForce->arguments[k]);
      keyTexts = &argumentKey;
      bound = true;
    }
  }
  if (!bound) {
    macro = table_.find(name);
    if (macro == nullptr) {
      say("マクロ %s は定義されていません\n", name);
      return false;
    }
    text = macro->body;
    nested = use;
    keyTexts = use != nullptr ? &use->arguments : nullptr;
  }
  std::string key = cacheKey(encoding_, macro, nesting_, keyTexts);
  if (const std::string* cached = table_.cachedExpansion(key)) return append(out, *cached);
  std::string expansion;
  if (!expand(text, expansion, nested)) return false;
  if (!append(out, expansion)) return false;
  table_.rememberExpansion(std::move(key), std::move(expansion));
  return true;
}

// ---- The former line loop, for one file without includes ---------------

constexpr size_t kLineBufferSize = 8192;
constexpr std::string_view kBanner = "[ Preprocessor 'Kiln' version 1.09r with Toneforge v1.00 ]\n";

struct OpenBlock {
  int line;
  bool firstTaken, inElse, outerSkipping, skipping;
};

enum class Step { kNext, kFailed, kQuit, kElse, kEndif };

class Loop {
 public:
  Loop(const std::string& name, OutStream& out, OutStream& err)
      : name_(name), messages_(out), err_(err), bank_(), tones_(bank_) {}

  Run run();

 private:
  bool readLine(TextReader::Result& result);
  Step handleLine();
  Step handleActive(LineClass lineClass);
  Step ordinaryLine();
  Step openBlock(bool negate);
  Step elseLine();
  Step bankNameMissing() {
    say("音色ファイル名指定前に音色定義は出来ません\n");
    return locationReport(line_);
  }
  Step trailingCheck() {
    if (!hasTrailingText(line_, pos_)) return Step::kNext;
    say("引数が多すぎます\n");
    return locationReport(line_);
  }
  Step locationReport(std::string_view text);
  bool endOfBlocks();
  void editorError(int line, int column);
  void say(std::string_view utf8) { messages_.write(formatText(utf8)); }
  bool skipping() const { return !blocks_.empty() && blocks_.back().skipping; }

  std::string name_;
  PreprocessMessages messages_;
  OutStream& err_;
  bool editorWritten_ = false;
  ToneBankState bank_;
  ToneDefState tones_;
  MacroTable macros_;
  std::string withPrefix_;
  TextReader reader_;
  Encoding encoding_ = Encoding::kCp932;
  bool byteOrderMarkPending_ = false;
  int lineNumber_ = 0;
  std::string read_ = std::string(kLineBufferSize, '\0');
  std::string line_, expanded_, out_;
  size_t pos_ = 0;
  std::vector<OpenBlock> blocks_;
};

bool Loop::readLine(TextReader::Result& result) {
  size_t length = 0;
  result = reader_.readLine(read_.data(), kLineBufferSize, length);
  if (result != TextReader::Result::kLine) return false;
  std::string_view text(read_.data(), length);
  if (byteOrderMarkPending_) {
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    byteOrderMarkPending_ = false;
  }
  size_t nul = text.find('\0');
  if (nul == std::string_view::npos) {
    line_.assign(text);
  } else {
    line_.assign(text.substr(0, nul));
    if (text.back() == '\n') line_.push_back('\n');
  }
  ++lineNumber_;
  return true;
}

Step Loop::handleLine() {
  pos_ = 0;
  messages_.forget();
  LineClass lineClass = classifyLine(line_, pos_, toneInProgress(tones_), !withPrefix_.empty());
  if (lineClass != LineClass::kTitle && lineClass != LineClass::kArtist)
    stripComment(line_, encoding_);
  switch (lineClass) {
    case LineClass::kUnrecognisedDirective:
      say("コマンドが識別できません\n");
      return locationReport(line_);
    case LineClass::kIfdef:
    case LineClass::kIfndef:
      out_ += "\n";
      return openBlock(lineClass == LineClass::kIfndef);
    case LineClass::kElse:
      out_ += "\n";
      return elseLine();
    case LineClass::kEndif:
      out_ += "\n";
      if (blocks_.empty()) return Step::kEndif;
      blocks_.pop_back();
      return Step::kNext;
    case LineClass::kClear:
      out_ += "\n";
      macros_.clear();
      return Step::kNext;
    default:
      break;
  }
  if (!skipping()) return handleActive(lineClass);
  if (lineClass == LineClass::kToneDef && !bankNameSet(tones_.bank)) return bankNameMissing();
  out_ += "\n";
  return Step::kNext;
}

Step Loop::handleActive(LineClass lineClass) {
  switch (lineClass) {
    case LineClass::kQuit:
      out_ += "\n";
      return trailingCheck() == Step::kNext ? Step::kQuit : Step::kFailed;
    case LineClass::kDefine:
      out_ += "\n";
      if (!defineMacro(line_, pos_, macros_, messages_)) {
        say("マクロの定義が出来ません\n");
        return locationReport(line_);
      }
      return trailingCheck();
    case LineClass::kWith: {
      out_ += "\n";
      std::string word;
      if (!readWord(line_, pos_, word, kWithDelimiters)) {
        say("引数が多すぎます\n");
        return locationReport(line_);
      }
      withPrefix_ = word;
      return trailingCheck();
    }
    case LineClass::kEndWith:
      out_ += "\n";
      withPrefix_.clear();
      return trailingCheck();
    case LineClass::kToneDef:
      if (!bankNameSet(tones_.bank)) return bankNameMissing();
      ADD_FAILURE() << "a tone line after a bank name";
      return Step::kFailed;
    case LineClass::kToneOrder:
      out_ += "\n";
      if (!defineToneOrder(tones_, line_, pos_, messages_)) return locationReport(line_);
      return Step::kNext;
    case LineClass::kInclude:
    case LineClass::kFmbFile:
    case LineClass::kVStart:
      ADD_FAILURE() << "a line the reference does not take: " << line_;
      return Step::kFailed;
    default:
      return ordinaryLine();
  }
}

Step Loop::ordinaryLine() {
  if (!reference::expandMacros(line_, expanded_, macros_, messages_, encoding_)) {
    return locationReport(line_);
  }
  if (!expandBraces(expanded_, line_, messages_, encoding_)) return locationReport(expanded_);
  if (!withPrefix_.empty()) out_ += withPrefix_ + " ";
  out_ += line_;
  return Step::kNext;
}

Step Loop::openBlock(bool negate) {
  std::string name;
  if (!readWord(line_, pos_, name, kNameDelimiters) || hasTrailingText(line_, pos_)) {
    return locationReport(line_);
  }
  std::string_view key = name;
  if (!key.empty() && key[0] == '$') key.remove_prefix(1);
  bool taken = (macros_.find(key) != nullptr) != negate;
  bool outer = skipping();
  blocks_.push_back({lineNumber_, taken, false, outer, outer || !taken});
  return Step::kNext;
}

Step Loop::elseLine() {
  if (blocks_.empty()) return Step::kElse;
  OpenBlock& block = blocks_.back();
  if (block.inElse) {
    say("#ELSEに対応する#IFDEFが見つかりません\n");
    return Step::kFailed;
  }
  block.inElse = true;
  block.skipping = block.outerSkipping || block.firstTaken;
  return Step::kNext;
}

Step Loop::locationReport(std::string_view text) {
  Text report = formatText("-- %s(Line%d)\n", name_, lineNumber_);
  report += Text::user(text);
  messages_.note(report);
  size_t length = line_.size() - (!line_.empty() && line_.back() == '\n' ? 1 : 0);
  editorError(lineNumber_, static_cast<int>(std::min(pos_, length)) + 1);
  return Step::kFailed;
}

bool Loop::endOfBlocks() {
  if (blocks_.empty()) return true;
  messages_.write(formatText("%d行の#IFDEFに対応する#ENDIFがありません\n", blocks_.back().line));
  editorError(blocks_.back().line, 1);
  return false;
}

void Loop::editorError(int line, int column) {
  if (editorWritten_) return;
  std::string said = messages_.said();
  err_.write(editorLine(name_, line, column, "error", said.empty() ? "プリプロセスエラー" : said));
  editorWritten_ = true;
}

Run Loop::run() {
  Run result;
  messages_.note(Text::own(kBanner));
  messages_.note(formatText("Now include %s(%d)...\n", name_, 1));
  if (!reader_.open(name_)) {
    ADD_FAILURE() << "no file " << name_;
    return result;
  }
  encoding_ = reader_.detectEncoding();
  byteOrderMarkPending_ = encoding_ == Encoding::kUtf8;
  out_ = formatMessage("# 1 %s\n", name_);
  bool ok = false;
  for (;;) {
    TextReader::Result read;
    if (!readLine(read)) {
      ok = read != TextReader::Result::kError ? endOfBlocks() : false;
      break;
    }
    Step step = handleLine();
    if (step == Step::kNext) continue;
    ok = step == Step::kQuit && endOfBlocks();
    break;
  }
  if (!ok) editorError(lineNumber_, 1);
  if (ok) reportTones(tones_, "", messages_);
  result.status = ok ? 0 : 1;
  result.intermediate = out_;
  return result;
}

}  // namespace

bool expandMacros(std::string_view source, std::string& dest, MacroTable& table,
                  OutStream& messages, Encoding encoding) {
  table.trimCache();
  Expander expander(table, messages, encoding);
  return expander.expand(source, dest, nullptr);
}

Run runFile(const std::string& name) {
  StringOutStream out, err;
  Loop loop(name, out, err);
  Run result = loop.run();
  result.messages = out.text();
  result.editor = err.text();
  return result;
}

}  // namespace tallow::testing::reference
