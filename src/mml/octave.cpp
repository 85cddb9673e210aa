// Octave, transposition, detune offsets, the default length and the end
// marker "*".  Only "*" writes an event; the others change the values from
// which notes compute their pitch, detune and length.
#include "mml/command_table.h"
#include "mml/handlers.h"
#include "mml/notes.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {

void onOctave(CompileContext& ctx) { ctx.part().octave = ctx.scanner.readNumber(0, 8); }

void onOctaveUp(CompileContext& ctx) {
  if (++ctx.part().octave >= 9) ctx.error("オクターブが上限を超えました");
}

void onOctaveDown(CompileContext& ctx) {
  if (--ctx.part().octave < 0) ctx.error("オクターブが下限を超えました");
}

void onTranspose(CompileContext& ctx) { ctx.part().transpose = ctx.scanner.readNumber(-128, 127); }

void onRelativeTranspose(CompileContext& ctx) {
  int32_t& t = ctx.part().transpose;
  t = static_cast<int32_t>(static_cast<uint32_t>(t) +
                           static_cast<uint32_t>(ctx.scanner.readNumber(-128, 127)));
}

void onSecondTranspose(CompileContext& ctx) {
  ctx.part().secondTranspose = ctx.scanner.readNumber(-128, 127);
}

void onRelativeDetune(CompileContext& ctx) {
  PartState& p = ctx.part();
  p.detune += ctx.scanner.readNumber(-32768, 32767);
  int64_t sum = int64_t{p.detune} + p.secondDetune;
  if (sum > 32767 || sum < -32768) ctx.error("ピッチベンド限界を越えました");
}

void onSecondDetune(CompileContext& ctx) {
  ctx.part().secondDetune = ctx.scanner.readNumber(-32767, 32768);
}

void onDefaultLength(CompileContext& ctx) {
  int next = ctx.scanner.peek(ctx.mml.commands);
  if (next == kCodeNumber || next == kCodeNoMatch) {
    ctx.part().defaultLength = readLength(ctx) / ctx.running.lengthScale;
  } else {
    ctx.part().defaultLength = ctx.settings.zenlen / 4;
  }
}

void onEndMarker(CompileContext& ctx) { ctx.emitByte(kEventEnd); }

}  // namespace tallow
