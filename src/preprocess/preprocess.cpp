// The preprocessor run: creates the intermediate file, opens the message
// stream, processes the main source (and through it every included file) and
// finishes with the tone compiler's report.  Nothing of a run outlives it but
// the program's tone bank.
#include "preprocess/preprocess.h"

#include <cstdio>
#include <memory>
#include <new>

#include "base/paths.h"
#include "base/text.h"
#include "preprocess/preprocess_run.h"

namespace tallow {
namespace {

constexpr std::string_view kBanner = "[ Preprocessor 'Kiln' version 1.09r with Toneforge v1.00 ]\n";

// Receives the messages when the program has no output stream.
class DiscardOutStream final : public OutStream {
 public:
  using OutStream::write;
  void write(std::string_view) override {}
};

// Processes the main source; true when the run succeeded and the whole
// intermediate file was written.
bool processSource(PreprocessRun& run) {
  bool ok = processFile(run, run.job.sourcePath);
  if (!ok)
    run.editorError(run.lastFile.empty() ? run.job.sourcePath : run.lastFile, run.lastLine, 1);
  ok = run.intermediate.close() && ok;
  if (ok) reportTones(run.tones, run.sourceDir, run.messages);
  run.macros.clear();
  return ok;
}

}  // namespace

PreprocessRun::PreprocessRun(CompileJob& runJob, ProgramContext& program,
                             FileWriter& intermediateFile, OutStream& messageStream)
    : job(runJob),
      env(program.env),
      intermediate(intermediateFile),
      messages(messageStream),
      sourceDir(directoryPart(runJob.sourcePath)),
      tones(*program.toneBank) {}

void PreprocessRun::say(std::string_view utf8) { messages.write(formatText(messages.tr(utf8))); }

std::string PreprocessMessages::said() const {
  std::string line;
  for (char c : said_) {
    if (c != '\n') {
      line.push_back(c);
    } else if (!line.empty() && line.back() != ' ') {
      line.push_back(' ');
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void PreprocessRun::editorError(const std::string& file, int line, int column) {
  if (editor == nullptr || editorLineWritten) return;
  std::string said = messages.said();
  editor->write(editorLine(file, line, column, "error",
                           said.empty() ? editor->tr("プリプロセスエラー") : said));
  editorLineWritten = true;
}

int runPreprocessor(CompileJob& job, ProgramContext& program) {
  auto intermediate = std::make_unique<FileWriter>();
  if (!intermediate->create(job.intermediatePath)) return 1;
  DiscardOutStream discard;
  OutStream* messages = program.out != nullptr ? program.out : &discard;
  std::unique_ptr<FileOutStream> logFile;
  if (!job.logPath.empty()) {
    std::FILE* file = std::fopen(job.logPath.c_str(), "wb");
    if (file == nullptr) {
      intermediate->close();
      return 1;
    }
    logFile = std::make_unique<FileOutStream>(file, true);
    messages = logFile.get();
  }
  messages->note(Text::own(kBanner));
  bool ok = false;
  try {
    if (!program.toneBank) program.toneBank = std::make_shared<ToneBankState>();
    PreprocessRun run(job, program, *intermediate, *messages);
    if (program.editorDiagnostics) run.editor = program.err;
    if (program.editorDiagnostics || job.notePositions != nullptr) run.columns = &job.columnMaps;
    ok = processSource(run);
    static_assert(kBankToneSlots == kToneRecordCount);
    if (ok && program.toneBank->toneCount != 0) job.tonesDefined = program.toneBank->defined;
  } catch (const std::bad_alloc&) {
    messages->write(formatText(messages->tr("メモリが足りません\n")));
    ok = false;
  }
  if (logFile) logFile->close();
  return ok ? 0 : 1;
}

}  // namespace tallow
