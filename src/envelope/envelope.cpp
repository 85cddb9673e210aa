// Envelopes.  `.env` lines are compiled into a byte string per envelope: a
// code byte per command followed by its parameter bytes (low 8 bits).  The
// renderer interprets that string over the length of each note of a part
// that selected the envelope, emitting note, detune, volume, pan and
// register events; a step that reaches past the note's end is owed as carry
// to the next note.  The run state persists from note to note; the note
// handler decides when it restarts.
#include "envelope/envelope.h"

#include <algorithm>

#include "events/note_events.h"
#include "output/fm_registers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

enum EnvelopeCode : int {
  kStep = 16,
  kLevel = 17,
  kVolume = 18,
  kDetune = 19,
  kTieMark = 20,
  kNoTie = 21,
  kRegister = 22,
  kPanCentre = 23,
  kPanLeft = 24,
  kPanRight = 25,
  kFeedback = 26,
  kAlgorithm = 27,
  kTotalLevel = 28,
  kAms = 29,
  kPms = 30,
  kKey = 31,
  kLoop = 32,
  kRelativeDetune = 33,
  kVolumeUp = 34,
  kVolumeDown = 35,
  kEnd = 36,
};

constexpr size_t kEmlTableCapacity = 64 + 1;

EnvelopeDefinition& definition(CompileContext& ctx, int number) {
  return ctx.envelopes.definitions[number];
}

void append(CompileContext& ctx, EnvelopeDefinition& env, int byte) {
  if (!env.code.reserve(1)) ctx.error("メモリが足りません");
  env.code.put(static_cast<uint8_t>(byte));
}

// Reads a parameter and appends its low 8 bits.
void parameter(CompileContext& ctx, EnvelopeDefinition& env, int32_t low, int32_t high) {
  append(ctx, env, ctx.scanner.readNumber(low, high));
}

// An optional parameter, read when a digit or sign follows directly.
int32_t optional(CompileContext& ctx, int32_t low, int32_t high, int32_t fallback) {
  return ctx.scanner.numberFollowsDirectly() ? ctx.scanner.readNumber(low, high) : fallback;
}

void stepParameters(CompileContext& ctx, EnvelopeDefinition& env) {
  append(ctx, env, optional(ctx, 1, 255, 1));
  if (ctx.scanner.current() == '\'') {
    ctx.scanner.nextChar();
  } else {
    append(ctx, env, kTieMark);
  }
}

// Appends the code and its parameters; false for a code with no rule.
bool compileCommand(CompileContext& ctx, EnvelopeDefinition& env, int code) {
  Scanner& s = ctx.scanner;
  switch (code) {
    case kStep:
      append(ctx, env, code);
      stepParameters(ctx, env);
      return true;
    case kLevel:
      append(ctx, env, code);
      parameter(ctx, env, 0, 15);
      return true;
    case kVolume:
      append(ctx, env, code);
      parameter(ctx, env, 0, 127);
      return true;
    case kDetune:
    case kKey:
    case kRelativeDetune:
      append(ctx, env, code);
      parameter(ctx, env, -128, 127);
      return true;
    case kRegister:
      append(ctx, env, code);
      parameter(ctx, env, 0, 255);
      s.separator();
      parameter(ctx, env, 0, 255);
      return true;
    case kPanCentre:
      append(ctx, env, code);
      append(ctx, env, optional(ctx, -64, 63, 0) + 64);
      return true;
    case kPanLeft:
      append(ctx, env, code);
      append(ctx, env, 60 - 4 * optional(ctx, 0, 15, 15));
      return true;
    case kPanRight:
      append(ctx, env, code);
      append(ctx, env, 67 + 4 * optional(ctx, 0, 15, 15));
      return true;
    case kFeedback:
    case kAlgorithm:
    case kPms:
      append(ctx, env, code);
      parameter(ctx, env, 0, 7);
      return true;
    case kAms:
      append(ctx, env, code);
      parameter(ctx, env, 0, 3);
      return true;
    case kTotalLevel:
      append(ctx, env, code);
      append(ctx, env, s.readNumber(1, 4) - 1);
      s.separator();
      parameter(ctx, env, 0, 127);
      return true;
    case kLoop:
      if (env.loopPoint >= 0) ctx.error("ループポイントは定義済です");
      append(ctx, env, code);
      env.loopPoint = static_cast<int32_t>(env.code.length());
      return true;
    case kVolumeUp:
    case kVolumeDown:
      append(ctx, env, code);
      append(ctx, env, optional(ctx, 1, 127, 1));
      return true;
    case kTieMark:  // a keyword may name the code that steps store after them
      append(ctx, env, code);
      return true;
    default:
      return false;
  }
}

