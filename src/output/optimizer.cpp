// The stream optimiser.  One walk reads events at a read position and writes
// what it keeps at a write position in the same buffer; the write position
// never passes the read position, because no event is ever made longer.
//
// The first pass decides each event of the input: it drops a setting that a
// later one of the same code makes useless (the look-ahead, which reads the
// input ahead of the read position, still untouched) or that repeats the
// value in force, joins tied notes of one pitch and runs of rests, and fails
// on an undefined code.
//
// Two passes in one walk.  The events that the first pass keeps go, one by
// one, to a follower that does to them what a second pass would do.  A
// second pass over the first's result changes only this:
// - it joins a note, a tie (0x86) and a note of the same pitch that the
//   first pass left apart because it dropped settings between them, and
//   likewise two rests;
// - it may drop a pan (0x93) that the first pass kept, because the first
//   pass dropped tone changes (0x81), which end a pan's look-ahead and, when
//   dropped for their repeated value, made it forget its pan.
// Every other event it keeps.  Of the events that end a look-ahead the first
// pass drops only tone changes, and they end only the pan's; so no other
// setting that it kept finds a later one of its code in its result.  And
// both passes remember the settings the first kept and forget them at the
// same events, so for every code but the pan their memories agree and no
// kept setting repeats the value in force.  The follower therefore joins
// notes and rests backwards, into the event it wrote last, and keeps the
// last pan pending until the next pan, tone change or barrier that the
// first pass keeps tells whether the second pass would keep it.
#include "output/optimizer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "output/krb_format.h"

namespace tallow {
namespace {

constexpr int kNoStop = -1;
constexpr int kNoValue = -1;           // no value written yet
constexpr int kNoDetune = 1024;        // the detune memory's "none yet"
constexpr uint32_t kMaxNote = 0xFFFF;  // the longest joined note
constexpr uint32_t kMaxRest = 0xFFFE;  // the longest joined rest
constexpr size_t kLongestEvent = *std::max_element(kEventLength.begin(), kEventLength.end());
constexpr size_t kTieLength = kEventLength[kEventTie];
constexpr size_t kTiedNoteLength = kTieLength + kNoteEventLength;
constexpr size_t kRestLength = kEventLength[kEventRest];
constexpr size_t kDetuneLength = kEventLength[kEventDetune];
constexpr size_t kByteSettingLength = kEventLength[kEventPan];  // code and value
static_assert(kEventLength[kEventTone] == kByteSettingLength &&
              kEventLength[kEventGate] == kByteSettingLength &&
              kEventLength[kEventVolume] == kByteSettingLength);
constexpr size_t kLoopStartLength = kEventLength[kEventLoopStart];
constexpr size_t kLoopEndLength = kEventLength[kEventLoopEnd];
constexpr size_t kEndLength = 1;

// The last value written of each remembered setting.
struct Memories {
  int tone = kNoValue, gate = kNoValue, volume = kNoValue, detune = kNoDetune, pan = kNoValue;

