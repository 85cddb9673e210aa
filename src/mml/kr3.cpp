// Commands of the KR3 format.  Each writes one fixed-layout event whose
// second byte counts the bytes after it.  The poly-mode commands, the
// simultaneous key-on among them, control FM3's channel and exist only there.
#include <array>

#include "mml/command_table.h"
#include "mml/handlers.h"
#include "mml/notes.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int kFm3 = 2;

void requireKr3(CompileContext& ctx) {
  if (ctx.settings.krbType != kKrbTypeKr3)
    ctx.error("KR2形式KRBファイルでは使用できないコマンドです");
}

void requireFm3(CompileContext& ctx) {
  requireKr3(ctx);
  if (ctx.currentPart != kFm3) ctx.error("FM音源チャンネル3以外で使用できないコマンドです");
}

// An optional trailing argument: read, after its separator, when a number
// or text that matches no keyword follows.
int32_t trailing(CompileContext& ctx, int32_t low, int32_t high, int32_t fallback) {
  int next = ctx.scanner.peek(ctx.mml.commands);
  if (next != kCodeNumber && next != kCodeNoMatch) return fallback;
  return ctx.scanner.readNextNumber(low, high);
}

// Four values separated by separators, written as bytes or words.
void fourValues(CompileContext& ctx, int32_t low, int32_t high, bool words) {
  for (int i = 0; i < 4; ++i) {
    int32_t v = i == 0 ? ctx.scanner.readNumber(low, high) : ctx.scanner.readNextNumber(low, high);
    words ? ctx.emitWord(v) : ctx.emitByte(v);
  }
}

// The shared tail of "@WP" and "@WA": b, c, d, e and the optional g, written
// as b' (16 bits), c, e, g, d.
void waveTail(CompileContext& ctx) {
  int32_t b = ctx.scanner.readNextNumber(0, 12800);
  int32_t c = ctx.scanner.readNextNumber(0, 31);
  int32_t d = ctx.scanner.readNextNumber(0, 7);
  int32_t e = ctx.scanner.readNextNumber(0, 255);
  int32_t g = trailing(ctx, 0, 15, 15);
  ctx.emitWord(b == 0 ? 1 : b);
  ctx.emitByte(c);
  ctx.emitByte(e);
  ctx.emitByte(g);
  ctx.emitByte(d);
}

// "@kp" and "@ks": a, b, c in the events of "@K" and "@S"; c up to `cHigh`.
void keySettingKr3(CompileContext& ctx, uint8_t code, int32_t cHigh) {
  requireKr3(ctx);
  ctx.emitEventHead(code);
  ctx.emitByte(ctx.scanner.readNumber(0, 127));
  ctx.emitByte(ctx.scanner.readNextNumber(-128, 127));
  ctx.emitByte(ctx.scanner.readNextNumber(0, cHigh));
}

// Reads the pitches of a simultaneous key-on up to its closing quote.
std::array<uint8_t, 4> chordSlots(CompileContext& ctx) {
  std::array<uint8_t, 4> slots = {kChordNoPitch, kChordNoPitch, kChordNoPitch, kChordNoPitch};
  int filled = 0;
  PartState& p = ctx.part();
  for (;;) {
    int code = ctx.scanner.lookup(ctx.mml.commands);
    if (isNoteLetter(code)) {
      if (filled < 4) {
        slots[filled++] = static_cast<uint8_t>(notePitch(ctx, code - kMmlNoteC));
        p.octaveShiftOnce = 0;
      }
    } else if (code == kMmlRest) {
      if (filled < 4) ++filled;
      p.octaveShiftOnce = 0;
    } else if (code == kMmlOctave) {
      p.octave = ctx.scanner.readNumber(0, 8);
    } else if (code == kMmlOctaveUp || code == kMmlOctaveDown) {
      p.octave += code == kMmlOctaveUp ? 1 : -1;
    } else if (code == kMmlOctaveOnce) {
      ++p.octaveShiftOnce;
    } else if (code == kMmlChord) {
      break;
    } else {
      ctx.error("使用できないコマンドがあります");
    }
  }
  if (filled == 0) ctx.error("音程の指定がありません");
  return slots;
}

}  // namespace

void onPolyMode(CompileContext& ctx) {
  requireFm3(ctx);
  ctx.emitEventHead(kEventPolyMode);
  int32_t n = ctx.scanner.readNumber(0, 3);
  ctx.emitByte(n);
  ctx.running.polyMode = static_cast<int16_t>(n);
}

void onBend(CompileContext& ctx) {
  requireFm3(ctx);
  ctx.emitEventHead(kEventBend);
  fourValues(ctx, -1024, 1023, true);
}

void onDelay(CompileContext& ctx) {
  requireFm3(ctx);
  ctx.emitEventHead(kEventDelay);
  fourValues(ctx, 0, 65535, true);
}

void onChannelSet(CompileContext& ctx) {
  requireFm3(ctx);
  ctx.emitEventHead(kEventChannelSet);
  fourValues(ctx, 0, 127, false);
}

void onSettingAtQ(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventSettingAtQ);
  ctx.emitWord(ctx.scanner.readNumber(0, 65535));
}

void onWave(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventWave);
  ctx.emitWord(ctx.scanner.readNumber(0, 1023));
  waveTail(ctx);
}

void onWaveAmplitude(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventWaveAmplitude);
  ctx.emitWord(ctx.scanner.readNumber(0, 127));
  waveTail(ctx);
}

void onFilterDetune(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventFilterDetune);
  ctx.emitWord(ctx.scanner.readNumber(-12800, 12800));
  ctx.emitByte(trailing(ctx, 0, 31, 13));
}

void onNoise(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventNoise);
  ctx.emitByte(ctx.scanner.readNumber(0, 1));
}

void onRelativeTotalLevel(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventRelativeTotalLevel);
  fourValues(ctx, -127, 127, false);
}

void onRelativeAttack(CompileContext& ctx) {
  requireKr3(ctx);
  ctx.emitEventHead(kEventRelativeAttack);
  fourValues(ctx, -31, 31, false);
}

void onChord(CompileContext& ctx) {
  requireFm3(ctx);
  if (ctx.running.polyMode != 1 && ctx.running.polyMode != 2) {
    ctx.error("同時キーオンはポリモードでのみ使用できます");
  }
  if (ctx.running.tieFlag) ctx.emitByte(kEventTie);
  ctx.emitEventHead(kEventChord);
  PartState& p = ctx.part();
  int32_t octave = p.octave;
  std::array<uint8_t, 4> slots = chordSlots(ctx);
  int32_t length = readLength(ctx);
  p.steps = wrapSteps(int64_t{p.steps} + length);
  ctx.emitWord(length);
  for (uint8_t slot : slots) ctx.emitByte(slot);
  bool tied = ctx.scanner.peek(ctx.mml.commands) == kMmlTie;
  if (tied) ctx.scanner.lookup(ctx.mml.commands);
  p.tieState = tied ? TieState::kNote : TieState::kNone;
  if (tied) p.tiePitch = slots[0];
  ctx.running.tieFlag = tied;
  p.octave = octave;
  p.octaveShiftOnce = 0;
}

void onKeySettingKr3(CompileContext& ctx) { keySettingKr3(ctx, kEventKeySetting, 255); }
void onSweepSettingKr3(CompileContext& ctx) { keySettingKr3(ctx, kEventSweepSetting, 15); }

}  // namespace tallow