// The state of one note being rendered.
struct Render {
  CompileContext& ctx;
  EnvelopeRun& run;
  const EnvelopeDefinition& env;
  int part;
  int base;
  int pitch;
  int32_t total;
  int32_t elapsed = 0;
  int32_t unit;

  // The detune value and note byte of the latest step, for its pitch and
  // detune: the steps of a note mostly share them.
  int stepPitch = -1;
  int32_t stepDetune = 0;
  int32_t detuneValue = 0;
  int64_t noteByte = 0;

  uint8_t next() { return env.code.data()[run.readPosition++]; }
  bool atEnd() const { return static_cast<size_t>(run.readPosition) >= env.code.length(); }
  void setKey(int offset) {
    run.keyOffset = offset;
    pitch = std::clamp(base + offset, 0, 127);
  }
};

void emitVolumeOut(Render& r) {
  const PartState& p = r.ctx.parts[r.part];
  int64_t out = (int64_t{p.volumeValue} + p.volumeOffset) * (r.run.volume + 1) / 128;
  r.ctx.reserveTrack(2);
  uint8_t* at = r.ctx.track().append(2);
  at[0] = kEventVolume;
  at[1] = static_cast<uint8_t>(std::clamp<int64_t>(out, 0, 127));
}

// The detune event and the note of a step, as emitDetune() and emitNote()
// write them.
void emitStep(Render& r, int32_t length) {
  CompileContext& ctx = r.ctx;
  if (r.pitch != r.stepPitch || r.run.detune != r.stepDetune) {
    r.stepPitch = r.pitch;
    r.stepDetune = r.run.detune;
    r.detuneValue = detuneValue(ctx, r.pitch, r.run.detune);
    r.noteByte = noteByteOf(ctx, r.pitch, r.run.detune);
  }
  ctx.emitByteWord(kEventDetune, r.detuneValue);
  if (length == 0) return;
  if (r.noteByte < 0 || r.noteByte > 127) ctx.error("音程が範囲外です");
  ctx.emitByteWord(static_cast<int>(r.noteByte), length);
}

void playStep(Render& r, int32_t count) {
  int32_t a = count * r.unit;
  r.run.stepSinceLoop = true;
  if (a < r.total - r.elapsed) {
    emitStep(r, a);
    r.elapsed += a;
  } else {
    r.run.carry = r.elapsed + a - r.total;
    emitStep(r, r.total - r.elapsed);
    r.elapsed = r.total;
  }
}

void writeRegister(Render& r, int reg, int value) {
  r.ctx.emitByte(kEventRegister);
  r.ctx.emitByte(fmHalf(r.part));
  r.ctx.emitByte(reg);
  r.ctx.emitByte(value);
}

void playPan(Render& r, int byte) {
  r.ctx.emitByte(kEventPan);
  r.ctx.emitByte(byte);
  if (isFmPart(r.part)) {
    r.ctx.fmVoices[r.part].output = byte == 64  ? kOutputBoth
                                    : byte < 65 ? kOutputLeft
                                                : kOutputRight;
  }
}

void playChannel(Render& r, int code, int value) {
  if (!isFmPart(r.part)) return;
  const FmField& field = code == kFeedback    ? fm_field::kFeedback
                         : code == kAlgorithm ? fm_field::kAlgorithm
                         : code == kAms       ? fm_field::kAms
                                              : fm_field::kPms;
  FmVoiceState& v = r.ctx.fmVoices[r.part];
  voiceValue(v, field, 0) = static_cast<uint8_t>(value);
  writeRegister(r, field.base + fmChannel(r.part), voiceRegister(v, field.base, 0));
}

// The end of the string: the rest of the note, or back to the loop point.
void playEnd(Render& r) {
  if (r.env.loopPoint < 0) {
    r.ctx.emitByte(r.pitch);
    r.ctx.emitWord(r.total - r.elapsed);
    r.elapsed = r.total;
    return;
  }
  if (!r.run.stepSinceLoop) r.ctx.error("ループ内に音長のないエンベロープです");
  r.run.stepSinceLoop = false;
  r.run.readPosition = r.env.loopPoint;
}