  void resetButGate() {
    int keep = gate;
    *this = Memories{};
    gate = keep;
  }
};

// What the first pass does with each code.
enum class Action : uint8_t {
  kFail,  // no event
  kNote,
  kTie,
  kRest,
  kDetune,
  kVolume,
  kGate,
  kPan,
  kTone,
  kSetting,  // dropped when superseded, else copied
  kBarrier,  // copied: chords and loop escapes
  kReset,    // copied, then the memories but the gate are forgotten
  kLoopStart,
  kLoopEnd,
  kEnd,
};

constexpr std::array<Action, 256> makeActions() {
  std::array<Action, 256> action{};
  for (int code = 0; code <= kLastNoteCode; ++code) action[code] = Action::kNote;
  for (const EventInfo& e : kCommandEvents) action[e.code] = Action::kSetting;
  action[kEventTie] = Action::kTie;
  action[kEventRest] = Action::kRest;
  action[kEventDetune] = Action::kDetune;
  action[kEventVolume] = Action::kVolume;
  action[kEventGate] = Action::kGate;
  action[kEventPan] = Action::kPan;
  action[kEventTone] = Action::kTone;
  action[kEventChord] = Action::kBarrier;
  action[kEventLoopEscape] = Action::kBarrier;
  action[kEventRegister] = Action::kReset;
  action[kEventSettingAtQ] = Action::kReset;
  action[kEventLoopStart] = Action::kLoopStart;
  action[kEventLoopEnd] = Action::kLoopEnd;
  action[kEventEnd] = Action::kEnd;
  return action;
}

constexpr std::array<Action, 256> kAction = makeActions();

// The codes that end a look-ahead: notes, chords, rests, loop events,
// register writes, the end code and every code that is no event.
constexpr std::array<bool, 256> makeBarriers() {
  std::array<bool, 256> barrier{};
  for (int code = 0; code < 256; ++code)
    barrier[code] = code < kFirstCommandCode || kEventLength[code] == 0;
  for (uint8_t code : {kEventChord, kEventRest, kEventEnd, kEventLoopStart, kEventLoopEnd,
                       kEventRegister, kEventLoopEscape}) {
    barrier[code] = true;
  }
  return barrier;
}

constexpr std::array<bool, 256> kBarrier = makeBarriers();

// Moves the `kCount` bytes of events at `from` to `to`, no later, with one
// load and one store of `sizeof(Word)` bytes.  The bytes stored past the
// events lie before the end of the bytes moved (`to` is at least the
// dropped detune's length behind `from`), where the walk has read all.
template <typename Word, size_t kCount>
inline void moveEvents(uint8_t* to, const uint8_t* from) {
  static_assert(kCount <= sizeof(Word) && sizeof(Word) <= kCount + kEventLength[kEventDetune]);
  Word bytes;
  std::memcpy(&bytes, from, sizeof bytes);
  std::memcpy(to, &bytes, sizeof bytes);
}

// The kind of the last event the follower was handed, for joining.
enum class Last : uint8_t { kOther, kNote, kTieAfterNote, kRest };

// One walk over a stream: the first pass, followed by the second when
// `kTwoPasses`.  Invariant: w_ <= r_ <= length_.
template <bool kTwoPasses>
class Walk {
 public:
  Walk(uint8_t* s, size_t length) : s_(s), length_(length) {}
  size_t run();

