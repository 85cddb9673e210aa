// Opening files: the main source and #include.  At most 8 files are open at
// once.  A name loses a closing ">" or double quote; an opening "<" or double
// quote becomes a blank, which stays in the name shown in markers and
// messages but not in the name opened.  A file is looked for relative to the
// current directory, then in the include search directory (KRHPATH); the
// directory of the including file plays no part.  Every name, the one from
// the command line too, is opened with its backslashes as separators.
#include "base/paths.h"
#include "base/text.h"
#include "base/text_scan.h"
#include "preprocess/preprocess_run.h"

namespace tallow {
namespace {

// Applies the quote handling to `name` in place; returns the part to open.
std::string_view unquote(std::string& name) {
  if (!name.empty() && (name.back() == '>' || name.back() == '"')) name.pop_back();
  if (!name.empty() && (name.front() == '<' || name.front() == '"')) {
    name.front() = ' ';
    return std::string_view(name).substr(1);
  }
  return name;
}

bool openSourceFile(const PreprocessRun& run, TextReader& reader, std::string_view name) {
  if (reader.open(toOpenPath(name))) return true;
  const std::string& searchDir = run.job.searchDir;
  if (searchDir.empty()) return false;
  std::string joined = joinPath(searchDir, name);
  return joined.size() <= kMaxJoinedPathLength && reader.open(toOpenPath(joined));
}

}  // namespace

bool processFile(PreprocessRun& run, std::string name) {
  ++run.includeDepth;
  run.messages.note(formatText("Now include %s(%d)...\n", name, run.includeDepth));
  if (run.includeDepth > kMaxOpenFiles) {
    run.say("ネストが深すぎます\n");
    return false;
  }
  SourceFile file;
  std::string_view toOpen = unquote(name);
  if (!openSourceFile(run, file.reader, toOpen)) {
    if (run.messages.english()) {
      Text said = formatText("cannot open the file %s: ", name);
      said += run.job.searchDir.empty()
                  ? Text::own("looked in the current directory (KRHPATH is not set)\n")
                  : formatText("looked in the current directory and in %s (KRHPATH)\n",
                               run.job.searchDir);
      run.messages.write(said);
    } else {
      run.messages.write(formatText("ファイル %s が開けません\n", name));
    }
    return false;
  }
  file.encoding = file.reader.detectEncoding();
  file.byteOrderMarkPending = file.encoding == Encoding::kUtf8;
  file.name = std::move(name);
  run.intermediate.write(formatMessage("# 1 %s\n", file.name));
  BlockEnd end = processLines(run, file);
  file.reader.close();
  if (end != BlockEnd::kEndOfFile) return false;
  --run.includeDepth;
  return true;
}

LineLoop::Step LineLoop::includeLine() {
  std::string name;
  if (!readField(line_, pos_, name, kFieldDelimiters, kMaxIncludeNameLength + 1) ||
      hasTrailingText(line_, pos_)) {
    run_.say("引数が多すぎます\n");
    return locationReport();
  }
  bool included = processFile(run_, std::move(name));
  run_.lastFile = file_.name;
  if (!included) {
    run_.editorError(file_.name, file_.lineNumber, column());
    return Step::kFailed;
  }
  emit(formatMessage("\n# %d %s\n", file_.lineNumber + 1, file_.name));
  return Step::kNext;
}

}  // namespace tallow
