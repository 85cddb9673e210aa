// Tempo commands.  None emits a tempo: each computes the timer value that
// makes one step last the right time at the current whole-note length and
// emits it as event 0x80 with a 16-bit value.  The tempo and the timer
// value relate by (1024 - value) = 13333333 / (tempo * zenlen).
#include <cmath>
#include <cstdlib>

#include "mml/handlers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int64_t kTimerConstant = 13333333;
constexpr int32_t kLowestTempo = 30;  // the range of "t" in beats per minute
constexpr int32_t kHighestTempo = 300;

int64_t zenlen(const CompileContext& ctx) { return ctx.settings.zenlen; }

// The tempo for timer value `value` with `base` (1024 for timer A, 256 for B).
int16_t tempoOf(const CompileContext& ctx, int64_t base, int64_t value) {
  return static_cast<int16_t>(kTimerConstant / ((base - value) * zenlen(ctx)));
}

// Emits the timer value for `tempo` (not positive or out of reach: an error).
void emitTempo(CompileContext& ctx, int64_t tempo) {
  int64_t value = tempo <= 0 ? 0 : 1024 - kTimerConstant / (tempo * zenlen(ctx));
  if (value <= 0 || value > 1023) ctx.error("このテンポに対応するタイマ値を設定できません");
  ctx.running.timerValue = static_cast<int16_t>(value);
  ctx.emitWord(static_cast<int>(value));
  ctx.running.lengthScale = 1;
}

// The timer value for a value `a` of another timer clock, found by search:
// the first candidate with the smallest error, from the larger values down.
int32_t searchTimerValue(const CompileContext& ctx, int32_t a) {
  double target = (256.0 - a) * 192 * 12 / 8888;
  double clock = 1536000.0 / static_cast<double>(zenlen(ctx));
  int64_t best = 99999999;
  int32_t found = a;
  for (int32_t i = 0, m = 1024; m >= 2; ++i, --m) {
    int64_t error = std::llabs(static_cast<int64_t>(target - m * 12.0 * 12.0 / clock));
    if (error < best) {
      best = error;
      found = i;
    }
  }
  return found;
}

// "T" with a value that reads as a tempo in beats per minute: in other
// dialects T is the tempo, here it is the timer value.
void adviseTempoHabit(CompileContext& ctx, int32_t n) {
  std::string english = formatText("T%d sets the timer value", n).utf8() +
                        formatText(" (%d BPM); ", tempoOf(ctx, 1024, n)).utf8() +
                        formatText("for %d BPM write ", n).utf8() + formatText("t%d", n).utf8();
  ctx.diag.advise(Said("T はタイマ値です", english));
}

}  // namespace

void onTempo(CompileContext& ctx) {
  ctx.emitByte(kEventTempo);
  int32_t n = ctx.scanner.readNumber(kLowestTempo, kHighestTempo);
  ctx.part().tempoOffset = 0;
  ctx.running.currentTempo = static_cast<int16_t>(n);
  emitTempo(ctx, n);
}

void onTimerA(CompileContext& ctx) {
  ctx.emitByte(kEventTempo);
  int32_t n = ctx.scanner.readNumber(0, 1023);
  if (ctx.diag.advising() && n >= kLowestTempo && n <= kHighestTempo) adviseTempoHabit(ctx, n);
  ctx.part().tempoOffset = 0;
  ctx.running.timerValue = static_cast<int16_t>(n);
  ctx.running.currentTempo = tempoOf(ctx, 1024, n);
  ctx.emitWord(n);
  ctx.running.lengthScale = 1;
}

void onTimerB(CompileContext& ctx) {
  ctx.emitByte(kEventTempo);
  int32_t n = ctx.scanner.readNumber(0, 255);
  ctx.running.timerValue = static_cast<int16_t>(4 * n);
  ctx.running.currentTempo = tempoOf(ctx, 256, n);
  ctx.emitWord(4 * n);
  ctx.running.lengthScale = 4;
}

void onRelativeTempo(CompileContext& ctx) {
  ctx.emitByte(kEventTempo);
  int32_t n = ctx.scanner.readNumber(-256, 255);
  int32_t& offset = ctx.part().tempoOffset;
  offset =
      n == 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(offset) + static_cast<uint32_t>(n));
  emitTempo(ctx, int64_t{ctx.running.currentTempo} + offset);
}

void onOtherClockTempo(CompileContext& ctx) {
  ctx.emitByte(kEventTempo);
  int32_t value = searchTimerValue(ctx, ctx.scanner.readNumber(20, 4883));
  ctx.part().tempoOffset = 0;
  ctx.running.timerValue = static_cast<int16_t>(value);
  ctx.running.currentTempo = tempoOf(ctx, 1024, value);
  ctx.emitWord(value);
  ctx.running.lengthScale = 1;
}

}  // namespace tallow
