// FM operator parameters.  Each command changes one parameter of the current
// FM part's voice and writes the whole register byte that holds it, rebuilt
// from the stored neighbours, as a register-write event 0x97.  On other
// parts the arguments are read and checked, and nothing else happens.
#include "mml/command_table.h"
#include "mml/handlers.h"
#include "output/fm_registers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

struct FmCommand {
  MmlCode code;
  FmField field;  // its value runs from 0 to the field's maximum
};

namespace f = fm_field;

constexpr FmCommand kFmCommands[] = {
    {kMmlAlgorithm, f::kAlgorithm},
    {kMmlFeedback, f::kFeedback},
    {kMmlAms, f::kAms},
    {kMmlPms, f::kPms},
    {kMmlOperatorDetune, f::kDetune},
    {kMmlMultiple, f::kMultiple},
    {kMmlTotalLevel, f::kTotalLevel},
    {kMmlKeyScale, f::kKeyScale},
    {kMmlAttackRate, f::kAttackRate},
    {kMmlAmEnable, f::kAmEnable},
    {kMmlDecayRate, f::kDecayRate},
    {kMmlSustainRate, f::kSustainRate},
    {kMmlSsgEnvelope, f::kSsgEnvelope},
};

void apply(CompileContext& ctx, const FmCommand& c) {
  int op = 0;
  if (c.field.perOperator) {
    op = ctx.scanner.readNumber(1, 4) - 1;
    ctx.scanner.separator();
  }
  int32_t value = ctx.scanner.readNumber(0, c.field.maximum());
  if (!ctx.onFmPart()) return;
  int part = ctx.currentPart;
  FmVoiceState& voice = ctx.fmVoices[part];
  voiceValue(voice, c.field, op) = static_cast<uint8_t>(value);
  int base = c.field.base;
  int reg = c.field.perOperator ? operatorRegister(base, kOperatorSlotOrder[op], fmChannel(part))
                                : base + fmChannel(part);
  ctx.emitByte(kEventRegister);
  ctx.emitByte(fmHalf(part));
  ctx.emitByte(reg);
  ctx.emitByte(voiceRegister(voice, base, op));
}

}  // namespace

void onFmParameter(CompileContext& ctx) {
  for (const FmCommand& c : kFmCommands) {
    if (c.code == ctx.currentCode) apply(ctx, c);
  }
}

}  // namespace tallow
