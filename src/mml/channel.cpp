// Commands that set up a part rather than play it: tone selection with its
// copy of the FM voice, raw register writes, the modulation setting "w", the
// small driver settings, the envelope controls "X" "S" "M" and the part
// filters "|" "|!".  Several write another layout in the KR3 format.  The
// event byte of each command is emitted before its arguments are read.
#include <algorithm>

#include "envelope/envelope.h"
#include "mml/command_table.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

bool kr3(const CompileContext& ctx) { return ctx.settings.krbType == kKrbTypeKr3; }

int32_t number(CompileContext& ctx, int32_t low, int32_t high) {
  return ctx.scanner.readNumber(low, high);
}

// The next argument after a parameter separator.
int32_t nextNumber(CompileContext& ctx, int32_t low, int32_t high) {
  ctx.scanner.separator();
  return number(ctx, low, high);
}

// Fills the part's FM voice from record `tone` of the tone table.
void loadVoice(CompileContext& ctx, int tone) {
  const uint8_t* r = ctx.toneTable.data() + kFmbHeaderSize + kToneRecordSize * tone;
  FmVoiceState& v = ctx.fmVoices[ctx.currentPart];
  v.algorithm = r[32] & 7;
  v.feedback = (r[32] >> 3) & 7;
  v.output = (r[33] >> 6) & 3;
  v.ams = (r[33] >> 4) & 3;
  v.pms = r[33] & 7;
  for (int slot = 0; slot < 4; ++slot) {
    int op = kOperatorSlotOrder[slot];
    v.dt[op] = (r[8 + slot] >> 4) & 7;
    v.ml[op] = r[8 + slot] & 15;
    v.tl[op] = r[12 + slot] & 127;
    v.ks[op] = (r[16 + slot] >> 6) & 3;
    v.ar[op] = r[16 + slot] & 31;
    v.am[op] = (r[20 + slot] >> 7) & 1;
    v.dr[op] = r[20 + slot] & 31;
    v.sr[op] = r[24 + slot] & 31;
    v.sl[op] = (r[28 + slot] >> 4) & 15;
    v.rr[op] = r[28 + slot] & 15;
  }
}

void onTone(CompileContext& ctx) {
  ctx.emitByte(0x81);
  int32_t vstart = ctx.settings.vstart;
  int tone = number(ctx, vstart, vstart + 127) - vstart;
  ctx.emitByte(tone);
  if (ctx.settings.panfix != 0) {
    ctx.emitByte(0x93);
    ctx.emitByte(ctx.part().panFixByte & 0xFF);
  }
  if (ctx.onFmPart()) loadVoice(ctx, tone);
}

void onSetting82(CompileContext& ctx) {
  ctx.emitByte(0x82);
  ctx.emitByte(number(ctx, 0, 127));
}

// "@T" and "@L": two values 0..127 after their event byte.
void onTwoByteSetting(CompileContext& ctx) {
  ctx.emitByte(ctx.currentCode == 62 ? 0x87 : 0x88);
  ctx.emitByte(number(ctx, 0, 127));
  ctx.emitByte(nextNumber(ctx, 0, 127));
}

// "@K" and "@S": x, y (scaled by 10 and limited in KR3), z.
void onExtendedSetting(CompileContext& ctx) {
  bool k = ctx.currentCode == 91;
  ctx.emitByte(k ? 0x8B : 0x8E);
  ctx.emitByte(0x03);
  int32_t x = number(ctx, 0, 127);
  int32_t y = nextNumber(ctx, -128, 127);
  int32_t z = nextNumber(ctx, 0, k ? 255 : 15);
  if (kr3(ctx)) y = std::clamp(y * 10, -127, 127);
  ctx.emitByte(x);
  ctx.emitByte(y);
  ctx.emitByte(z);
}

void onSetting98(CompileContext& ctx) {
  ctx.emitByte(0x98);
  ctx.emitByte(0x01);
  ctx.emitByte(number(ctx, 0, 127));
}

void onFilter(CompileContext& ctx) {
  if (!kr3(ctx)) {
    ctx.emitByte(0x92);
    ctx.emitByte(number(ctx, -128, 127));
    return;
  }
  ctx.emitByte(0xA1);
  ctx.emitByte(0x03);
  ctx.emitWord(number(ctx, -128, 127) * 100);
  ctx.emitByte(0x0D);
}

void requireFmPart(CompileContext& ctx) {
  if (!ctx.onFmPart()) ctx.error("FM音源以外では使用できないコマンドです");
}

void onFmSwitch(CompileContext& ctx) {
  requireFmPart(ctx);
  ctx.emitByte(0x8D);
  ctx.emitByte(0x01);
  int32_t n = number(ctx, 0, kr3(ctx) ? 63 : 1);
  if (kr3(ctx)) ctx.running.fmSwitchMask = static_cast<uint16_t>(n);
  ctx.emitByte(n);
}