 private:
  bool step(uint8_t code);
  uint32_t word(size_t at) const { return s_[at] | s_[at + 1] << 8; }
  void setWord(size_t at, uint32_t value) {
    s_[at] = static_cast<uint8_t>(value & 0xFF);
    s_[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  bool isSuperseded(size_t position, uint8_t code, int stopCode) const;
  template <size_t kCount>
  void copy() {
    std::memmove(s_ + w_, s_ + r_, kCount);
    w_ += kCount;
    r_ += kCount;
  }
  void copy(size_t count);

  // The first pass, one event each; r_ is at the event, which fits.
  void note();
  void plainNotes();
  void rest();
  template <size_t kCount>
  void remembered(int& memory, int value, int stopCode);
  void tone();
  void setting(size_t count);
  void reset(size_t count);

  // The follower: the events the first pass keeps.
  void keepNote(uint8_t pitch, uint32_t total);
  void keepRest(uint32_t total);
  void keepTie();
  template <size_t kCount>
  void keepSetting() {
    if constexpr (kTwoPasses) last_ = Last::kOther;
    copy<kCount>();
  }
  void keepPan();
  void keepBarrier();
  void forgetPan();
  void settlePan(bool superseded);

  uint8_t* s_;
  size_t length_;
  size_t r_ = 0;
  size_t w_ = 0;
  Memories m_;

  // The second pass's state.  While a pan is pending at pendingPan_, pan_ is
  // the pan memory as if that pan were dropped.
  Last last_ = Last::kOther;
  int pan_ = kNoValue;
  bool panPending_ = false;
  bool panForgotten_ = false;  // the memories were reset after the pending pan
  int panBefore_ = kNoValue;
  size_t pendingPan_ = 0;
};

template <bool kTwoPasses>
bool Walk<kTwoPasses>::isSuperseded(size_t position, uint8_t code, int stopCode) const {
  while (position < length_) {
    uint8_t candidate = s_[position];
    if (candidate == code) return true;
    if (kBarrier[candidate] || candidate == stopCode) return false;
    position += kEventLength[candidate];
  }
  return false;
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::copy(size_t count) {
  std::memmove(s_ + w_, s_ + r_, count);
  w_ += count;
  r_ += count;
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::note() {
  uint8_t pitch = s_[r_];
  uint32_t total = word(r_ + 1);
  r_ += kNoteEventLength;
  while (length_ - r_ >= kTiedNoteLength && s_[r_] == kEventTie && s_[r_ + 1] == pitch) {
    uint32_t next = word(r_ + 2);
    if (total + next > kMaxNote) break;
    total += next;
    r_ += kTiedNoteLength;
  }
  keepNote(pitch, total);
}

// After a note or a rest: the run of notes that follows, each after a
// detune of the value in force, alone, gated (a tie and a rest after it) or
// tied to the next, taken as note(), keepTie() and rest() would take them
// one by one: the detune dropped, the rest copied, nothing joined (no tie of
// the same pitch follows a note, in either pass, and no rest a rest) and no
// pan pending.  This is the body of most streams, and of every expanded
// loop.
template <bool kTwoPasses>
void Walk<kTwoPasses>::plainNotes() {
  constexpr size_t kPair = kDetuneLength + kNoteEventLength;
  constexpr size_t kGatedTail = kTieLength + kRestLength;
  uint8_t* s = s_;
  size_t r = r_;
  size_t w = w_;
  Last last = last_;
  // The second pass joins a note to the tied note of its pitch before it.
  auto joinsTheTiedNote = [&](uint8_t pitch) {
    return length_ - r <= kDetuneLength || s[r + kDetuneLength] == pitch;
  };
  if constexpr (kTwoPasses) {
    if (panPending_ || (last == Last::kTieAfterNote && joinsTheTiedNote(s[w - kTiedNoteLength]))) {
      return;
    }
  }
  // The detune event of the value in force: its three bytes as the first
  // three of a four-byte load give them, in the machine's byte order.
  const uint8_t detuneBytes[4] = {kEventDetune, static_cast<uint8_t>(m_.detune & 0xFF),
                                  static_cast<uint8_t>((m_.detune >> 8) & 0xFF), 0};
  const uint8_t maskBytes[4] = {0xFF, 0xFF, 0xFF, 0};
  uint32_t detune;
  uint32_t mask;
  std::memcpy(&detune, detuneBytes, sizeof detune);
  std::memcpy(&mask, maskBytes, sizeof mask);
  auto detuneAt = [&](size_t at) {
    uint32_t bytes;
    std::memcpy(&bytes, s + at, sizeof bytes);
    return (bytes & mask) == detune;
  };
  while (length_ - r > kPair && detuneAt(r) && s[r + kDetuneLength] <= kLastNoteCode) {
    const uint8_t* from = s + r + kDetuneLength;
    if (from[kNoteEventLength] != kEventTie) {
      moveEvents<uint32_t, kNoteEventLength>(s + w, from);
      w += kNoteEventLength;
      r += kPair;
      last = Last::kNote;
      continue;
    }
    if (length_ - r <= kPair + kTieLength) break;
    const uint8_t tied = from[kNoteEventLength + kTieLength];
    if (tied == kEventRest) {
      if (length_ - r <= kPair + kGatedTail || from[kNoteEventLength + kGatedTail] == kEventRest) {
        break;
      }
      moveEvents<uint64_t, kNoteEventLength + kGatedTail>(s + w, from);
      w += kNoteEventLength + kGatedTail;
      r += kPair + kGatedTail;
      last = Last::kRest;
      continue;
    }
    const uint8_t pitch = from[0];
    if (tied == pitch) break;  // the first pass joins a tie of the same pitch
    moveEvents<uint32_t, kNoteEventLength + kTieLength>(s + w, from);
    w += kNoteEventLength + kTieLength;
    r += kPair + kTieLength;
    last = Last::kTieAfterNote;
    if (joinsTheTiedNote(pitch)) break;
  }
  r_ = r;
  w_ = w;
  if constexpr (kTwoPasses) last_ = last;
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::rest() {
  uint32_t total = word(r_ + 1);
  r_ += kRestLength;
  while (length_ - r_ >= kRestLength && s_[r_] == kEventRest) {
    uint32_t next = word(r_ + 1);
    if (total + next > kMaxRest) break;
    total += next;
    r_ += kRestLength;
  }
  keepRest(total);
}

template <bool kTwoPasses>
template <size_t kCount>
void Walk<kTwoPasses>::remembered(int& memory, int value, int stopCode) {
  uint8_t code = s_[r_];
  if (value == memory || isSuperseded(r_ + kCount, code, stopCode)) {
    r_ += kCount;
    return;
  }
  memory = value;
  if (code == kEventPan) {
    keepPan();
  } else {
    keepSetting<kCount>();
  }
}

// A tone change forgets the pan, unless a later tone change supersedes it.
template <bool kTwoPasses>
void Walk<kTwoPasses>::tone() {
  if (isSuperseded(r_ + kByteSettingLength, kEventTone, kNoStop)) {
    r_ += kByteSettingLength;
    return;
  }
  int value = s_[r_ + 1];
  m_.pan = kNoValue;
  if (value == m_.tone) {
    r_ += kByteSettingLength;
    return;
  }
  m_.tone = value;
  keepBarrier();  // it ends the pending pan's look-ahead
  forgetPan();
  copy<kByteSettingLength>();
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::setting(size_t count) {
  if (isSuperseded(r_ + count, s_[r_], kNoStop)) {
    r_ += count;
    return;
  }
  if constexpr (kTwoPasses) last_ = Last::kOther;
  copy(count);
}

// A register write ends every look-ahead, "@Q" (0x9D) none.
template <bool kTwoPasses>
void Walk<kTwoPasses>::reset(size_t count) {
  if (s_[r_] == kEventRegister) keepBarrier();
  forgetPan();
  copy(count);
  m_.resetButGate();
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::keepNote(uint8_t pitch, uint32_t total) {
  if constexpr (kTwoPasses) {
    size_t before = w_ - kTiedNoteLength;  // the note before the tie, if that came last
    if (last_ == Last::kTieAfterNote && s_[before] == pitch) {
      uint32_t joined = word(before + 1) + total;
      if (joined <= kMaxNote) {
        setWord(before + 1, joined);
        w_ -= kTieLength;
        last_ = Last::kNote;
        return;
      }
    }
    settlePan(false);
    last_ = Last::kNote;
  }
  s_[w_] = pitch;
  setWord(w_ + 1, total);
  w_ += kNoteEventLength;
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::keepRest(uint32_t total) {
  if constexpr (kTwoPasses) {
    if (last_ == Last::kRest) {
      size_t before = w_ - kRestLength;
      uint32_t joined = word(before + 1) + total;
      if (joined <= kMaxRest) {
        setWord(before + 1, joined);
        return;
      }
    }
    settlePan(false);
    last_ = Last::kRest;
  }
  s_[w_] = kEventRest;
  setWord(w_ + 1, total);
  w_ += kRestLength;
}

template <bool kTwoPasses>
void Walk<kTwoPasses>::keepTie() {
  if constexpr (kTwoPasses) last_ = last_ == Last::kNote ? Last::kTieAfterNote : Last::kOther;
  s_[w_] = kEventTie;
  w_ += kTieLength;
  r_ += kTieLength;
}

// A pan the first pass keeps supersedes the pending one: nothing that ends a
// look-ahead came between, or the pending pan would be settled.
template <bool kTwoPasses>
void Walk<kTwoPasses>::keepPan() {
  if constexpr (kTwoPasses) {
    settlePan(true);
    panPending_ = true;
    panForgotten_ = false;
    panBefore_ = pan_;
    pendingPan_ = w_;
    last_ = Last::kOther;
  }
  copy<kByteSettingLength>();
}

// Before an event that ends the pending pan's look-ahead is written.
template <bool kTwoPasses>
void Walk<kTwoPasses>::keepBarrier() {
  if constexpr (kTwoPasses) {
    settlePan(false);
    last_ = Last::kOther;
  }
}

// The second pass forgets its pan at the events where the first forgets all
// memories but the gate and at tone changes it keeps.
template <bool kTwoPasses>
void Walk<kTwoPasses>::forgetPan() {
  if constexpr (kTwoPasses) {
    pan_ = kNoValue;
    panForgotten_ = true;
    last_ = Last::kOther;
  }
}

// The second pass drops the pending pan when it is superseded or repeats its
// pan memory.  Only settings and ties follow it, written since the last
// barrier; they move back over its two bytes.
template <bool kTwoPasses>
void Walk<kTwoPasses>::settlePan(bool superseded) {
  if (!panPending_) return;
  panPending_ = false;
  int value = s_[pendingPan_ + 1];
  if (!superseded && value != panBefore_) {
    if (!panForgotten_) pan_ = value;
    return;
  }
  size_t after = pendingPan_ + kByteSettingLength;
  std::memmove(s_ + pendingPan_, s_ + after, w_ - after);
  w_ -= kByteSettingLength;
}

// The common events first, without the general dispatch, in the order in
// which they usually come (a detune, a note, a tie, a rest, and round again
// at the next detune); in the body of the stream, where any event fits, they
// need no bounds check.
template <bool kTwoPasses>
size_t Walk<kTwoPasses>::run() {
  const size_t body = length_ > kLongestEvent ? length_ - kLongestEvent : 0;
  for (;;) {
    uint8_t code;
    if (r_ < body) {
      code = s_[r_];
      if (code == kEventDetune) {
        remembered<kDetuneLength>(m_.detune, static_cast<int16_t>(word(r_ + 1)), kEventRegister);
        if (r_ >= body) continue;
        code = s_[r_];
      }
      if (code <= kLastNoteCode) {
        note();
        plainNotes();
        if (r_ >= body) continue;
        code = s_[r_];
      }
      if (code == kEventTie) {
        keepTie();
        if (r_ >= body) continue;
        code = s_[r_];
      }
      if (code == kEventRest) {
        rest();
        plainNotes();
        continue;
      }
      // The next note's detune: the top of the loop takes it.
      if (code == kEventDetune) continue;
    } else {
      if (r_ >= length_) return 0;  // no end code: not a well-formed stream
      code = s_[r_];
      if (kEventLength[code] > length_ - r_) return 0;  // a truncated event
    }
    if (!step(code)) return code == kEventEnd || code == kEventLoopEnd ? w_ : 0;
  }
}

// Any event that fits; false when the walk ends there.
template <bool kTwoPasses>
bool Walk<kTwoPasses>::step(uint8_t code) {
  switch (kAction[code]) {
    case Action::kNote:
      note();
      return true;
    case Action::kDetune:
      remembered<kDetuneLength>(m_.detune, static_cast<int16_t>(word(r_ + 1)), kEventRegister);
      return true;
    case Action::kTie:
      keepTie();
      return true;
    case Action::kRest:
      rest();
      return true;
    case Action::kVolume:
      remembered<kByteSettingLength>(m_.volume, s_[r_ + 1], kNoStop);
      return true;
    case Action::kGate:
      remembered<kByteSettingLength>(m_.gate, s_[r_ + 1], kNoStop);
      return true;
    case Action::kPan:
      remembered<kByteSettingLength>(m_.pan, s_[r_ + 1], kEventTone);
      return true;
    case Action::kTone:
      tone();
      return true;
    case Action::kSetting:
      setting(kEventLength[code]);
      return true;
    case Action::kBarrier:
      keepBarrier();
      copy(kEventLength[code]);
      return true;
    case Action::kReset:
      reset(kEventLength[code]);
      return true;
    case Action::kLoopStart:
      keepBarrier();
      forgetPan();
      copy<kLoopStartLength>();
      m_ = Memories{};
      return true;
    case Action::kLoopEnd:
      keepBarrier();
      forgetPan();
      copy<kLoopEndLength>();
      m_ = Memories{};
      return s_[r_ - 1] != 0;  // an endless loop ends the part
    case Action::kEnd:
      keepBarrier();
      copy<kEndLength>();
      return false;
    case Action::kFail:
      break;
  }
  return false;
}

}  // namespace

// Flattened, the walk's state lives in registers: the stream's bytes could
// alias it only if its address escaped into a call.
[[gnu::flatten]] size_t optimizeStream(uint8_t* stream, size_t length) {
  Walk<false> walk(stream, length);
  return walk.run();
}

[[gnu::flatten]] size_t optimizeStreamTwice(uint8_t* stream, size_t length) {
  Walk<true> walk(stream, length);
  return walk.run();
}

}  // namespace tallow
