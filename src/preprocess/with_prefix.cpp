// #with / #{ and #endwith / #}: the prefix written with a blank before every
// ordinary line.  One prefix at a time, at most 31 bytes; it belongs to the
// run and outlives the file that set it.
#include "base/text_scan.h"
#include "preprocess/delimiters.h"
#include "preprocess/preprocess_run.h"

namespace tallow {

LineLoop::Step LineLoop::setWithPrefix() {
  std::string word;
  if (!readWord(line_, pos_, word, kWithDelimiters)) {
    run_.say("引数が多すぎます\n");
    return locationReport();
  }
  run_.withPrefix = word;
  return trailingCheck();
}

LineLoop::Step LineLoop::endWithPrefix() {
  run_.withPrefix.clear();
  return trailingCheck();
}

}  // namespace tallow
