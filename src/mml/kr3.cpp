// Commands of the KR3 format.  Each writes one fixed-layout event whose
// second byte counts the bytes after it.  The poly-mode commands, the
// simultaneous key-on among them, control FM3's channel and exist only there.
#include <array>

#include "mml/command_table.h"
#include "mml/notes.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int kFm3 = 2;
constexpr int kChordCode = 162;

void requireKr3(CompileContext& ctx) {
  if (ctx.settings.krbType != kKrbTypeKr3)
    ctx.error("KR2形式KRBファイルでは使用できないコマンドです");
}

void requireFm3(CompileContext& ctx) {
  requireKr3(ctx);
  if (ctx.currentPart != kFm3) ctx.error("FM音源チャンネル3以外で使用できないコマンドです");
}

int32_t nextNumber(CompileContext& ctx, int32_t low, int32_t high) {
  ctx.scanner.separator();
  return ctx.scanner.readNumber(low, high);
}

// An optional trailing argument: read, after its separator, when a number
// or text that matches no keyword follows.
int32_t trailing(CompileContext& ctx, int32_t low, int32_t high, int32_t fallback) {
  int next = ctx.scanner.peek(ctx.mml.commands);
  if (next != kCodeNumber && next != kCodeNoMatch) return fallback;
  return nextNumber(ctx, low, high);
}

void header(CompileContext& ctx, int code, int count) {
  ctx.emitByte(code);
  ctx.emitByte(count);
}

// Four values separated by separators, written as bytes or words.
void fourValues(CompileContext& ctx, int32_t low, int32_t high, bool words) {
  for (int i = 0; i < 4; ++i) {
    int32_t v = i == 0 ? ctx.scanner.readNumber(low, high) : nextNumber(ctx, low, high);
    words ? ctx.emitWord(v) : ctx.emitByte(v);
  }
}

void onPolyMode(CompileContext& ctx) {
  requireFm3(ctx);
  header(ctx, 0x89, 0x01);
  int32_t n = ctx.scanner.readNumber(0, 3);
  ctx.emitByte(n);
  ctx.running.polyMode = static_cast<int16_t>(n);
}

void onBend(CompileContext& ctx) {
  requireFm3(ctx);
  header(ctx, 0x99, 0x08);
  fourValues(ctx, -1024, 1023, true);
}

void onDelay(CompileContext& ctx) {
  requireFm3(ctx);
  header(ctx, 0x9A, 0x08);
  fourValues(ctx, 0, 65535, true);
}

void onChannelSet(CompileContext& ctx) {
  requireFm3(ctx);
  header(ctx, 0x9C, 0x04);
  fourValues(ctx, 0, 127, false);
}

void onSetting9D(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0x9D, 0x02);
  ctx.emitWord(ctx.scanner.readNumber(0, 65535));
}

// The shared tail of "@WP" and "@WA": b, c, d, e and the optional g, written
// as b' (16 bits), c, e, g, d.
void waveTail(CompileContext& ctx) {
  int32_t b = nextNumber(ctx, 0, 12800);
  int32_t c = nextNumber(ctx, 0, 31);
  int32_t d = nextNumber(ctx, 0, 7);
  int32_t e = nextNumber(ctx, 0, 255);
  int32_t g = trailing(ctx, 0, 15, 15);
  ctx.emitWord(b == 0 ? 1 : b);
  ctx.emitByte(c);
  ctx.emitByte(e);
  ctx.emitByte(g);
  ctx.emitByte(d);
}

void onWave(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0x9F, 0x08);
  ctx.emitWord(ctx.scanner.readNumber(0, 1023));
  waveTail(ctx);
}

void onWaveAmplitude(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0xA0, 0x08);
  ctx.emitWord(ctx.scanner.readNumber(0, 127));
  waveTail(ctx);
}

void onFilterDetune(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0xA1, 0x03);
  ctx.emitWord(ctx.scanner.readNumber(-12800, 12800));
  ctx.emitByte(trailing(ctx, 0, 31, 13));
}

