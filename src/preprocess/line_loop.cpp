// The line loop: reads a file line by line, classifies each line, strips its
// comment and dispatches it.  Every source line yields exactly one line of
// the intermediate file (an #include line yields the included output
// instead), so that the compiler can count lines.  A failure prints its
// messages and the location report and ends the loop at once.
//
// Most lines of a score are plain text: no comment, reference, brace,
// escape or NUL.  One scan finds that out, and such a line is written where
// it was read, without a copy (the passes copy multibyte characters whole,
// so these change nothing either); every other line goes through the
// passes, each of which is skipped when its bytes are absent.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/braces.h"
#include "preprocess/comment.h"
#include "preprocess/plain_text.h"
#include "preprocess/preprocess_run.h"
#include "tonebank/fmb_file.h"

namespace tallow {
namespace {

// A line is read behind room for the #with prefix and its blank.
static_assert(kLineBufferSize + kMaxWithPrefixLength + 1 <= IntermediateWriter::kRoomLimit);

bool isAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

LineLoop::LineLoop(PreprocessRun& run, SourceFile& file) : run_(run), file_(file) {
  line_.reserve(kLineBufferSize);
  expanded_.reserve(kLineBufferSize);
}

BlockEnd processLines(PreprocessRun& run, SourceFile& file) { return LineLoop(run, file).run(); }

BlockEnd LineLoop::run() {
  run_.lastFile = file_.name;
  for (;;) {
    TextReader::Result result;
    std::string_view text;
    if (!readLine(result, text)) {
      if (result == TextReader::Result::kError) {
        if (!inPlace_.empty()) line_.assign(inPlace_);
        locationReport();
        return BlockEnd::kFailed;
      }
      return endOfBlocks();
    }
    if (writtenInPlace(text)) continue;
    takeLine(text);
    switch (handleLine()) {
      case Step::kNext:
        break;
      case Step::kFailed:
        return BlockEnd::kFailed;
      case Step::kQuit:
        return endOfBlocks();
      case Step::kElse:
        return BlockEnd::kElse;
      case Step::kEndif:
        return BlockEnd::kEndif;
    }
  }
}

// Reads the next line into the intermediate file's free space, behind room
// for the #with prefix and its blank.  A line written in place before is
// copied out first if the writer is about to hand its bytes to the file.
bool LineLoop::readLine(TextReader::Result& result, std::string_view& text) {
  size_t lead = run_.withPrefix.empty() ? 0 : run_.withPrefix.size() + 1;
  if (!inPlace_.empty() && !run_.intermediate.hasRoom(lead + kLineBufferSize)) {
    line_.assign(inPlace_);
    inPlace_ = {};
  }
  read_ = run_.intermediate.reserve(lead + kLineBufferSize) + lead;
  size_t length = 0;
  result = file_.reader.readLine(read_, kLineBufferSize, length);
  if (result != TextReader::Result::kLine) return false;
  text = std::string_view(read_, length);
  ++file_.lineNumber;
  return true;
}

// A line of ordinary text in which no pass would change a byte is written
// where it was read, with the #with prefix put in the room before it.
bool LineLoop::writtenInPlace(std::string_view text) {
  if (file_.byteOrderMarkPending || skipping() || firstSpecialByte(text) != text.size()) {
    return false;
  }
  // A letter or a digit starts neither a directive nor a tone word.
  size_t pos = 0;
  LineClass lineClass =
      !text.empty() && isAsciiAlnum(text[0])
          ? (toneInProgress(run_.tones) ? LineClass::kToneDef : LineClass::kText)
          : classifyLine(text, pos, toneInProgress(run_.tones), !run_.withPrefix.empty());
  if (!isOrdinary(lineClass)) return false;
  run_.messages.forget();
  run_.lastLine = file_.lineNumber;
  pos_ = pos;
  inPlace_ = text;
  run_.intermediate.commit(text.size() + (run_.withPrefix.empty() ? 0 : putPrefix()));
  if (run_.columns != nullptr && !run_.withPrefix.empty()) {
    std::vector<ColumnStretch> copied;
    mapColumns(copied);
  }
  return true;
}

// Puts the #with prefix and its blank in the room before the line read;
// returns their length.
size_t LineLoop::putPrefix() {
  const std::string& prefix = run_.withPrefix;
  char* lead = read_ - prefix.size() - 1;
  std::memcpy(lead, prefix.data(), prefix.size());
  lead[prefix.size()] = ' ';
  return prefix.size() + 1;
}

// Copies the line read into line_.  A UTF-8 byte-order mark before the
// file's first line is dropped; a NUL byte ends the line's text, and the
// line keeps the line feed it was read with.
void LineLoop::takeLine(std::string_view text) {
  inPlace_ = {};
  if (file_.byteOrderMarkPending) {
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    file_.byteOrderMarkPending = false;
  }
  size_t nul = text.find('\0');
  if (nul == std::string_view::npos) {
    line_.assign(text);
  } else {
    line_.assign(text.substr(0, nul));
    if (text.back() == '\n') line_.push_back('\n');
  }
}

LineLoop::Step LineLoop::handleLine() {
  pos_ = 0;
  run_.messages.forget();
  run_.lastLine = file_.lineNumber;
  LineClass lineClass =
      classifyLine(line_, pos_, toneInProgress(run_.tones), !run_.withPrefix.empty());
  if (lineClass != LineClass::kTitle && lineClass != LineClass::kArtist && mayHoldComment(line_))
    stripComment(line_, file_.encoding);
  // These act alike in taken and skipped branches.
  switch (lineClass) {
    case LineClass::kUnrecognisedDirective:
      run_.say("コマンドが識別できません\n");
      return locationReport();
    case LineClass::kIfdef:
    case LineClass::kIfndef:
      emit("\n");
      return openBlock(lineClass == LineClass::kIfndef);
    case LineClass::kElse:
      emit("\n");
      return elseLine();
    case LineClass::kEndif:
      emit("\n");
      return endifLine();
    case LineClass::kClear:
      emit("\n");
      run_.macros.clear();
      return Step::kNext;
    default:
      break;
  }
  if (!skipping()) return handleActive(lineClass);
  // Tone lines need a bank name even where they are skipped.
  if (lineClass == LineClass::kToneDef && !bankNameSet(run_.tones.bank)) return bankNameMissing();
  emit("\n");
  return Step::kNext;
}

LineLoop::Step LineLoop::handleActive(LineClass lineClass) {
  switch (lineClass) {
    case LineClass::kInclude:
      return includeLine();
    case LineClass::kQuit:
      emit("\n");
      return trailingCheck() == Step::kNext ? Step::kQuit : Step::kFailed;
    case LineClass::kDefine:
      return defineLine();
    case LineClass::kWith:
      emit("\n");
      return setWithPrefix();
    case LineClass::kEndWith:
      emit("\n");
      return endWithPrefix();
    case LineClass::kToneDef:
      return toneLine();
    case LineClass::kToneOrder:
      emit("\n");
      if (!defineToneOrder(run_.tones, line_, pos_, run_.messages)) return locationReport();
      return Step::kNext;
    case LineClass::kFmbFile:
      emit(line_);
      if (!setBankFile(run_.tones.bank, line_, pos_, run_.sourceDir, run_.env, run_.messages)) {
        return locationReport();
      }
      return trailingCheck();
    case LineClass::kVStart:
      emit(line_);
      if (!setStartNumber(run_.tones, line_, pos_)) {
        run_.say("音色開始番号が不正です\n");
        return locationReport();
      }
      return Step::kNext;
    default:
      return ordinaryLine();
  }
}

// Macros, then braces; the #with prefix and a blank go before the text.  A
// pass that cannot change the text is skipped: the text then moves on by a
// swap of the buffers, so that the brace pass still builds its output in
// line_ and reads the macro-expanded text from expanded_.
LineLoop::Step LineLoop::ordinaryLine() {
  std::vector<ColumnStretch> stretches;
  std::vector<ColumnStretch>* mapped = run_.columns != nullptr ? &stretches : nullptr;
  if (!mayHoldReference(line_)) {
    line_.swap(expanded_);
  } else if (!expandMacros(line_, expanded_, run_.macros, run_.messages, file_.encoding, mapped)) {
    return locationReport();
  }
  if (!mayHoldBrace(expanded_)) {
    line_.swap(expanded_);
  } else {
    std::vector<ColumnStretch> repeated;
    if (!expandBraces(expanded_, line_, run_.messages, file_.encoding,
                      mapped != nullptr ? &repeated : nullptr)) {
      return locationReport(expanded_);
    }
    if (mapped != nullptr) stretches = composeStretches(repeated, stretches);
  }
  if (!run_.withPrefix.empty()) {
    emit(run_.withPrefix);
    emit(" ");
  }
  emit(line_);
  if (mapped != nullptr) mapColumns(stretches);
  return Step::kNext;
}

// Records where the columns of the line written come from, when the
// prefix or a macro moved them.
void LineLoop::mapColumns(std::vector<ColumnStretch>& stretches) {
  size_t prefix = run_.withPrefix.empty() ? 0 : run_.withPrefix.size() + 1;
  if (prefix == 0 && stretches.empty()) return;
  for (ColumnStretch& s : stretches) s.written += prefix;
  if (prefix != 0) {
    stretches.insert(stretches.begin(), {{0, 0, true}, {prefix, 0, false}});
  }
  run_.columns->add(file_.name, file_.lineNumber, std::move(stretches));
}

LineLoop::Step LineLoop::defineLine() {
  emit("\n");
  if (!defineMacro(line_, pos_, run_.macros, run_.messages)) {
    run_.say("マクロの定義が出来ません\n");
    return locationReport();
  }
  return trailingCheck();
}

LineLoop::Step LineLoop::toneLine() {
  if (!bankNameSet(run_.tones.bank)) return bankNameMissing();
  emit("\n");
  if (!defineToneValues(run_.tones, line_, pos_, run_.messages)) return locationReport();
  return trailingCheck();
}

LineLoop::Step LineLoop::bankNameMissing() {
  run_.say("音色ファイル名指定前に音色定義は出来ません\n");
  return locationReport();
}

LineLoop::Step LineLoop::trailingCheck() {
  if (!hasTrailingText(line_, pos_)) return Step::kNext;
  run_.say("引数が多すぎます\n");
  return locationReport();
}

LineLoop::Step LineLoop::locationReport(std::string_view text) {
  Text report = formatText("-- %s(Line%d)\n", file_.name, file_.lineNumber);
  report += Text::user(text);
  run_.messages.note(report);
  run_.editorError(file_.name, file_.lineNumber, column());
  return Step::kFailed;
}

// Where the handling of the line stopped, 1-based, a line end not counted.
int LineLoop::column() const {
  size_t text = line_.size() - (!line_.empty() && line_.back() == '\n' ? 1 : 0);
  return static_cast<int>(std::min(pos_, text)) + 1;
}

}  // namespace tallow
