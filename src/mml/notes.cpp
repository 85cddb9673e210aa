// Notes, rests, lengths and ties.  A note is its pitch byte and a 16-bit
// length in steps, preceded by a detune event; lengths are counted in steps
// of a whole note of `.zenlen` steps and scaled by the tempo's length scale.
#include "mml/notes.h"

#include <algorithm>
#include <cstdlib>

#include "envelope/envelope.h"
#include "events/note_events.h"
#include "mml/command_table.h"
#include "mml/handlers.h"
#include "mml/portamento.h"
#include "mml/volume.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int kMaxLength = 65535;

// One part of a length, before "~": a number, "%" steps, or the default.
int64_t lengthPart(CompileContext& ctx) {
  Scanner& s = ctx.scanner;
  s.skipBlanks();
  // A digit answers both lookups below with "a number follows": the common
  // case goes straight to the number.
  if (!s.atDigit()) {
    int next = s.peek(ctx.mml.commands);
    if (next != kCodeNumber && next != kCodeNoMatch) return ctx.part().defaultLength;
    int detail = s.lookup(ctx.mml.countDetail);
    if (detail == kAuxFirst) return s.readNumber(1, kMaxLength);
    if (detail != kCodeNumber) return ctx.part().defaultLength;
  }
  int32_t zenlen = ctx.settings.zenlen;
  int32_t n = s.readNumber(0, kMaxLength);
  if (n == 0) n = zenlen;
  if (zenlen % n != 0) ctx.warn("処理できない音長です");
  return zenlen / n;
}

int64_t addDots(CompileContext& ctx, int64_t part) {
  int64_t half = part;
  while (ctx.scanner.lookup(ctx.mml.countAdd) == kAuxFirst) {
    if (half % 2 != 0) ctx.warn("処理できない音長です");
    half /= 2;
    part += half;
    if (part > kMaxLength) ctx.warn("処理できない音長です");
  }
  return part;
}

// A length, and in `next` the code of the keyword that follows it (peeked,
// not taken).
int32_t readLength(CompileContext& ctx, int& next) {
  int64_t total = 0;
  for (;;) {
    total += addDots(ctx, lengthPart(ctx));
    if (total > kMaxLength) ctx.error("音長が長すぎます");
    next = ctx.scanner.peek(ctx.mml.commands);
    if (next != kMmlLengthJoin) break;
    ctx.scanner.lookup(ctx.mml.commands);
  }
  total *= ctx.running.lengthScale;
  if (total > kMaxLength) ctx.error("音長が長すぎます");
  return static_cast<int32_t>(total);
}

// The pitch of a note letter with its accidentals, before range checks.
int64_t pitchOf(const PartState& p, int semitone, int64_t accidentals, bool natural) {
  return semitone + accidentals + (natural ? 0 : p.keySignature[semitone]) + int64_t{p.transpose} +
         p.secondTranspose + (int64_t{p.octave} + p.octaveShiftOnce) * 12 + 12;
}

