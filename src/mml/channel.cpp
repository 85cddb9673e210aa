// Commands that set up a part rather than play it: tone selection with its
// copy of the FM voice, raw register writes, the modulation setting "w", the
// small driver settings, the envelope controls "X" "S" "M" and the part
// filters "|" "|!".  Several write another layout in the KR3 format.  The
// event byte of each command is emitted before its arguments are read.
#include <algorithm>

#include "envelope/envelope.h"
#include "mml/command_table.h"
#include "mml/handlers.h"
#include "output/fm_registers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

bool kr3(const CompileContext& ctx) { return ctx.settings.krbType == kKrbTypeKr3; }

int32_t number(CompileContext& ctx, int32_t low, int32_t high) {
  return ctx.scanner.readNumber(low, high);
}

// Two values 0..127 after the event byte ("@T", "@L").
void twoValueSetting(CompileContext& ctx, uint8_t code) {
  ctx.emitByte(code);
  ctx.emitByte(number(ctx, 0, 127));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 127));
}

// "@K" and "@S": x, y (scaled by 10 and limited in KR3), z up to `zHigh`.
void extendedSetting(CompileContext& ctx, uint8_t code, int32_t zHigh) {
  ctx.emitEventHead(code);
  int32_t x = number(ctx, 0, 127);
  int32_t y = ctx.scanner.readNextNumber(-128, 127);
  int32_t z = ctx.scanner.readNextNumber(0, zHigh);
  if (kr3(ctx)) y = std::clamp(y * 10, -127, 127);
  ctx.emitByte(x);
  ctx.emitByte(y);
  ctx.emitByte(z);
}

// The last byte of "@f" in the KR3 form: the filter's default of "@FD".
constexpr int kFilterDefault = 13;

void requireFmPart(CompileContext& ctx) {
  if (!ctx.onFmPart()) ctx.error("FM音源以外では使用できないコマンドです");
}

// Advice on a tone select that compiles but cannot sound: a tone the bank
// this source wrote does not hold, or a tone with neither output on.
void adviseOnTone(CompileContext& ctx, int tone) {
  const std::optional<std::bitset<kBankToneSlots>>& defined = ctx.job.tonesDefined;
  std::string command(ctx.scanner.commandText());
  if (defined && !defined->test(static_cast<size_t>(tone))) {
    ctx.diag.advise(Said("音色が定義されていません",
                         command + ": the bank this source writes defines no such tone"));
    return;
  }
  const uint8_t* r = ctx.toneTable.data() + toneRecordOffset(static_cast<size_t>(tone));
  bool stored = defined || std::any_of(r, r + kToneRecordSize, [](uint8_t b) { return b != 0; });
  if (stored && ctx.fmVoices[ctx.currentPart].output == 0) {
    ctx.diag.advise(Said("音色の出力 L, R がどちらも 0 です",
                         command + ": the tone has L = R = 0 and is silent on every output"));
  }
}

}  // namespace

void onTone(CompileContext& ctx) {
  ctx.emitByte(kEventTone);
  int32_t vstart = ctx.settings.vstart;
  int tone = number(ctx, vstart, vstart + 127) - vstart;
  ctx.emitByte(tone);
  if (ctx.settings.panfix != 0) {
    ctx.emitByte(kEventPan);
    ctx.emitByte(ctx.part().panFixByte & 0xFF);
  }
  if (!ctx.onFmPart()) return;
  loadVoice(ctx.fmVoices[ctx.currentPart],
            ctx.toneTable.data() + toneRecordOffset(static_cast<size_t>(tone)));
  if (ctx.diag.advising()) adviseOnTone(ctx, tone);
}

void onSettingP(CompileContext& ctx) {
  ctx.emitByte(kEventSettingP);
  ctx.emitByte(number(ctx, 0, 127));
}

void onSettingAtT(CompileContext& ctx) { twoValueSetting(ctx, kEventSettingAtT); }
void onSettingAtL(CompileContext& ctx) { twoValueSetting(ctx, kEventSettingAtL); }
void onKeySetting(CompileContext& ctx) { extendedSetting(ctx, kEventKeySetting, 255); }
void onSweepSetting(CompileContext& ctx) { extendedSetting(ctx, kEventSweepSetting, 15); }

void onSettingAtE(CompileContext& ctx) {
  ctx.emitEventHead(kEventSettingAtE);
  ctx.emitByte(number(ctx, 0, 127));
}

