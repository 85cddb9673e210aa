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

using Field = uint8_t& (*)(FmVoiceState&, int op);
using Compose = int (*)(const FmVoiceState&, int op);

struct FmCommand {
  MmlCode code;
  bool perOperator;
  int32_t high;
  uint8_t base;  // the register group
  Field field;
  Compose compose;
};

uint8_t& algorithm(FmVoiceState& v, int) { return v.algorithm; }
uint8_t& feedback(FmVoiceState& v, int) { return v.feedback; }
uint8_t& ams(FmVoiceState& v, int) { return v.ams; }
uint8_t& pms(FmVoiceState& v, int) { return v.pms; }
uint8_t& dt(FmVoiceState& v, int op) { return v.dt[op]; }
uint8_t& ml(FmVoiceState& v, int op) { return v.ml[op]; }
uint8_t& tl(FmVoiceState& v, int op) { return v.tl[op]; }
uint8_t& ks(FmVoiceState& v, int op) { return v.ks[op]; }
uint8_t& ar(FmVoiceState& v, int op) { return v.ar[op]; }
uint8_t& am(FmVoiceState& v, int op) { return v.am[op]; }
uint8_t& dr(FmVoiceState& v, int op) { return v.dr[op]; }
uint8_t& sr(FmVoiceState& v, int op) { return v.sr[op]; }
uint8_t& eg(FmVoiceState& v, int op) { return v.eg[op]; }

int feedbackAlgorithm(const FmVoiceState& v, int) { return v.algorithm + 8 * v.feedback; }
int outputModulation(const FmVoiceState& v, int) { return 64 * v.output + 16 * v.ams + v.pms; }
int detuneMultiple(const FmVoiceState& v, int op) { return 16 * v.dt[op] + v.ml[op]; }
int totalLevel(const FmVoiceState& v, int op) { return v.tl[op]; }
int keyScaleAttack(const FmVoiceState& v, int op) { return 64 * v.ks[op] + v.ar[op]; }
int modulationDecay(const FmVoiceState& v, int op) { return 128 * v.am[op] + v.dr[op]; }
int sustainRate(const FmVoiceState& v, int op) { return v.sr[op]; }
int envelopeGenerator(const FmVoiceState& v, int op) { return v.eg[op]; }

constexpr FmCommand kFmCommands[] = {
    {kMmlAlgorithm, false, 7, fm_register::kFeedbackAlgorithm, algorithm, feedbackAlgorithm},
    {kMmlFeedback, false, 7, fm_register::kFeedbackAlgorithm, feedback, feedbackAlgorithm},
    {kMmlAms, false, 3, fm_register::kOutputModulation, ams, outputModulation},
    {kMmlPms, false, 7, fm_register::kOutputModulation, pms, outputModulation},
    {kMmlOperatorDetune, true, 7, fm_register::kDetuneMultiple, dt, detuneMultiple},
    {kMmlMultiple, true, 15, fm_register::kDetuneMultiple, ml, detuneMultiple},
    {kMmlTotalLevel, true, 127, fm_register::kTotalLevel, tl, totalLevel},
    {kMmlKeyScale, true, 3, fm_register::kKeyScaleAttack, ks, keyScaleAttack},
    {kMmlAttackRate, true, 31, fm_register::kKeyScaleAttack, ar, keyScaleAttack},
    {kMmlAmEnable, true, 1, fm_register::kAmDecay, am, modulationDecay},
    {kMmlDecayRate, true, 31, fm_register::kAmDecay, dr, modulationDecay},
    {kMmlSustainRate, true, 31, fm_register::kSustainRate, sr, sustainRate},
    {kMmlSsgEnvelope, true, 15, fm_register::kSsgEnvelope, eg, envelopeGenerator},
};

void apply(CompileContext& ctx, const FmCommand& c) {
  int op = 0;
  if (c.perOperator) {
    op = ctx.scanner.readNumber(1, 4) - 1;
    ctx.scanner.separator();
  }
  int32_t value = ctx.scanner.readNumber(0, c.high);
  if (!ctx.onFmPart()) return;
  int part = ctx.currentPart;
  FmVoiceState& voice = ctx.fmVoices[part];
  c.field(voice, op) = static_cast<uint8_t>(value);
  int reg = c.perOperator ? operatorRegister(c.base, kOperatorSlotOrder[op], fmChannel(part))
                          : c.base + fmChannel(part);
  ctx.emitByte(kEventRegister);
  ctx.emitByte(fmHalf(part));
  ctx.emitByte(reg);
  ctx.emitByte(c.compose(voice, op));
}

}  // namespace

void onFmParameter(CompileContext& ctx) {
  for (const FmCommand& c : kFmCommands) {
    if (c.code == ctx.currentCode) apply(ctx, c);
  }
}

}  // namespace tallow
