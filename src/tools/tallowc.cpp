// The driver: reads the command line, runs the preprocessor and the
// compiler, prints the summary and writes the KRB file.  It alone decides
// the exit status, and it cleans up (the output image, the intermediate file
// unless /s was given) exactly once on every path that reached the stages.
#include "tools/tallowc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <new>

#include "base/console.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/temp_cleanup.h"
#include "base/text.h"
#include "compiler/compile.h"
#include "preprocess/preprocess.h"

namespace tallow::tools {
namespace {

constexpr const char* kBanner = "MML to KRB Compiler Tallow version 3.19w (Oct 29 2020)\n";
constexpr const char* kUsage =
    "\n\t Usage : tallowc <filename.mml> [/n /s /lock /nokrb /detail]\n"
    "\t\t/n     : 最適化禁止\n"
    "\t\t/s     : 中間ファイルを消去しない\n"
    "\t\t/lock  : 逆コンパイル禁止\n"
    "\t\t/nokrb : KRBファイル出力禁止\n"
    "\t\t/detail: 詳細情報表示\n";
constexpr const char* kEnglishUsage =
    "\n\t Usage : tallowc <filename.mml> [/n /s /lock /nokrb /detail]\n"
    "\t\t/n     : do not optimise the event streams\n"
    "\t\t/s     : keep the intermediate file\n"
    "\t\t/lock  : forbid reverse compilation of the KRB file\n"
    "\t\t/nokrb : compile and print the summary, but write no KRB file\n"
    "\t\t/detail: print the steps of every part after the summary\n"
    "\t\t-h, --help: this text; --version: the version\n";

struct Options {
  std::string sourcePath;
  bool optimize = true;
  bool keepIntermediate = false;
  bool lock = false;
  bool noKrb = false;
  bool detail = false;
};

enum class ParseResult { kRun, kHelp, kVersion, kUnknownSwitch, kTwoSources };

bool hasFileType(const std::string& path, mode_t type) {
  struct stat st;
  return ::stat(toOpenPath(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

bool isRegularFile(const std::string& path) { return hasFileType(path, S_IFREG); }

// Applies one of the five switches; false when `arg` is none of them.
bool applySwitch(const std::string& arg, Options& o) {
  if (arg == "/n")
    o.optimize = false;
  else if (arg == "/s")
    o.keepIntermediate = true;
  else if (arg == "/lock")
    o.lock = true;
  else if (arg == "/nokrb")
    o.noKrb = true;
  else if (arg == "/detail")
    o.detail = true;
  else
    return false;
  return true;
}

// An argument beginning with '/' that is no switch is an absolute source
// path when it holds a second '/' or names an existing regular file; a
// directory such as /tmp is an unknown switch.
bool isAbsoluteSourcePath(const std::string& arg) {
  return arg.find('/', 1) != std::string::npos || isRegularFile(arg);
}

// Reads the arguments in order; the first that is neither a switch nor a
// source path ends the reading (`unknown` keeps it).
ParseResult parseArguments(const std::vector<std::string>& args, Options& o, std::string& unknown) {
  bool haveSource = false;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") return ParseResult::kHelp;
    if (arg == "--version") return ParseResult::kVersion;
    bool switchLike = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
    if (switchLike && applySwitch(arg, o)) continue;
    if (switchLike && (arg[0] == '-' || !isAbsoluteSourcePath(arg))) {
      // A directory such as /tmp is no misspelt switch: it keeps the usage
      // text with status 0 that it always had.
      if (arg[0] == '/' && hasFileType(arg, S_IFDIR)) return ParseResult::kHelp;
      unknown = arg;
      return ParseResult::kUnknownSwitch;
    }
    if (haveSource) return ParseResult::kTwoSources;
    haveSource = true;
    o.sourcePath = arg;
  }
  return ParseResult::kRun;
}

void printSummary(const CompileJob& job, bool detail, OutStream& out) {
  out.write(formatText(out.tr("[ %s のコンパイル結果 ]\n"), job.sourcePath));
  out.write(formatText("Title   : %s\n", job.title));
  out.write(formatText("Artist  : %s\n", job.artist));
  if (!job.fmbName.empty()) out.write(formatText("FMB      : %s.FMB\n", job.fmbName));
  if (!job.pmbName.empty()) out.write(formatText("PMB      : %s.PMB\n", job.pmbName));
  if (!job.wpkName.empty()) out.write(formatText("WPK      : %s.WPK\n", job.wpkName));
  out.write("\n");
  if (detail) {
    out.say("[ このKRBファイルに関する詳細情報 ]\n\n");
    for (int part = 0; part < kPartCount; ++part) {
      out.write(formatText("(%4s) = %6d Step(s)", kPartNames[part], job.partSteps[part]));
      out.write(job.partLoopSteps[part] != 0 ? formatText("(∞=%6d)", job.partLoopSteps[part])
                                             : Text::own(std::string(11, ' ')));
      out.write(part % 2 == 0 ? "\t" : "\n");
    }
  }
  out.write("\n\n");
}

class Run {
 public:
  Run(const Options& options, ProgramContext& program) : o_(options), program_(program) {}
  ~Run() { cleanUp(); }
  int execute();

 private:
  void prepareJob();
  int writeKrb();
  void cleanUp();

  const Options& o_;
  ProgramContext& program_;
  CompileJob job_;
  TempFileGuard intermediateGuard_;  // removes the intermediate file on a signal
};

void Run::prepareJob() {
  setPathField(job_.sourcePath, o_.sourcePath);
  // Moved in, not copied: no allocation may fail between making the file and
  // recording its name, or the file would be left behind.
  std::string intermediate = makeTemporaryFile(program_.env.tmpdir.value_or(""));
  job_.intermediatePath = std::move(intermediate);
  if (!o_.keepIntermediate && !job_.intermediatePath.empty()) {
    intermediateGuard_.watch(job_.intermediatePath);
  }
  job_.logPath.clear();
  setPathField(job_.searchDir, program_.env.krhpath.value_or(""));
  job_.optimize = o_.optimize ? 1 : 0;
  job_.allowDecompile = o_.lock ? 0 : 1;
  job_.deleteIntermediate = o_.keepIntermediate ? 0 : 1;
}

int Run::execute() {
  prepareJob();
  auto start = std::chrono::steady_clock::now();
  int preprocessed = runPreprocessor(job_, program_);
  auto preprocessedAt = std::chrono::steady_clock::now();
  if (program_.stageTimes != nullptr) {
    program_.stageTimes->preprocess = std::chrono::duration<double>(preprocessedAt - start).count();
  }
  if (preprocessed != 0) {
    program_.err->say("プリプロセスエラー\n");
    return 1;
  }
  int compiled = compile(job_, program_);
  if (program_.stageTimes != nullptr) {
    StageTimes& t = *program_.stageTimes;
    t.compile =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - preprocessedAt).count() -
        t.output;
  }
  if (compiled != 0) {
    program_.err->say("コンパイルエラー\n");
    return 1;
  }
  if (job_.warningCount != 0) {
    program_.err->write(
        formatText(program_.err->tr("%d 個の警告がありました\n\n"), job_.warningCount));
  }
  printSummary(job_, o_.detail, *program_.out);
  return o_.noKrb ? 0 : writeKrb();
}

int Run::writeKrb() {
  // Made first, in the stream's encoding, so that nothing can fail between
  // writing the file and saying so.
  std::string done = formatText(program_.out->tr("KRBファイルを生成しました(%s / %d bytes )\n"),
                                job_.outputPath, static_cast<long long>(job_.outputSize))
                         .render(program_.out->encoding());
  if (!writeFileAtomically(job_.outputFilePath, job_.outputImage.data(), job_.outputSize)) {
    program_.err->say("ファイル出力エラー\n");
    return 1;
  }
  program_.out->write(done);
  return 0;
}

void Run::cleanUp() {
  job_.outputImage.reset();
  if (job_.intermediatePath.empty()) return;
  if (job_.deleteIntermediate == 1) {
    ::unlink(job_.intermediatePath.c_str());
  } else if (program_.err->english()) {
    program_.err->write(
        formatText(program_.err->tr("中間ファイル %s を残しました\n"), job_.intermediatePath));
  }
}

// The run of the program, before any allocation failure is caught.
int runProgram(const std::vector<std::string>& args, ProgramContext& program) {
  Options options;
  std::string unknown;
  ParseResult parsed = args.empty() ? ParseResult::kHelp : parseArguments(args, options, unknown);
  if (parsed == ParseResult::kVersion) {
    program.out->write(versionLine("tallowc"));
    return 0;
  }
  program.err->write(kBanner);
  bool english = program.err->english();
  if (parsed == ParseResult::kUnknownSwitch && english) {
    program.err->write(formatText("\ntallowc: %s is not a switch\n", unknown));
  }
  if (parsed == ParseResult::kHelp || parsed == ParseResult::kUnknownSwitch) {
    // The usage text the rules define is said as it stands, not looked up.
    program.err->write(Text::own(english ? kEnglishUsage : kUsage));
    return parsed == ParseResult::kHelp ? 0 : 1;
  }
  if (parsed == ParseResult::kTwoSources) {
    program.err->say("ソースファイルが複数指定されています\n");
    return 1;
  }
  Run run(options, program);
  return run.execute();
}

}  // namespace

int runDriver(const std::vector<std::string>& args, ProgramContext& program) {
  try {
    return runProgram(args, program);
  } catch (const std::bad_alloc&) {
    // The stages report their own allocation failures; this catches one in
    // the driver itself (the run has been cleaned up on the way out).
    program.err->say("メモリが足りません\n");
    return 1;
  }
}

}  // namespace tallow::tools
