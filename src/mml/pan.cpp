// Pan commands and the volume scale.  A pan event 0x93 carries a byte from
// 0 (left) over 64 (centre) to 127 (right); the byte is remembered for
// re-emission after tone changes and, on an FM part, sets the channel's
// left/right output bits.
#include "mml/command_table.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

struct PanCommand {
  int code;
  int32_t low, high, fallback;
  int base, step;  // pan byte = base + step * n
  uint8_t output;  // FM output bits: 3 both, 2 left, 1 right
};

constexpr PanCommand kPanCommands[] = {
    {120, -64, 63, 0, 64, 1, 3},
    {122, 0, 15, 15, 60, -4, 2},
    {121, 0, 15, 15, 67, 4, 1},
};

void onPan(CompileContext& ctx) {
  for (const PanCommand& c : kPanCommands) {
    if (c.code != ctx.currentCode) continue;
    int32_t n =
        ctx.scanner.numberFollowsDirectly() ? ctx.scanner.readNumber(c.low, c.high) : c.fallback;
    int value = c.base + c.step * n;
    ctx.emitByte(0x93);
    ctx.emitByte(value);
    ctx.part().panFixByte = value;
    if (ctx.onFmPart()) ctx.fmVoices[ctx.currentPart].output = c.output;
  }
}

void onVolumeScale(CompileContext& ctx) { ctx.part().volumeScale = ctx.scanner.readNumber(0, 200); }

}  // namespace

void installPanHandlers(MmlHandlerTable& table) {
  for (const PanCommand& c : kPanCommands) table[c.code] = onPan;
  table[200] = onVolumeScale;
}

}  // namespace tallow
