// Portamento.  After an optional held start, the slide is rendered as a run
// of one-step notes whose detune moves linearly (or by a given increment)
// toward the target.  FM parts slide by note and detune, with a key width of
// 64 while the slide runs when none is set; PCM parts keep one base note and
// move only its detune.  The BEEP part has no portamento.
#include "mml/portamento.h"

#include <algorithm>

#include "events/note_events.h"
#include "mml/command_table.h"
#include "mml/notes.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

// PCM detune units for -12..12 semitones (index + 12).
constexpr int kPcmSemitoneOffset[25] = {-1024, -909, -801, -698, -601, -510, -424, -343, -266,
                                        -194,  -128, -61,  0,    61,   128,  194,  266,  343,
                                        424,   510,  601,  698,  801,  909,  1023};

struct Slide {
  int start;               // P0
  int target;              // T
  int32_t length;          // L
  int32_t hold = 1;        // H
  int64_t increment = 0;   // F
  int64_t divisor = 1;     // G
  int32_t baseOffset = 0;  // D
};

// Reads ">" "<" and the target letter after "_"; returns its pitch.
int readTarget(CompileContext& ctx) {
  for (;;) {
    int code = ctx.scanner.lookup(ctx.mml.commands);
    if (code == kMmlOctaveUp) {
      ++ctx.part().octave;
    } else if (code == kMmlOctaveDown) {
      --ctx.part().octave;
    } else if (isNoteLetter(code)) {
      return notePitch(ctx, code - kMmlNoteC);
    } else {
      ctx.error("目標音階が見つかりません");
    }
  }
}

// Reads the length and up to four parameters after separators.
void readParameters(CompileContext& ctx, Slide& s) {
  s.length = readLength(ctx);
  bool haveOffset = false;
  for (int i = 0; i < 4 && ctx.scanner.lookup(ctx.mml.separator) == kAuxFirst; ++i) {
    if (i == 0) s.hold = std::min(readLength(ctx), s.length);
    if (i == 1) s.increment = ctx.scanner.readNumber(0, 65535);
    if (i == 2) s.divisor = std::max(ctx.scanner.readNumber(0, 65535), 1);
    if (i == 3) s.baseOffset = ctx.scanner.readNumber(-12, 12);
    haveOffset = i == 3;
  }
  if (!haveOffset) {
    const PartState& p = ctx.part();
    int from = p.tieState != TieState::kNone ? p.tiePitch : s.target;
    s.baseOffset = std::clamp(from - s.start, -12, 12);
  }
}

void fmSlide(CompileContext& ctx, Slide s) {
  emitDetune(ctx, s.start, 0);
  emitNote(ctx, s.start, 0, s.hold);
  int16_t saved = ctx.settings.keywidth;
  if (saved == 0) ctx.settings.keywidth = 64;
  int64_t k = ctx.settings.keywidth;
  int64_t steps = s.length - s.hold;
  bool up = s.target > s.start;
  if (steps > 0 && s.increment == 0) {
    s.increment = (up ? s.target - s.start : s.start - s.target) * k;
    s.divisor = 8 * steps;
  }
  int64_t a = s.increment;
  for (int64_t i = 1; i <= steps; ++i, a += s.increment) {
    ctx.emitByte(kEventTie);
    int64_t m = (a / s.divisor) * 8 * (up ? 1 : -1);
    bool reached = up ? s.start + m / k >= s.target : k * s.start + m <= k * s.target;
    if (reached) {
      ctx.settings.keywidth = saved;
      emitDetune(ctx, s.target, 0);
      emitNote(ctx, s.target, 0, static_cast<int32_t>(steps - i + 1));
      return;
    }
    emitDetune(ctx, s.start, m);
    emitNote(ctx, s.start, m, 1);
  }
  ctx.settings.keywidth = saved;
}

void pcmSlide(CompileContext& ctx, Slide s) {
  int base = s.start + s.baseOffset;
  if (base < 0 || base > 127) ctx.error("音程が範囲外です");
  int distance = s.target - base;
  if (distance < -12 || distance > 12)
    ctx.error("指定のベース音程からではポルタメント量が大きすぎます");
  int64_t k = ctx.settings.keywidth;
  int64_t from = k != 0 ? -int64_t{s.baseOffset} * k : kPcmSemitoneOffset[12 - s.baseOffset];
  int64_t to = k != 0 ? distance * k : kPcmSemitoneOffset[12 + distance];
  emitDetune(ctx, base, from);
  emitNote(ctx, base, 0, s.hold);
  if (to - from < 0) s.increment = -s.increment;
  int64_t steps = s.length - s.hold;
  if (s.increment == 0) {
    s.increment = to - from;
    s.divisor = 8 * steps;
  }
  int64_t a = s.increment;
  for (int64_t i = 0; i < steps; ++i, a += s.increment) {
    ctx.emitByte(kEventTie);
    int64_t x = from + (a / s.divisor) * 8;
    if ((s.target < s.start && x < to) || (s.target >= s.start && x > to)) x = to;
    emitDetune(ctx, base, x);
    emitNote(ctx, base, x, 1);
  }
}

}  // namespace

int32_t portamento(CompileContext& ctx, int startPitch) {
  if (ctx.currentPart == kBeepPart) ctx.error("BEEPパートでは使えません");
  ctx.scanner.lookup(ctx.mml.commands);  // the "_"
  Slide s{startPitch, readTarget(ctx), 0};
  readParameters(ctx, s);
  if (ctx.onFmPart()) {
    fmSlide(ctx, s);
  } else {
    pcmSlide(ctx, s);
  }
  PartState& p = ctx.part();
  if (ctx.scanner.peek(ctx.mml.commands) == kMmlTie) {
    ctx.scanner.lookup(ctx.mml.commands);
    p.tieState = TieState::kPortamento;
    p.tiePitch = startPitch + s.baseOffset;
    ctx.running.tieFlag = true;
  } else {
    p.tieState = TieState::kNone;
  }
  return s.length;
}

}  // namespace tallow