void putWordEvent(uint8_t* at, int code, int32_t value) {
  at[0] = static_cast<uint8_t>(code);
  at[1] = static_cast<uint8_t>(value & 0xFF);
  at[2] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// The tie after a note: "&" taken when `next` is it.
void takeTie(CompileContext& ctx, int next, int pitch) {
  PartState& p = ctx.part();
  if (next == kMmlTie) {
    ctx.scanner.lookup(ctx.mml.commands);
    p.tieState = TieState::kNote;
    p.tiePitch = pitch;
    ctx.running.tieFlag = true;
  } else {
    p.tieState = TieState::kNone;
  }
}

void sound(CompileContext& ctx, int pitch, int32_t length) {
  if (ctx.part().envelopeNumber != 0) {
    renderEnvelope(ctx, pitch, length);
  } else {
    emitNote(ctx, pitch, 0, length);
  }
}

// The steps a note of `length` sounds under the part's gate; the rest of its
// length is silent.
int32_t soundingLength(const CompileContext& ctx, int32_t length) {
  const PartState& p = ctx.parts[ctx.currentPart];
  if (p.gateValue == 0) return length;
  int64_t sounding = p.gateMode == GateMode::kFraction
                         ? int64_t{length} * p.gateValue / ctx.settings.qwidth
                         : int64_t{length} - p.gateValue;
  return static_cast<int32_t>(std::max<int64_t>(sounding, 1));
}

// A note without portamento: detune, tie, gate, and the note itself.
int32_t playNote(CompileContext& ctx, int pitch) {
  PartState& p = ctx.part();
  int next = 0;
  int32_t length = readLength(ctx, next);
  if (!ctx.onFmPart() && p.tieState == TieState::kPortamento) {
    pitch = p.tiePitch;
  } else {
    emitDetune(ctx, pitch, 0);
  }
  takeTie(ctx, next, pitch);
  int32_t sounding = ctx.running.tieFlag ? length : soundingLength(ctx, length);
  sound(ctx, pitch, sounding);
  if (length > sounding) {
    ctx.emitByte(kEventTie);
    ctx.emitByteWord(kEventRest, length - sounding);
  }
  return length;
}

// The one-note volume and gate ending with the note they were given for.
void endOneShots(CompileContext& ctx, PartState& p) {
  if (p.oneShotVolume) {
    p.volumeValue = p.savedVolumeValue;
    ctx.emitByte(kEventVolume);
    ctx.emitByte(scaledVolume(p, p.volumeValue + p.volumeOffset));
    p.oneShotVolume = 0;
  }
  if (p.oneShotGate) {
    ctx.emitByte(kEventGate);
    ctx.emitByte(p.gateValue & 0xFF);
    p.oneShotGate = 0;
  }
}

// What follows every note after its tie mark: steps, envelope restart, the
// end of a one-note volume, octave shift and gate.  Inlined: it ends every
// note of the fast lane, where a call's entry and exit cost a tenth of the
// note.  Without an envelope the run is left as it is: only envelope notes
// read it, and selecting an envelope restarts it.
[[gnu::always_inline]] inline void closeNote(CompileContext& ctx, PartState& p, int32_t length) {
  p.steps = wrapSteps(int64_t{p.steps} + length);
  if (p.envelopeNumber != 0) {
    bool restart = ctx.running.tieFlag ? p.envelopeRestart == EnvelopeRestart::kEveryNote
                                       : p.envelopeRestart != EnvelopeRestart::kRunsOn;
    if (restart) ctx.envelopes.runs[ctx.currentPart].restart();
  }
  p.octaveShiftOnce = 0;
  if ((p.oneShotVolume | p.oneShotGate) != 0) endOneShots(ctx, p);
}

// What follows every note: the tie mark, then closeNote().
void finishNote(CompileContext& ctx, int32_t length) {
  if (ctx.running.tieFlag) ctx.emitByte(kEventTie);
  closeNote(ctx, ctx.part(), length);
}

// The everyday note ("c", "e+8.", "a%12", "g4^16&", gated or not) read in
// one pass over a read-ahead, each byte classified by one load from its
// table's step answers; a keyword that needs a search is searched for at the
// read-ahead.  The lane acts only when it can take the whole note; on
// anything else (a warning or an error to say, portamento, an envelope, a
// stream without room) it has touched nothing and the general path reads
// the note from its start.  Where both can take a note they leave the same
// bytes and the same scanner state: the lane skips blanks wherever the
// general path's lookups do.
class NoteLane {
 public:
  explicit NoteLane(CompileContext& ctx)
      : ctx_(ctx), scanner_(ctx.scanner), part_(ctx.part()), ahead_(ctx.scanner.lookahead()) {}

  bool play(int semitone) {
    int pitch = 0;
    int next = 0;
    int32_t length = 0;
    if (!readPitch(semitone, pitch) || !readLength(length, next)) return false;
    if (part_.envelopeNumber != 0 ||
        (!ctx_.onFmPart() && part_.tieState == TieState::kPortamento) ||
        !ctx_.track().hasRoom(kMostBytes)) {
      return false;
    }
    bool tied = next == kMmlTie;
    int32_t sounding = tied ? length : soundingLength(ctx_, length);
    int note = pitch;
    int32_t detune = 0;
    // Without detune the event's value is 0 and the note byte the pitch.
    if (int64_t{part_.detune} + part_.secondDetune != 0) {
      int64_t byte = noteByteOf(ctx_, pitch, 0);
      if (sounding != 0 && (byte < 0 || byte > 127)) return false;
      note = static_cast<int>(byte);
      detune = detuneValue(ctx_, pitch, 0);
    }
    if (tied) take();
    scanner_.commit(ahead_);
    emit(pitch, note, detune, length, sounding, tied);
    return true;
  }

  // A length alone (the default length's, a portamento's, ...).
  bool length(int32_t& length) {
    int next = 0;
    if (!readLength(length, next)) return false;
    scanner_.commit(ahead_);
    return true;
  }

  // A rest, when its length is everyday too.
  bool rest() {
    int next = 0;
    int32_t length = 0;
    if (!readLength(length, next) || !ctx_.track().hasRoom(kRestBytes)) return false;
    scanner_.commit(ahead_);
    putWordEvent(ctx_.track().append(kRestBytes), kEventRest, length);
    part_.steps = wrapSteps(int64_t{part_.steps} + length);
    return true;
  }

 private:
  // What the general path's lookup or peek in `table` gives at the read-ahead
  // (blanks skipped), or KeywordTable::kSearch when that path must read it
  // itself (see stepAnswer()).  take() then takes the keyword answered.
  int quick(const KeywordTable& table) {
    int code = table.stepAnswer(static_cast<unsigned char>(ahead_.cur));
    while (code == KeywordTable::kBlank) {
      scanner_.advance(ahead_);
      code = table.stepAnswer(static_cast<unsigned char>(ahead_.cur));
    }
    keywordLength_ = 1;
    return code == KeywordTable::kSearch ? search(table) : code;
  }

  // The keyword at the read-ahead when its first byte begins longer ones.
  int search(const KeywordTable& table) {
    keywordLength_ = 0;
    int code = table.matchPrefix(scanner_.restOfLine(ahead_), keywordLength_);
    if (keywordLength_ == 0) return kCodeNoMatch;  // no keyword matched
    bool shared = code < 0 || (code >= kCodeNoMatch && code <= kCodeLineEnd);
    return shared ? KeywordTable::kSearch : code;
  }

  void take() {
    for (size_t i = 0; i < keywordLength_; ++i) scanner_.advance(ahead_);
  }

  bool readPitch(int semitone, int& pitch) {
    int64_t accidentals = 0;
    bool natural = false;
    for (int code = quick(ctx_.mml.tuneChar);; code = quick(ctx_.mml.tuneChar)) {
      if (code == kAuxFirst || code == kAuxSecond) {
        accidentals += code == kAuxFirst ? 1 : -1;
      } else if (code == kAuxThird) {
        natural = true;
      } else if (code == kCodeLineEnd || code == kCodeNumber || code == kCodeNoMatch) {
        break;
      } else {
        return false;
      }
      take();
      if (natural) break;
    }
    int64_t value = pitchOf(part_, semitone, accidentals, natural);
    pitch = static_cast<int>(value);
    return value >= 0 && value <= 127;
  }

  // A length and the code that follows it, as the general path reads them.
  // Inlined into both readers: a call would cost more than it saves.
  [[gnu::always_inline]] bool readLength(int32_t& length, int& next) {
    int64_t total = 0;
    // The general path peeks for portamento before the length, at the
    // place where the length's first lookup stands.
    next = quick(ctx_.mml.commands);
    if (next == kMmlPortamento) return false;
    for (;;) {
      int64_t part = 0;
      if (!readPart(next, part) || !addDots(part)) return false;
      total += part;
      if (total > kMaxLength) return false;
      next = quick(ctx_.mml.commands);
      if (next == KeywordTable::kSearch) return false;
      if (next != kMmlLengthJoin) break;
      take();
      next = quick(ctx_.mml.commands);
    }
    total *= ctx_.running.lengthScale;
    length = static_cast<int32_t>(total);
    return total <= kMaxLength;
  }

  // A part of a length, `code` the quick answer at its start: a divisor, a
  // "%" count of steps, or the default length before another command.
  bool readPart(int code, int64_t& part) {
    if (code == kCodeNumber) return readDivisor(part);
    if (code == kCodeNoMatch) return readSteps(part);
    part = part_.defaultLength;
    return code != KeywordTable::kSearch;
  }

  // Up to five digits; false when there are more.
  bool readDigits(int64_t& n) {
    n = 0;
    for (int digits = 0; ahead_.cur >= '0' && ahead_.cur <= '9'; ++digits) {
      if (digits == 5) return false;
      n = n * 10 + (ahead_.cur - '0');
      scanner_.advance(ahead_);
    }
    return true;
  }

  bool readDivisor(int64_t& part) {
    int64_t n = 0;
    if (!readDigits(n)) return false;
    int32_t zenlen = ctx_.settings.zenlen;
    if (n > kMaxLength) return false;
    if (n == 0) n = zenlen;
    if (zenlen % n != 0) return false;
    part = zenlen / n;
    return true;
  }

  // "%" and a count of steps 1..65535; where no keyword of the count table
  // stands, the default length (a sign there would be read as a number).
  bool readSteps(int64_t& part) {
    int detail = quick(ctx_.mml.countDetail);
    if (detail != kAuxFirst) {
      part = part_.defaultLength;
      return detail == kCodeNoMatch && ahead_.cur != '+' && ahead_.cur != '-';
    }
    take();
    scanner_.skipBlanks(ahead_);
    int64_t n = 0;
    if (ahead_.cur < '0' || ahead_.cur > '9' || !readDigits(n)) return false;
    part = n;
    return n >= 1 && n <= kMaxLength;
  }

  bool addDots(int64_t& part) {
    int64_t half = part;
    for (;;) {
      int code = quick(ctx_.mml.countAdd);
      if (code == kCodeLineEnd || code == kCodeNumber || code == kCodeNoMatch) return true;
      if (code != kAuxFirst || half % 2 != 0) return false;
      take();
      half /= 2;
      part += half;
      if (part > kMaxLength) return false;
    }
  }

  // The most a note writes here: detune, note, and the tie and rest that
  // end a gated note or the tie mark of a tied one.
  static constexpr size_t kMostBytes = 3 + 3 + 1 + 3;
  static constexpr size_t kRestBytes = 3;

  // The note's events in one stretch of the stream, room made beforehand.
  void emit(int pitch, int note, int32_t detune, int32_t length, int32_t sounding, bool tied) {
    ctx_.running.tieFlag = tied;
    part_.tieState = tied ? TieState::kNote : TieState::kNone;
    if (tied) part_.tiePitch = pitch;
    ByteBuffer& track = ctx_.track();
    uint8_t* start = track.data() + track.length();
    uint8_t* at = start;
    putWordEvent(at, kEventDetune, detune);
    at += 3;
    if (sounding != 0) {
      putWordEvent(at, note, sounding);
      at += 3;
    }
    if (length > sounding) {  // gated: the silent rest of its length
      at[0] = kEventTie;
      putWordEvent(at + 1, kEventRest, length - sounding);
      at += 4;
    }
    if (tied) *at++ = kEventTie;
    track.append(static_cast<size_t>(at - start));
    closeNote(ctx_, part_, length);
  }

  CompileContext& ctx_;
  Scanner& scanner_;
  PartState& part_;
  Scanner::Lookahead ahead_;
  size_t keywordLength_ = 1;
};

}  // namespace