void interpret(Render& r) {
  if (r.atEnd()) {
    playEnd(r);
    return;
  }
  int code = r.next();
  EnvelopeRun& run = r.run;
  switch (code) {
    case kStep:
      playStep(r, r.next());
      break;
    case kLevel:
      run.volume = r.ctx.parts[r.part].volumeTable[r.next() & 15];
      emitVolumeOut(r);
      break;
    case kVolume:
      run.volume = r.next();
      emitVolumeOut(r);
      break;
    case kVolumeUp:
      run.volume = std::min(run.volume + r.next(), 127);
      emitVolumeOut(r);
      break;
    case kVolumeDown:
      run.volume = std::max(run.volume - r.next(), 0);
      emitVolumeOut(r);
      break;
    case kDetune:
      run.detune = static_cast<int8_t>(r.next());
      break;
    case kRelativeDetune:
      run.detune = std::clamp(run.detune + static_cast<int8_t>(r.next()), -32768, 32767);
      break;
    case kKey:
      r.setKey(static_cast<int8_t>(r.next()));
      break;
    case kTieMark:
      if (r.elapsed != 0) r.ctx.emitByte(kEventTie);
      break;
    case kRegister: {
      int reg = r.next();
      int value = r.next();
      if (isFmPart(r.part)) writeRegister(r, reg, value);
      break;
    }
    case kPanCentre:
    case kPanLeft:
    case kPanRight:
      playPan(r, r.next());
      break;
    case kFeedback:
    case kAlgorithm:
    case kAms:
    case kPms:
      playChannel(r, code, r.next());
      break;
    case kTotalLevel: {
      int op = r.next() & 3;
      int level = r.next();
      if (!isFmPart(r.part)) break;
      r.ctx.fmVoices[r.part].tl[op] = static_cast<uint8_t>(level);
      writeRegister(
          r, operatorRegister(fm_register::kTotalLevel, kOperatorSlotOrder[op], fmChannel(r.part)),
          level);
      break;
    }
    case kLoop:
      break;
    default:
      playEnd(r);
  }
}

}  // namespace

KeywordTable makeEmlTable() {
  return KeywordTable("[Tallow:EML]",
                      {{".", kStep},
                       {"r", kStep},
                       {"]", kVolumeUp},
                       {"[", kVolumeDown},
                       {"v+", kVolumeUp},
                       {"v-", kVolumeDown},
                       {"v#", kVolume},
                       {"v", kLevel},
                       {"@v", kVolume},
                       {"y", kRegister},
                       {"@u", kRelativeDetune},
                       {"u", kDetune},
                       {"%r", kPanRight},
                       {"%c", kPanCentre},
                       {"%l", kPanLeft},
                       {"'", kNoTie},
                       {"@FB", kFeedback},
                       {"@AL", kAlgorithm},
                       {"@TL", kTotalLevel},
                       {"@AMS", kAms},
                       {"@PMS", kPms},
                       {"k", kKey},
                       {"L", kLoop}},
                      kEmlTableCapacity);
}

void resetEnvelopes(CompileContext& ctx) {
  for (EnvelopeDefinition& e : ctx.envelopes.definitions) {
    e.code.release();
    e.loopPoint = -1;
  }
  for (EnvelopeRun& run : ctx.envelopes.runs) run = EnvelopeRun{};
}

void releaseEnvelopes(CompileContext& ctx) {
  for (EnvelopeDefinition& e : ctx.envelopes.definitions) e.code.release();
}

void defineEnvelope(CompileContext& ctx, int number) {
  EnvelopeDefinition& env = definition(ctx, number);
  bool hasStep = false;
  for (;;) {
    int code = ctx.scanner.lookup(ctx.emlTable);
    if (code == kCodeLineEnd) break;
    if (!compileCommand(ctx, env, code)) ctx.error("未定義のエンベロープＭＭＬです");
    hasStep = hasStep || code == kStep;
  }
  if (!hasStep) {
    append(ctx, env, kStep);
    append(ctx, env, 1);
    append(ctx, env, kTieMark);
  }
}

void selectEnvelope(CompileContext& ctx, int number) {
  if (!definition(ctx, number).defined()) ctx.error("未定義のエンベロープ");
  EnvelopeRun& run = ctx.envelopes.runs[ctx.currentPart];
  run.envelope = number;
  run.readPosition = 0;
  run.carry = 0;
  run.keyOffset = 0;
}

void resetEnvelopeRun(CompileContext& ctx, int part) { ctx.envelopes.runs[part].restart(); }

void renderEnvelope(CompileContext& ctx, int pitch, int32_t length) {
  int part = ctx.currentPart;
  EnvelopeRun& run = ctx.envelopes.runs[part];
  Render r{.ctx = ctx,
           .run = run,
           .env = definition(ctx, run.envelope),
           .part = part,
           .base = pitch,
           .pitch = pitch,
           .total = length,
           .elapsed = 0,
           .unit = run.timeUnit != 0 ? run.timeUnit : length};
  r.setKey(run.keyOffset);
  run.detune = 0;
  if (run.carry != 0) {
    ctx.emitByte(r.pitch);
    if (run.carry >= r.total) {
      ctx.emitWord(r.total);
      run.carry -= r.total;
      return;
    }
    ctx.emitWord(run.carry);
    r.elapsed = run.carry;
    run.carry = 0;
  }
  while (r.elapsed != r.total) interpret(r);
}

}  // namespace tallow
