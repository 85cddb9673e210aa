// The line loop: reads a file line by line, classifies each line, strips its
// comment and dispatches it.  Every source line yields exactly one line of
// the intermediate file (an #include line yields the included output
// instead), so that the compiler can count lines.  A failure prints its
// messages and the location report and ends the loop at once.
#include <algorithm>
#include <string>

#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/braces.h"
#include "preprocess/comment.h"
#include "preprocess/kiln_run.h"
#include "tonebank/fmb_file.h"

namespace tallow {

LineLoop::LineLoop(KilnRun& run, SourceFile& file) : run_(run), file_(file) {
  read_.resize(kLineBufferSize);
  line_.reserve(kLineBufferSize);
  expanded_.reserve(kLineBufferSize);
}

BlockEnd processLines(KilnRun& run, SourceFile& file) { return LineLoop(run, file).run(); }

BlockEnd LineLoop::run() {
  for (;;) {
    TextReader::Result result;
    if (!readLine(result)) {
      if (result == TextReader::Result::kError) {
        locationReport();
        return BlockEnd::kFailed;
      }
      return endOfBlocks();
    }
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

// Reads the next line into line_.  A NUL byte ends the line's text; the line
// keeps the line feed it was read with.
bool LineLoop::readLine(TextReader::Result& result) {
  size_t length = 0;
  result = file_.reader.readLine(read_.data(), kLineBufferSize, length);
  if (result != TextReader::Result::kLine) return false;
  std::string_view text(read_.data(), length);
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
  ++file_.lineNumber;
  return true;
}

LineLoop::Step LineLoop::handleLine() {
  pos_ = 0;
  run_.messages.forget();
  run_.lastFile = file_.name;
  run_.lastLine = file_.lineNumber;
  LineClass lineClass =
      classifyLine(line_, pos_, toneInProgress(run_.tones), !run_.withPrefix.empty());
  if (lineClass != LineClass::kTitle && lineClass != LineClass::kArtist)
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

// Macros, then braces; the #with prefix and a blank go before the text.
LineLoop::Step LineLoop::ordinaryLine() {
  if (!expandMacros(line_, expanded_, run_.macros, run_.messages, file_.encoding)) {
    return locationReport();
  }
  if (!expandBraces(expanded_, line_, run_.messages, file_.encoding)) {
    return locationReport(expanded_);
  }
  if (!run_.withPrefix.empty()) {
    emit(run_.withPrefix);
    emit(" ");
  }
  emit(line_);
  return Step::kNext;
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
