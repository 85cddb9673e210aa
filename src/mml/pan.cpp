// Pan commands and the volume scale.  A pan event 0x93 carries a byte from
// 0 (left) over 64 (centre) to 127 (right); the byte is remembered for
// re-emission after tone changes and, on an FM part, sets the channel's
// left/right output bits.
#include "mml/command_table.h"
#include "mml/handlers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

// One pan command: its optional number, and the pan byte and FM output bits
// it gives.
struct PanCommand {
  int32_t low, high, fallback;
  int base, step;  // pan byte = base + step * n
  uint8_t output;
};

constexpr PanCommand kCentre = {-64, 63, 0, 64, 1, kOutputBoth};
constexpr PanCommand kLeft = {0, 15, 15, 60, -4, kOutputLeft};
constexpr PanCommand kRight = {0, 15, 15, 67, 4, kOutputRight};

void pan(CompileContext& ctx, const PanCommand& c) {
  int32_t n =
      ctx.scanner.numberFollowsDirectly() ? ctx.scanner.readNumber(c.low, c.high) : c.fallback;
  int value = c.base + c.step * n;
  ctx.emitByte(kEventPan);
  ctx.emitByte(value);
  ctx.part().panFixByte = value;
  if (ctx.onFmPart()) ctx.fmVoices[ctx.currentPart].output = c.output;
}

}  // namespace

void onPanCentre(CompileContext& ctx) { pan(ctx, kCentre); }
void onPanLeft(CompileContext& ctx) { pan(ctx, kLeft); }
void onPanRight(CompileContext& ctx) { pan(ctx, kRight); }

void onVolumeScale(CompileContext& ctx) { ctx.part().volumeScale = ctx.scanner.readNumber(0, 200); }

}  // namespace tallow