void onNoise(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0xA2, 0x01);
  ctx.emitByte(ctx.scanner.readNumber(0, 1));
}

void onRelativeTotalLevel(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0xA3, 0x04);
  fourValues(ctx, -127, 127, false);
}

void onRelativeAttack(CompileContext& ctx) {
  requireKr3(ctx);
  header(ctx, 0xA4, 0x04);
  fourValues(ctx, -31, 31, false);
}

// "@kp" and "@ks": a, b, c after the events of "@K" and "@S".
void onKeySetting(CompileContext& ctx) {
  requireKr3(ctx);
  bool kp = ctx.currentCode == 160;
  header(ctx, kp ? 0x8B : 0x8E, 0x03);
  ctx.emitByte(ctx.scanner.readNumber(0, 127));
  ctx.emitByte(nextNumber(ctx, -128, 127));
  ctx.emitByte(nextNumber(ctx, 0, kp ? 255 : 15));
}

// Reads the pitches of a simultaneous key-on up to its closing quote.
std::array<uint8_t, 4> chordSlots(CompileContext& ctx) {
  std::array<uint8_t, 4> slots = {0x90, 0x90, 0x90, 0x90};
  int filled = 0;
  PartState& p = ctx.part();
  for (;;) {
    int code = ctx.scanner.lookup(ctx.mml.commands);
    if (code >= 16 && code <= 27) {
      if (filled < 4) {
        slots[filled++] = static_cast<uint8_t>(notePitch(ctx, code - 16));
        p.octaveShiftOnce = 0;
      }
    } else if (code == 48) {
      if (filled < 4) ++filled;
      p.octaveShiftOnce = 0;
    } else if (code == 49) {
      p.octave = ctx.scanner.readNumber(0, 8);
    } else if (code == 50 || code == 51) {
      p.octave += code == 50 ? 1 : -1;
    } else if (code == 52) {
      ++p.octaveShiftOnce;
    } else if (code == kChordCode) {
      break;
    } else {
      ctx.error("使用できないコマンドがあります");
    }
  }
  if (filled == 0) ctx.error("音程の指定がありません");
  return slots;
}

void onChord(CompileContext& ctx) {
  requireFm3(ctx);
  if (ctx.running.polyMode != 1 && ctx.running.polyMode != 2) {
    ctx.error("同時キーオンはポリモードでのみ使用できます");
  }
  if (ctx.running.tieFlag) ctx.emitByte(0x86);
  header(ctx, 0x8A, 0x06);
  PartState& p = ctx.part();
  int32_t octave = p.octave;
  std::array<uint8_t, 4> slots = chordSlots(ctx);
  int32_t length = readLength(ctx);
  p.steps = wrapSteps(int64_t{p.steps} + length);
  ctx.emitWord(length);
  for (uint8_t slot : slots) ctx.emitByte(slot);
  bool tied = ctx.scanner.peek(ctx.mml.commands) == kTie;
  if (tied) ctx.scanner.lookup(ctx.mml.commands);
  p.tieState = tied ? 1 : 0;
  if (tied) p.tiePitch = slots[0];
  ctx.running.tieFlag = tied;
  p.octave = octave;
  p.octaveShiftOnce = 0;
}

}  // namespace

void installKr3Handlers(MmlHandlerTable& table) {
  table[148] = onPolyMode;
  table[150] = onBend;
  table[151] = onDelay;
  table[152] = onChannelSet;
  table[153] = onSetting9D;
  table[154] = onWave;
  table[155] = onWaveAmplitude;
  table[156] = onFilterDetune;
  table[157] = onNoise;
  table[158] = onRelativeTotalLevel;
  table[159] = onRelativeAttack;
  table[160] = onKeySetting;
  table[161] = onKeySetting;
  table[kChordCode] = onChord;
}

}  // namespace tallow
