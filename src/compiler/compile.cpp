// The compile driver: set-up in a fixed order, the header loop, part lines,
// the passes after the last line and tear-down.
//
// Errors anywhere in a compile throw CompileUnwind to the single unwind point
// in runCompile; an allocation failure of the standard library is reported
// there as "メモリが足りません" like any other failed allocation.
#include "compiler/compile.h"

#include <chrono>
#include <memory>
#include <new>
#include <vector>

#include "base/paths.h"
#include "compiler/header_commands.h"
#include "envelope/envelope.h"
#include "mml/command_table.h"
#include "mml/loops.h"
#include "output/krb_layout.h"
#include "output/optimizer.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int kCannotOpen = 255;

// The source path cut at the last '.' of its file name, with ".krb".
std::string defaultOutputName(const std::string& sourcePath) {
  std::string_view name = fileNamePart(sourcePath);
  size_t dot = name.rfind('.');
  size_t end =
      dot == std::string_view::npos ? sourcePath.size() : sourcePath.size() - name.size() + dot;
  return sourcePath.substr(0, end) + ".krb";
}

// Fills the tables and the state a compile starts from, in a fixed order.
void setUp(CompileContext& ctx) {
  ctx.headerTable = makeHeaderTable();
  installHeaderHandlers(ctx);
  ctx.settings = environmentTemplate();
  ctx.mml = makeMmlTables();
  installMmlHandlers(ctx);
  ctx.emlTable = makeEmlTable();
  resetEnvelopes(ctx);
  ctx.sourceDirectory = directoryPart(ctx.job.sourcePath);
  ctx.settings.outputName = defaultOutputName(ctx.job.sourcePath);
  ctx.settings.decompile = static_cast<int16_t>(ctx.job.allowDecompile & 0xFFFF);
  if (ctx.job.notePositions != nullptr) {
    *ctx.job.notePositions = NotePositions{};
    ctx.notes = std::make_unique<NoteRecorder>(*ctx.job.notePositions);
  }
}

void headerLoop(CompileContext& ctx) {
  while (!ctx.endOfSource) {
    Token token = ctx.scanner.readToken(ctx.headerTable);
    if (token.code == kCodeEndOfFile) return;
    ctx.currentToken = std::move(token);
    int code = ctx.currentToken.code;
    Handler handler =
        code >= 0 && code < kHeaderHandlerCount ? ctx.headerHandlers[code] : partLineHandler;
    handler(ctx);
  }
}

KrbHeaderFields headerFields(const HeaderSettings& s) {
  return KrbHeaderFields{.kr3 = s.krbType == kKrbTypeKr3,
                         .title = s.title,
                         .artist = s.artist,
                         .fmbName = s.fmbName,
                         .pmbName = s.pmbName,
                         .wpkName = s.wpkName,
                         .soundUse = s.soundUse,
                         .zenlen = s.zenlen,
                         .reverseCompilationPermitted = s.decompile != 0,
                         .playCount = s.playCount};
}

// The results the driver prints and writes, into the job.
void reportResults(CompileContext& ctx) {
  const HeaderSettings& s = ctx.settings;
  CompileJob& job = ctx.job;
  setPathField(job.outputPath, upperFileName(s.outputName));
  job.outputFilePath = toOpenPath(job.outputPath);
  job.outputSize = static_cast<uint32_t>(job.outputImage.size());
  job.title = s.title;
  job.artist = s.artist;
  job.fmbName = upperLetters(s.fmbName);
  job.pmbName = upperLetters(s.pmbName);
  job.wpkName = upperLetters(s.wpkName);
  job.soundUse = s.soundUse;
  job.wholeNoteTicks = s.zenlen;
  job.allowDecompile = s.decompile;
  job.warningCount = ctx.diag.count();
  for (int part = 0; part < kPartCount; ++part) {
    job.partSteps[part] = ctx.parts[part].steps;
    job.partLoopSteps[part] = ctx.parts[part].loopSteps;
  }
}

// Advice when the parts that play end at different steps: the check the
// /detail table leaves to the eye, said once.
void adviseOnPartLengths(CompileContext& ctx) {
  std::string lengths;
  int32_t first = 0;
  bool apart = false;
  for (int part = 0; part < kPartCount; ++part) {
    int32_t steps = ctx.parts[part].steps;
    if (steps == 0) continue;
    if (first == 0) first = steps;
    apart = apart || steps != first;
    lengths += formatText(lengths.empty() ? "%s %d" : ", %s %d", kPartNames[part], steps).utf8();
  }
  if (!apart) return;
  ctx.diag.adviseUnplaced(
      Said("パートの長さが揃っていません", "the parts end at different steps: " + lengths));
}

