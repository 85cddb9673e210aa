// Loops.  An expanded loop "(" body ")N" is repeated by copying its events
// in the stream; a ":" marks where the last pass stops.  A driver loop "@p"
// body "@jN" is written as loop events that the sound driver repeats; a
// count of 0 or 1 makes it endless, which ends the part.  Step counts follow
// the repetitions in both cases (32-bit, wrapping).
#include "mml/loops.h"

#include <cstring>
#include <string>

#include "mml/handlers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

PartLoops& loops(CompileContext& ctx) { return ctx.loops[ctx.currentPart]; }

LoopFrame& innermost(CompileContext& ctx) {
  PartLoops& l = loops(ctx);
  if (l.depth < 0) ctx.error("ループ開始がありません");
  return l.frames[l.depth];
}

void openFrame(CompileContext& ctx, bool expanded) {
  int32_t steps = ctx.part().steps;
  loops(ctx).frames[loops(ctx).depth] = LoopFrame{expanded, steps, steps, 0, 0};
}

void driverEscape(CompileContext& ctx, LoopFrame& frame) {
  if (ctx.settings.krbType != kKrbTypeKr3) ctx.error("非展開ループは途中脱出できません");
  ctx.emitEventHead(kEventLoopEscape);
  if (ctx.scanner.numberFollowsDirectly()) {
    int32_t n = ctx.scanner.readNumber(2, 128);
    frame.escapeOffset = 0;
    frame.escapeCount = n - 1;
    ctx.emitByte(n - 1);
  } else {
    frame.escapeOffset = static_cast<uint32_t>(ctx.track().length());
    frame.escapeCount = 0;
    ctx.emitByte(kEscapePlaceholder);
  }
  ctx.emitWord(0);  // four bytes the driver keeps for itself
  ctx.emitWord(0);
}

// Appends count - 2 copies of the body and one copy of it up to the escape.
void expandLoop(CompileContext& ctx, int32_t count) {
  PartLoops& l = loops(ctx);
  ExpansionFrame& e = l.expansions[l.expansionDepth];
  ByteBuffer& t = ctx.track();
  size_t start = static_cast<size_t>(e.startOffset);
  size_t end = t.length();
  size_t escape = e.escapeOffset < 0 ? end : static_cast<size_t>(e.escapeOffset);
  uint64_t body = end - start;
  uint64_t added = static_cast<uint64_t>(count - 2) * body + (escape - start);
  if (added > kMaxBlockSize) ctx.outOfMemory();
  ctx.reserveTrack(static_cast<size_t>(added));
  for (int32_t i = 0; i < count - 2; ++i) t.putBytes(t.data() + start, body);
  t.putBytes(t.data() + start, escape - start);
  if (ctx.notes) ctx.notes->repeated(ctx.currentPart, start, end, escape, count);
  e = ExpansionFrame{};
  --l.expansionDepth;
}

// The repeat byte of "@j": 1 without a count, N - 1 for N >= 2, else 0.
int32_t repeatByte(CompileContext& ctx) {
  if (!ctx.scanner.numberFollowsDirectly()) return 1;
  int32_t n = ctx.scanner.readNumber(0, 127);
  return n >= 2 ? n - 1 : 0;
}

}  // namespace

void onLoopOpen(CompileContext& ctx) {
  PartLoops& l = loops(ctx);
  if (++l.depth >= kMaxOpenLoops) ctx.error("ループのネストが深すぎます");
  openFrame(ctx, true);
  // Only the English warning says where a "(" left open stands.
  Diagnostics::Place opened = ctx.diag.english() ? ctx.diag.here() : Diagnostics::Place{};
  l.expansions[++l.expansionDepth] = {static_cast<int64_t>(ctx.track().length()), -1,
                                      std::move(opened)};
}

void onDriverLoopOpen(CompileContext& ctx) {
  PartLoops& l = loops(ctx);
  ++l.depth;
  if (++l.driverDepth >= kMaxOpenDriverLoops || l.depth >= kMaxOpenLoops) {
    ctx.error("ループのネストが深すぎます");
  }
  openFrame(ctx, false);
  ctx.emitByte(kEventLoopStart);
}

void onLoopEscape(CompileContext& ctx) {
  LoopFrame& frame = innermost(ctx);
  frame.escapeSteps = ctx.part().steps;
  if (!frame.expanded) {
    driverEscape(ctx, frame);
    return;
  }
  PartLoops& l = loops(ctx);
  l.expansions[l.expansionDepth].escapeOffset = static_cast<int64_t>(ctx.track().length());
  if (ctx.scanner.numberFollowsDirectly()) {
    ctx.error("展開ループ脱出時にはループ回数の指定はできません");
  }
}

void onLoopClose(CompileContext& ctx) {
  LoopFrame& frame = innermost(ctx);
  PartState& p = ctx.part();
  if (!frame.expanded) ctx.error("非展開ループを先に閉じる必要があります");
  if (frame.startSteps == p.steps) ctx.error("ループさせる音階MMLがありません");
  int32_t count = ctx.scanner.numberFollowsDirectly() ? ctx.scanner.readNumber(2, 65535) : 2;
  expandLoop(ctx, count);
  --loops(ctx).depth;
  int64_t base = frame.escapeSteps == frame.startSteps ? p.steps : frame.escapeSteps;
  p.steps = wrapSteps(base + int64_t{wrapSteps(int64_t{p.steps} - frame.startSteps)} * (count - 1));
}

void onDriverLoopClose(CompileContext& ctx) {
  ctx.emitByte(kEventLoopEnd);
  LoopFrame& frame = innermost(ctx);
  PartState& p = ctx.part();
  if (frame.expanded) ctx.error("展開ループを先に閉じる必要があります");
  if (frame.startSteps == p.steps) ctx.error("ループさせる音階MMLがありません");
  int32_t repeat = repeatByte(ctx);
  ctx.emitByte(repeat);
  if (repeat == 0) {
    p.skipRest = 1;
    p.loopSteps = wrapSteps(int64_t{p.steps} - frame.startSteps);
  }
  int64_t base = p.steps;
  int64_t multiplier = repeat;
  if (frame.escapeSteps != frame.startSteps) {
    base = frame.escapeSteps;
    if (frame.escapeOffset != 0) {
      ctx.track().data()[frame.escapeOffset] = static_cast<uint8_t>(repeat);
    } else {
      multiplier = frame.escapeCount;
    }
  }
  --loops(ctx).depth;
  --loops(ctx).driverDepth;
  p.steps = wrapSteps(base + int64_t{wrapSteps(int64_t{p.steps} - frame.startSteps)} * multiplier);
}

// The rules' warning names the part by its index and has no position; in
// English it names the part and the line of its outermost open "(", and the
// editor line points there.
void checkOpenLoops(CompileContext& ctx) {
  for (int part = 0; part < kPartCount; ++part) {
    const PartLoops& l = ctx.loops[part];
    if (l.expansionDepth == -1) continue;
    std::string rules = "トラック " + std::to_string(part) + " のループが閉じていません";
    if (!ctx.diag.english()) {
      ctx.diag.warning(std::string_view(rules), kWarnOrdinary);
      continue;
    }
    const Diagnostics::Place& opened = l.expansions[0].opened;
    std::string english = std::string(kPartNames[part]) + ": the '(' of line " +
                          std::to_string(opened.line) + " is still open at the end of the part";
    ctx.diag.warning(Said(rules, english), kWarnOrdinary, &opened);
  }
}

}  // namespace tallow