void onFilter(CompileContext& ctx) {
  if (!kr3(ctx)) {
    ctx.emitByte(kEventFilter);
    ctx.emitByte(number(ctx, -128, 127));
    return;
  }
  ctx.emitEventHead(kEventFilterDetune);
  ctx.emitWord(number(ctx, -128, 127) * 100);
  ctx.emitByte(kFilterDefault);
}

void onFmSwitch(CompileContext& ctx) {
  requireFmPart(ctx);
  ctx.emitEventHead(kEventFmSwitch);
  int32_t n = number(ctx, 0, kr3(ctx) ? 63 : 1);
  if (kr3(ctx)) ctx.running.fmSwitchMask = static_cast<uint16_t>(n);
  ctx.emitByte(n);
}

void onFmChannelSwitch(CompileContext& ctx) {
  requireFmPart(ctx);
  ctx.emitEventHead(kEventFmSwitch);
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
  ctx.emitByte(kEventRegister);
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 255));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 255));
}

void onHalfRegister(CompileContext& ctx) {
  ctx.emitByte(kEventRegister);
  ctx.emitByte(fmHalf(ctx.currentPart));
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 255));
}

void onLfoDepthX4(CompileContext& ctx) { ctx.part().lfoDepthX4 = number(ctx, 0, 1); }

namespace {

constexpr int kLfoScale[8] = {1, 1, 4, 4, 100, 0, 0, 0};
// The byte "w" writes where "@WP" writes its optional last argument g.
constexpr int kWaveDefaultLevel = 15;
constexpr int kLfoMinimum[8] = {1, 1, 3, 3, 100, 0, 0, 0};

void modulationKr3(CompileContext& ctx) {
  bool x4 = ctx.part().lfoDepthX4 == 1;
  ctx.emitEventHead(kEventWave);
  int64_t depth = number(ctx, 0, 255) * (x4 ? 4 : 1);
  ctx.emitWord(static_cast<int>(depth));
  int32_t speed = ctx.scanner.readNextNumber(0, 127);
  int32_t w = ctx.scanner.readNextNumber(0, 60);
  int wave = w & 7;
  int64_t f = speed < 64 ? 64 - speed : 1;
  int64_t e = kLfoScale[wave] * f * depth;
  if (x4) e /= 4;
  if (wave == 2 || wave == 3) e &= 0xFFFE;
  if (e < kLfoMinimum[wave]) e = kLfoMinimum[wave];
  ctx.emitWord(static_cast<int>(e));
  ctx.emitByte(wave);
  ctx.emitByte(ctx.scanner.readNextNumber(0, 255));
  ctx.emitByte(kWaveDefaultLevel);
  ctx.emitByte((w >> 4) & 3);
}

}  // namespace

void onModulation(CompileContext& ctx) {
  if (kr3(ctx)) {
    modulationKr3(ctx);
    return;
  }
  ctx.emitByte(kEventLfo);
  ctx.emitByte(number(ctx, 0, 255));
  ctx.emitByte(127 - ctx.scanner.readNextNumber(0, 127));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 60));
  ctx.emitByte(ctx.scanner.readNextNumber(0, 255));
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
  ctx.part().envelopeRestart = EnvelopeRestart::kUnlessTied;
}

void onEnvelopeUnit(CompileContext& ctx) {
  int32_t n = number(ctx, 0, 256);
  ctx.envelopes.runs[ctx.currentPart].timeUnit = n;
  ctx.part().envelopeRestart = n != 0 ? EnvelopeRestart::kUnlessTied : EnvelopeRestart::kRunsOn;
}

void onEnvelopeRestart(CompileContext& ctx) {
  ctx.part().envelopeRestart = static_cast<EnvelopeRestart>(number(ctx, 0, 2));
}

// Code 147, which no keyword names: reads and checks its value, which
// nothing uses.
void onUnnamedValue(CompileContext& ctx) { number(ctx, 1, 256); }

namespace {

// Whether the run of part letters after "|" or "|!" names the current part.
bool namesCurrentPart(CompileContext& ctx, const std::string& letters) {
  const std::string& all = ctx.settings.partLetters;
  size_t part = static_cast<size_t>(ctx.currentPart);
  return part < all.size() && letters.find(all[part]) != std::string::npos;
}

}  // namespace

void onPartFilter(CompileContext& ctx) {
  std::string letters = ctx.scanner.collect(ctx.settings.partLetters);
  if (!letters.empty() && !namesCurrentPart(ctx, letters)) ctx.scanner.skipToBar();
}

void onPartExclusion(CompileContext& ctx) {
  std::string letters = ctx.scanner.collect(ctx.settings.partLetters);
  if (letters.empty() || namesCurrentPart(ctx, letters)) ctx.scanner.skipToBar();
}

}  // namespace tallow
