// Octave, transposition, detune offsets, the default length and the end
// marker "*".  Only "*" writes an event; the others change the values from
// which notes compute their pitch, detune and length.
#include "mml/command_table.h"
#include "mml/notes.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

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

void onTranspose2(CompileContext& ctx) {
  ctx.part().transpose2 = ctx.scanner.readNumber(-128, 127);
}

void onRelativeDetune(CompileContext& ctx) {
  PartState& p = ctx.part();
  p.detune += ctx.scanner.readNumber(-32768, 32767);
  int64_t sum = int64_t{p.detune} + p.detune2;
  if (sum > 32767 || sum < -32768) ctx.error("ピッチベンド限界を越えました");
}

void onDetune2(CompileContext& ctx) { ctx.part().detune2 = ctx.scanner.readNumber(-32767, 32768); }

void onDefaultLength(CompileContext& ctx) {
  int next = ctx.scanner.peek(ctx.mml.commands);
  if (next == kCodeNumber || next == kCodeNoMatch) {
    ctx.part().defaultLength = readLength(ctx) / ctx.running.lengthScale;
  } else {
    ctx.part().defaultLength = ctx.settings.zenlen / 4;
  }
}

void onEndMarker(CompileContext& ctx) { ctx.emitByte(0xFF); }

}  // namespace

void installOctaveHandlers(MmlHandlerTable& table) {
  table[49] = onOctave;
  table[50] = onOctaveUp;
  table[51] = onOctaveDown;
  table[104] = onTranspose;
  table[105] = onRelativeTranspose;
  table[106] = onTranspose2;
  table[101] = onRelativeDetune;
  table[102] = onDetune2;
  table[63] = onDefaultLength;
  table[201] = onEndMarker;
}

}  // namespace tallow
