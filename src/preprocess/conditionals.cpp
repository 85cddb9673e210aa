// Conditional blocks (#ifdef, #ifndef, #else, #endif).  Each file's loop keeps
// a stack of its open blocks; a line is skipped when the innermost block's
// current branch is not taken or lies inside a skipped branch.  At most 4096
// blocks are open at once in the whole run, and the stack lives on the heap,
// so deep nesting costs no call depth.
#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/delimiters.h"
#include "preprocess/preprocess_run.h"

namespace tallow {

LineLoop::Step LineLoop::openBlock(bool negate) {
  std::string name;
  if (!readWord(line_, pos_, name, kNameDelimiters) || hasTrailingText(line_, pos_)) {
    return locationReport();
  }
  if (run_.openBlocks >= kMaxOpenBlocks) {
    run_.say("ネストが深すぎます\n");
    return locationReport();
  }
  std::string_view key = name;
  if (!key.empty() && key[0] == '$') key.remove_prefix(1);
  bool taken = (run_.macros.find(key) != nullptr) != negate;
  bool outer = skipping();
  blocks_.push_back({file_.lineNumber, taken, false, outer, outer || !taken});
  ++run_.openBlocks;
  return Step::kNext;
}

// Outside any block an #else ends the file's loop, which fails the run.
LineLoop::Step LineLoop::elseLine() {
  if (blocks_.empty()) return Step::kElse;
  OpenBlock& block = blocks_.back();
  if (block.inElse) {
    run_.say("#ELSEに対応する#IFDEFが見つかりません\n");
    return Step::kFailed;
  }
  block.inElse = true;
  block.skipping = block.outerSkipping || block.firstTaken;
  return Step::kNext;
}

LineLoop::Step LineLoop::endifLine() {
  if (blocks_.empty()) return Step::kEndif;
  blocks_.pop_back();
  --run_.openBlocks;
  return Step::kNext;
}

// The end of the file, or #quit / #end: fails while a block is open.
BlockEnd LineLoop::endOfBlocks() {
  if (blocks_.empty()) return BlockEnd::kEndOfFile;
  run_.messages.write(formatText(run_.messages.tr("%d行の#IFDEFに対応する#ENDIFがありません\n"),
                                 blocks_.back().line));
  run_.editorError(file_.name, blocks_.back().line, 1);
  return BlockEnd::kFailed;
}

}  // namespace tallow
