// The compile of the page: the two stages in order, as the command-line
// compiler runs them, with the messages and the editor lines caught in
// memory and told apart.
#include "web/compile_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <new>

#include "base/compile_job.h"
#include "base/cp932.h"
#include "base/files.h"
#include "base/locale.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "compiler/compile.h"
#include "playback/bank_lookup.h"
#include "preprocess/preprocess.h"

namespace tallow::web {
namespace {

bool isFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A stream of the compile, in UTF-8 (bytes that are not UTF-8 are CP932
// text, converted, as a UTF-8 console shows them).  Each write is one message
// or one editor line (the stages write either whole); on the error stream,
// editor lines about a file of the song become diagnostics, everything else
// is a message.
class MessageStream final : public OutStream {
 public:
  MessageStream(CompileOutcome& outcome, bool errors) : outcome_(outcome), errors_(errors) {
    setEncoding(Encoding::kUtf8);
  }
  using OutStream::write;
  void write(std::string_view bytes) override {
    std::string text = isValidUtf8(bytes) ? std::string(bytes) : userTextToUtf8(bytes);
    std::string_view line = text;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    Diagnostic d;
    if (errors_ && line.find('\n') == std::string_view::npos && parseEditorLine(line, d) &&
        isFile(d.file)) {
      outcome_.diagnostics.push_back(std::move(d));
    } else {
      outcome_.messages += text;
    }
  }

 private:
  CompileOutcome& outcome_;
  bool errors_;
};

// The stages on a job set up as the command-line compiler sets it up for
// `tallowc NAME` with no switch.
int runStages(CompileJob& job, ProgramContext& program, CompileOutcome& outcome) {
  setPathField(job.sourcePath, job.sourcePath);
  job.intermediatePath = makeTemporaryFile(program.env.tmpdir.value_or(""));
  setPathField(job.searchDir, program.env.krhpath.value_or(""));
  int status = runPreprocessor(job, program) != 0 ? 1 : compile(job, program) != 0 ? 1 : 0;
  ::unlink(job.intermediatePath.c_str());
  if (status != 0) return status;
  const uint8_t* image = reinterpret_cast<const uint8_t*>(job.outputImage.data());
  outcome.krb.assign(image, image + job.outputSize);
  if (auto bank = playback::findBankBeside(job.sourcePath, job.fmbName)) {
    readFilePrefix(*bank, size_t{1} << 20, outcome.fmb);
  }
  return 0;
}

// A decimal number of one or more digits at the front of `text`, taken off.
bool takeNumber(std::string_view& text, int& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return false;
  text.remove_prefix(end - text.data());
  return true;
}

}  // namespace

bool parseEditorLine(std::string_view line, Diagnostic& out) {
  for (const char* kind : {"error", "warning"}) {
    std::string mark = std::string(": ") + kind + ": ";
    size_t at = line.find(mark);
    if (at == std::string_view::npos) continue;
    std::string_view place = line.substr(0, at);
    out = Diagnostic{};
    out.severity = kind;
    out.text = std::string(line.substr(at + mark.size()));
    // FILE:LINE:COLUMN, or FILE alone when the message has no place.
    size_t second = place.rfind(':');
    size_t first = second == std::string_view::npos ? second : place.rfind(':', second - 1);
    std::string_view numbers =
        first == std::string_view::npos ? std::string_view() : place.substr(first + 1);
    if (!numbers.empty() && takeNumber(numbers, out.line) && numbers.size() > 1 &&
        numbers[0] == ':' && (numbers.remove_prefix(1), takeNumber(numbers, out.column)) &&
        numbers.empty()) {
      out.file = std::string(place.substr(0, first));
    } else {
      out.line = out.column = 0;
      out.file = std::string(place);
    }
    return !out.file.empty();
  }
  return false;
}

CompileOutcome compileInCurrentDirectory(const std::string& mainName, const Environment& env) {
  CompileOutcome outcome;
  MessageStream out(outcome, false);
  MessageStream err(outcome, true);
  out.setLanguage(languageOf(env));
  err.setLanguage(languageOf(env));
  ProgramContext program;
  program.env = env;
  program.out = &out;
  program.err = &err;
  program.editorDiagnostics = true;
  CompileJob job;
  job.sourcePath = mainName;
  job.notePositions = &outcome.positions;
  try {
    outcome.status = runStages(job, program, outcome);
  } catch (const std::bad_alloc&) {
    err.say("メモリが足りません\n");
    outcome.status = 1;
  }
  return outcome;
}

}  // namespace tallow::web