int notePitch(CompileContext& ctx, int semitone) {
  PartState& p = ctx.part();
  int64_t accidentals = 0;
  bool natural = false;
  for (bool more = true; more;) {
    switch (ctx.scanner.lookup(ctx.mml.tuneChar)) {
      case kAuxFirst:
        ++accidentals;
        break;
      case kAuxSecond:
        --accidentals;
        break;
      case kAuxThird:
        natural = true;
        more = false;
        break;
      default:
        more = false;
    }
  }
  int64_t pitch = pitchOf(p, semitone, accidentals, natural);
  if (pitch < 0 || pitch > 127) ctx.error("音程が範囲外です");
  return static_cast<int>(pitch);
}

int32_t readLength(CompileContext& ctx) {
  int32_t length = 0;
  if (NoteLane(ctx).length(length)) return length;
  int next = 0;
  return readLength(ctx, next);
}

namespace {

// A note the lane left: read from its start by the general path.  Kept out
// of onNote, so that the lane does not pay for this path's registers.
[[gnu::noinline]] void generalNote(CompileContext& ctx) {
  int pitch = notePitch(ctx, ctx.currentCode - kMmlNoteC);
  ctx.running.tieFlag = false;
  int32_t length = ctx.scanner.peek(ctx.mml.commands) == kMmlPortamento ? portamento(ctx, pitch)
                                                                        : playNote(ctx, pitch);
  finishNote(ctx, length);
}

}  // namespace