void onFmChannelSwitch(CompileContext& ctx) {
  requireFmPart(ctx);
  ctx.emitByte(0x8D);
  ctx.emitByte(0x01);
  int32_t n = number(ctx, 0, 1);
  if (!kr3(ctx)) {
    ctx.emitByte(n);
    return;
  }
  uint16_t bit = static_cast<uint16_t>(1u << ctx.currentPart);
  uint16_t& mask = ctx.running.fmSwitchMask;
  mask = static_cast<uint16_t>(n == 1 ? mask | bit : mask & ~bit);
  ctx.emitByte(mask & 0xFF);
}

void onRegister(CompileContext& ctx) {
  ctx.emitByte(0x97);
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(nextNumber(ctx, 0, 255));
  ctx.emitByte(nextNumber(ctx, 0, 255));
}

void onHalfRegister(CompileContext& ctx) {
  ctx.emitByte(0x97);
  ctx.emitByte(ctx.currentPart / 3);
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(nextNumber(ctx, 0, 255));
}

void onLfoDepthSwitch(CompileContext& ctx) { ctx.part().lfoDepthX4 = number(ctx, 0, 1); }

constexpr int kLfoScale[8] = {1, 1, 4, 4, 100, 0, 0, 0};
constexpr int kLfoMinimum[8] = {1, 1, 3, 3, 100, 0, 0, 0};

void modulationKr3(CompileContext& ctx) {
  bool x4 = ctx.part().lfoDepthX4 == 1;
  ctx.emitByte(0x9F);
  ctx.emitByte(0x08);
  int64_t depth = number(ctx, 0, 255) * (x4 ? 4 : 1);
  ctx.emitWord(static_cast<int>(depth));
  int32_t speed = nextNumber(ctx, 0, 127);
  int32_t w = nextNumber(ctx, 0, 60);
  int wave = w & 7;
  int64_t f = speed < 64 ? 64 - speed : 1;
  int64_t e = kLfoScale[wave] * f * depth;
  if (x4) e /= 4;
  if (wave == 2 || wave == 3) e &= 0xFFFE;
  if (e < kLfoMinimum[wave]) e = kLfoMinimum[wave];
  ctx.emitWord(static_cast<int>(e));
  ctx.emitByte(wave);
  ctx.emitByte(nextNumber(ctx, 0, 255));
  ctx.emitByte(0x0F);
  ctx.emitByte((w >> 4) & 3);
}

void onModulation(CompileContext& ctx) {
  if (kr3(ctx)) {
    modulationKr3(ctx);
    return;
  }
  ctx.emitByte(0x85);
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(127 - nextNumber(ctx, 0, 127));
  ctx.emitByte(nextNumber(ctx, 0, 60));
  ctx.emitByte(nextNumber(ctx, 0, 255));
  ctx.emitByte(ctx.part().lfoDepthX4 & 0xFF);
  ctx.emitByte(0);
}

void onEnvelopeSelect(CompileContext& ctx) {
  int32_t n = number(ctx, 0, 127);
  ctx.part().envelopeNumber = n;
  if (n != 0) {
    selectEnvelope(ctx, n - 1);
    resetEnvelopeRun(ctx, ctx.currentPart);
  }
  ctx.part().envelopeRestart = 1;
}

void onEnvelopeTimeUnit(CompileContext& ctx) {
  int32_t n = number(ctx, 0, 256);
  ctx.envelopes.runs[ctx.currentPart].timeUnit = n;
  ctx.part().envelopeRestart = n != 0 ? 1 : 0;
}

void onEnvelopeRestart(CompileContext& ctx) { ctx.part().envelopeRestart = number(ctx, 0, 2); }

void onCode147(CompileContext& ctx) { ctx.part().code147Value = number(ctx, 1, 256); }

// Whether the run of part letters after "|" or "|!" names the current part.
bool namesCurrentPart(CompileContext& ctx, const std::string& letters) {
  const std::string& all = ctx.settings.partLetters;
  size_t part = static_cast<size_t>(ctx.currentPart);
  return part < all.size() && letters.find(all[part]) != std::string::npos;
}

void onPartFilter(CompileContext& ctx) {
  std::string letters = ctx.scanner.collect(ctx.settings.partLetters);
  if (!letters.empty() && !namesCurrentPart(ctx, letters)) ctx.scanner.skipToBar();
}

void onPartExclusion(CompileContext& ctx) {
  std::string letters = ctx.scanner.collect(ctx.settings.partLetters);
  if (letters.empty() || namesCurrentPart(ctx, letters)) ctx.scanner.skipToBar();
}

}  // namespace

void installChannelHandlers(MmlHandlerTable& table) {
  table[88] = onTone;
  table[94] = onSetting82;
  table[62] = onTwoByteSetting;
  table[64] = onTwoByteSetting;
  table[91] = onExtendedSetting;
  table[92] = onExtendedSetting;
  table[123] = onSetting98;
  table[93] = onFilter;
  table[108] = onFmSwitch;
  table[163] = onFmChannelSwitch;
  table[109] = onRegister;
  table[110] = onHalfRegister;
  table[89] = onLfoDepthSwitch;
  table[90] = onModulation;
  table[97] = onEnvelopeSelect;
  table[99] = onEnvelopeTimeUnit;
  table[98] = onEnvelopeRestart;
  table[147] = onCode147;
  table[56] = onPartFilter;
  table[57] = onPartExclusion;
}

}  // namespace tallow
