// The compile driver: set-up in a fixed order, the header loop, part lines,
// the finish (unclosed-loop warnings, the output image) and tear-down.
//
// Errors anywhere in a compile throw CompileUnwind to the single unwind point
// in runCompile; an allocation failure of the standard library is reported
// there as "メモリが足りません" like any other failed allocation.
#include "compiler/compile.h"

#include <chrono>
#include <memory>
#include <new>

#include "compiler/context.h"
#include "compiler/header_commands.h"
#include "driver/paths.h"
#include "envelope/envelope.h"
#include "mml/command_table.h"
#include "output/krb_layout.h"
#include "output/loops.h"
#include "scan/cp932.h"

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

void headerLoop(CompileContext& ctx) {
  for (;;) {
    Token token = ctx.scanner.readToken(ctx.headerTable);
    if (token.code == kCodeEndOfFile) return;
    ctx.currentToken = std::move(token);
    int code = ctx.currentToken.code;
    Handler handler =
        code >= 0 && code < kHeaderHandlerCount ? ctx.headerHandlers[code] : partLineHandler;
    handler(ctx);
  }
}

void finish(CompileContext& ctx) {
  checkOpenLoops(ctx);
  buildImage(ctx);
  ctx.job.warningCount = ctx.diag.count();
  for (int part = 0; part < kPartCount; ++part) {
    ctx.job.partSteps[part] = ctx.parts[part].steps;
    ctx.job.partLoopSteps[part] = ctx.parts[part].loopSteps;
  }
}

// Runs the header loop and the finish; returns the unwind value (0 when
// neither raised an error, 1 after `.end`, error code + 1 otherwise).
int guarded(CompileContext& ctx, void (*step)(CompileContext&)) {
  try {
    step(ctx);
    return 0;
  } catch (const CompileUnwind& unwind) {
    return unwind.value;
  } catch (const std::bad_alloc&) {
    ctx.diag.location(-1);
    ctx.diag.message(toCp932("メモリが足りません"));
    return 2;
  }
}

int runCompile(CompileContext& ctx) {
  CompileJob& job = ctx.job;
  installHeaderHandlers(ctx);
  ctx.settings = environmentTemplate();
  installMmlHandlers(ctx);
  resetEnvelopes(ctx);
  ctx.sourceDirectory = directoryPart(job.sourcePath);
  ctx.settings.outputName = defaultOutputName(job.sourcePath);
  ctx.settings.decompile = static_cast<int16_t>(job.allowDecompile & 0xFFFF);
  if (!ctx.diag.open(job.logPath, *ctx.program.out)) return kCannotOpen;
  ctx.diag.setLevel(job.warnLevel);
  ctx.diag.setLimit(job.warnLimit);
  ctx.diag.message(toCp932("[ MML to KRB Compiler 'TC' version 3.19w(KR3対応) ]\n"));
  if (!ctx.scanner.open(job.intermediatePath)) {
    ctx.diag.close();
    return kCannotOpen;
  }
  int unwound = guarded(ctx, headerLoop);
  auto finishing = std::chrono::steady_clock::now();
  if (unwound <= 1) unwound = guarded(ctx, finish);
  if (ctx.program.stageTimes != nullptr) {
    ctx.program.stageTimes->output =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - finishing).count();
  }
  ctx.scanner.close();
  releaseEnvelopes(ctx);
  ctx.diag.close();
  return unwound <= 1 ? 0 : unwound - 1;
}

}  // namespace

int compile(CompileJob& job, ProgramContext& program) {
  std::unique_ptr<CompileContext> ctx;
  try {
    ctx = std::make_unique<CompileContext>(job, program);
  } catch (const std::bad_alloc&) {
    program.out->write(toCp932("メモリが足りません\n"));
    return 1;
  }
  return runCompile(*ctx);
}

void partLineHandler(CompileContext& ctx) {
  const std::string letters = ctx.currentToken.text;
  Scanner::Position start = ctx.scanner.savePosition();
  for (char letter : letters) {
    size_t part = ctx.settings.partLetters.find(letter);
    if (part == std::string::npos || part >= kPartCount) ctx.error("未定義のコマンドです");
    ctx.scanner.restorePosition(start);
    compilePart(ctx, static_cast<int>(part));
  }
}

int compilePart(CompileContext& ctx, int part) {
  ctx.currentPart = part;
  if (ctx.part().skipRest) ctx.scanner.skipLine();
  for (;;) {
    int code = ctx.scanner.lookup(ctx.mml.commands);
    ctx.currentCode = code;
    if (code == kCodeLineEnd) break;
    Handler handler =
        code >= 0 && code < kMmlHandlerCount ? ctx.mmlHandlers[code] : ctx.mmlHandlers[0];
    handler(ctx);
  }
  return kCodeLineEnd;
}

}  // namespace tallow