// The passes after the last line, in order: warn about loops still open;
// for each part, end its stream and optimise it twice (unless /n); lay out
// the image; report the results.
void finish(CompileContext& ctx) {
  checkOpenLoops(ctx);
  if (ctx.diag.advising()) adviseOnPartLengths(ctx);
  for (int part = 0; part < kPartCount; ++part) {
    ctx.currentPart = part;
    ByteBuffer& stream = ctx.tracks[part];
    if (!endStream(stream)) ctx.outOfMemory();
    if (ctx.job.optimize) {  // two passes, the second over the first's result
      std::vector<uint8_t> before;
      if (ctx.notes) before.assign(stream.data(), stream.data() + stream.length());
      size_t length = optimizeStreamTwice(stream.data(), stream.length());
      if (length == 0) ctx.error("最適化に失敗しました");
      stream.setLength(length);
      if (ctx.notes) ctx.notes->optimized(part, before, {stream.data(), length});
    }
  }
  if (!layOutImage(headerFields(ctx.settings), ctx.tracks, *ctx.program.allocator,
                   ctx.job.outputImage)) {
    ctx.outOfMemory();
  }
  if (ctx.notes) ctx.notes->laidOut();
  reportResults(ctx);
}

// Runs one stage under the unwind point; returns 0, or the code of the
// error that ended it.
int guarded(CompileContext& ctx, void (*stage)(CompileContext&)) {
  try {
    stage(ctx);
    return 0;
  } catch (const CompileUnwind& unwind) {
    return unwind.code;
  } catch (const std::bad_alloc&) {
    ctx.diag.reportError("メモリが足りません");
    return 1;
  }
}

int runCompile(CompileContext& ctx) {
  CompileJob& job = ctx.job;
  setUp(ctx);
  if (!ctx.diag.open(job.logPath, *ctx.program.out)) return kCannotOpen;
  ctx.diag.setLevel(job.warnLevel);
  ctx.diag.setLimit(job.warnLimit);
  if (ctx.program.editorDiagnostics) {
    ctx.diag.setEditorLines(ctx.program.err, job.sourcePath);
    ctx.scanner.setColumnMaps(&job.columnMaps);
  }
  ctx.diag.message("[ MML to KRB Compiler 'TC' version 3.19w(KR3対応) ]\n");
  if (!ctx.scanner.open(job.intermediatePath)) {
    ctx.diag.close();
    return kCannotOpen;
  }
  int failed = guarded(ctx, headerLoop);
  auto finishing = std::chrono::steady_clock::now();
  if (failed == 0) failed = guarded(ctx, finish);
  if (ctx.program.stageTimes != nullptr) {
    ctx.program.stageTimes->output =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - finishing).count();
  }
  ctx.scanner.close();
  if (failed != 0 && job.notePositions != nullptr) *job.notePositions = NotePositions{};
  releaseEnvelopes(ctx);
  ctx.diag.close();
  return failed;
}

// Where the command just looked up stands in the sources: its first byte,
// through the preprocessor's column maps (a command from a macro stands
// where the macro was used).
SourcePlace commandPlace(CompileContext& ctx) {
  const Scanner& s = ctx.scanner;
  return ctx.notes->place(s.fileName(), s.fileNameChanges(), s.lineCounter() - 1, s.commandStart(),
                          ctx.job.columnMaps);
}

// Runs a command's handler and records the sounding events it wrote.
void recordNotesOf(CompileContext& ctx, Handler handler) {
  SourcePlace place = commandPlace(ctx);
  handler(ctx);
  ctx.notes->appended(ctx.currentPart, ctx.track(), place);
}

[[noreturn]] void unknownPartLetter(CompileContext& ctx, const std::string& word) {
  std::string english;
  if (ctx.diag.english()) {
    english = formatText("'%s' is neither a header command nor a run of part letters", word).utf8();
  }
  ctx.error(Said("未定義のコマンドです", english));
}

}  // namespace

int compile(CompileJob& job, ProgramContext& program) {
  std::unique_ptr<CompileContext> ctx;
  try {
    ctx = std::make_unique<CompileContext>(job, program);
    return runCompile(*ctx);
  } catch (const std::bad_alloc&) {
    program.out->say("メモリが足りません\n");
    return 1;
  }
}

void partLineHandler(CompileContext& ctx) {
  const std::string letters = ctx.currentToken.text;
  Scanner::Position start = ctx.scanner.savePosition();
  for (char letter : letters) {
    size_t part = ctx.settings.partLetters.find(letter);
    if (part == std::string::npos || part >= kPartCount) unknownPartLetter(ctx, letters);
    ctx.scanner.restorePosition(start);
    compilePart(ctx, static_cast<int>(part));
  }
}

int compilePart(CompileContext& ctx, int part) {
  ctx.currentPart = part;
  if (ctx.part().skipRest) ctx.scanner.skipLine();
  for (;;) {
    ctx.scanner.markCommand();
    int code = ctx.scanner.lookupCommand(ctx.mml.commands);
    ctx.currentCode = code;
    if (code == kCodeLineEnd) break;
    Handler handler =
        code >= 0 && code < kMmlHandlerCount ? ctx.mmlHandlers[code] : ctx.mmlHandlers[0];
    if (ctx.notes) [[unlikely]] {
      recordNotesOf(ctx, handler);
    } else {
      handler(ctx);
    }
  }
  return kCodeLineEnd;
}

}  // namespace tallow
