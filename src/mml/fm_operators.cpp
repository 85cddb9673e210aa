// FM operator parameters.  Each command changes one parameter of the current
// FM part's voice and writes the whole register byte that holds it, rebuilt
// from the stored neighbours, as a register-write event 0x97.  On other
// parts the arguments are read and checked, and nothing else happens.
#include "mml/command_table.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

using Field = uint8_t& (*)(FmVoiceState&, int op);
using Compose = int (*)(const FmVoiceState&, int op);

struct FmCommand {
  int code;
  bool perOperator;
  int32_t high;
  int base;
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
    {129, false, 7, 0xB0, algorithm, feedbackAlgorithm},
    {128, false, 7, 0xB0, feedback, feedbackAlgorithm},
    {139, false, 3, 0xB4, ams, outputModulation},
    {140, false, 7, 0xB4, pms, outputModulation},
    {130, true, 7, 0x30, dt, detuneMultiple},
    {131, true, 15, 0x30, ml, detuneMultiple},
    {132, true, 127, 0x40, tl, totalLevel},
    {133, true, 3, 0x50, ks, keyScaleAttack},
    {134, true, 31, 0x50, ar, keyScaleAttack},
    {135, true, 1, 0x60, am, modulationDecay},
    {136, true, 31, 0x60, dr, modulationDecay},
    {137, true, 31, 0x70, sr, sustainRate},
    {138, true, 15, 0x90, eg, envelopeGenerator},
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
  int slotTerm = c.perOperator ? 4 * kOperatorSlotOrder[op] : 0;
  ctx.emitByte(0x97);
  ctx.emitByte(part / 3);
  ctx.emitByte(c.base + slotTerm + part % 3);
  ctx.emitByte(c.compose(voice, op));
}

void onFmParameter(CompileContext& ctx) {
  for (const FmCommand& c : kFmCommands) {
    if (c.code == ctx.currentCode) apply(ctx, c);
  }
}

}  // namespace

void installFmOperatorHandlers(MmlHandlerTable& table) {
  for (const FmCommand& c : kFmCommands) table[c.code] = onFmParameter;
}

}  // namespace tallow