void onNote(CompileContext& ctx) {
  if (!NoteLane(ctx).play(ctx.currentCode - kMmlNoteC)) generalNote(ctx);
}

void onKeySignature(CompileContext& ctx) {
  int32_t& entry = ctx.part().keySignature[ctx.currentCode - kMmlKeyC];
  switch (ctx.scanner.lookup(ctx.mml.tuneChar)) {
    case kAuxFirst:
      entry = 1;
      break;
    case kAuxSecond:
      entry = -1;
      break;
    case kAuxThird:
      entry = 0;
      break;
    default:
      ctx.error("調号が見つかりません");
  }
}

namespace {

// A rest the lane left (see generalNote()).
[[gnu::noinline]] void generalRest(CompileContext& ctx) {
  ctx.emitByte(kEventRest);
  int next = 0;
  int32_t length = readLength(ctx, next);
  ctx.emitWord(length);
  PartState& p = ctx.part();
  p.steps = wrapSteps(int64_t{p.steps} + length);
}

}  // namespace

void onRest(CompileContext& ctx) {
  if (!NoteLane(ctx).rest()) generalRest(ctx);
}

void onOctaveOnce(CompileContext& ctx) { ctx.part().octaveShiftOnce += 1; }

void onDriverGate(CompileContext& ctx) {
  ctx.emitByte(kEventGate);
  ctx.emitByte(ctx.scanner.readNumber(0, 8));
}

void onOneNoteGate(CompileContext& ctx) {
  onDriverGate(ctx);
  ctx.part().oneShotGate = 1;
}

void onGateFraction(CompileContext& ctx) {
  ctx.part().gateValue = ctx.scanner.readNumber(0, ctx.settings.qwidth);
  ctx.part().gateMode = GateMode::kFraction;
}

void onGateSteps(CompileContext& ctx) {
  ctx.part().gateValue = ctx.scanner.readNumber(0, 384);
  ctx.part().gateMode = GateMode::kSteps;
}

void onDetune(CompileContext& ctx) { ctx.part().detune = ctx.scanner.readNumber(-32768, 32768); }

void onBareTie(CompileContext& ctx) { ctx.warn("タイコマンドは音符の直後で指定して下さい"); }
void onBareJoin(CompileContext& ctx) { ctx.warn("連結する音長が見つかりません"); }
void onBarePortamento(CompileContext& ctx) { ctx.warn("開始音程が見つかりません"); }

}  // namespace tallow
