// One optimiser pass.  A read position and a write position move through
// the same buffer; the write position never passes the read position,
// because no event is ever made longer.
#include "output/optimizer.h"

#include <array>

#include "output/krb_format.h"

namespace tallow {
namespace {

constexpr int kNoStop = -1;

// The last value written of each remembered setting; the initial values
// stand for "none yet" (1024 lies outside every detune written).
struct Memories {
  int tone = -1, gate = -1, volume = -1, detune = 1024, pan = -1;

  void resetButGate() {
    int keep = gate;
    *this = Memories{};
    gate = keep;
  }
};

class Pass {
 public:
  Pass(uint8_t* s, size_t length) : s_(s), length_(length) {}
  size_t run();

 private:
  bool fits(size_t count) const { return count <= length_ - r_; }
  int word(size_t at) const { return s_[at] | s_[at + 1] << 8; }
  bool isBarrier(int code, int stopCode) const;
  bool isSuperseded(size_t position, int code, int stopCode) const;
  void copy(size_t count) {
    if (w_ != r_) {
      for (size_t i = 0; i < count; ++i) s_[w_ + i] = s_[r_ + i];  // events are short
    }
    w_ += count;
    r_ += count;
  }
  void writeTimed(uint8_t code, uint32_t length);
  void note();
  void rest();
  // A setting remembered in `memory`; returns false when it was dropped.
  bool remembered(int& memory, int value, size_t count, int stopCode);

  uint8_t* s_;
  size_t length_;
  size_t r_ = 0;
  size_t w_ = 0;
  Memories m_;
};

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

bool Pass::isBarrier(int code, int stopCode) const { return kBarrier[code] || code == stopCode; }

bool Pass::isSuperseded(size_t position, int code, int stopCode) const {
  while (position < length_) {
    int candidate = s_[position];
    if (candidate == code) return true;
    if (isBarrier(candidate, stopCode)) return false;
    position += kEventLength[candidate];
  }
  return false;
}

void Pass::writeTimed(uint8_t code, uint32_t length) {
  s_[w_] = code;
  s_[w_ + 1] = static_cast<uint8_t>(length & 0xFF);
  s_[w_ + 2] = static_cast<uint8_t>(length >> 8);
  w_ += 3;
}

void Pass::note() {
  uint8_t pitch = s_[r_];
  uint32_t total = static_cast<uint32_t>(word(r_ + 1));
  r_ += 3;
  while (fits(4) && s_[r_] == kEventTie && s_[r_ + 1] == pitch &&
         total + static_cast<uint32_t>(word(r_ + 2)) <= 0xFFFF) {
    total += static_cast<uint32_t>(word(r_ + 2));
    r_ += 4;
  }
  writeTimed(pitch, total);
}

void Pass::rest() {
  uint32_t total = static_cast<uint32_t>(word(r_ + 1));
  r_ += 3;
  while (fits(3) && s_[r_] == kEventRest && total + static_cast<uint32_t>(word(r_ + 1)) <= 0xFFFE) {
    total += static_cast<uint32_t>(word(r_ + 1));
    r_ += 3;
  }
  writeTimed(kEventRest, total);
}

bool Pass::remembered(int& memory, int value, size_t count, int stopCode) {
  if (isSuperseded(r_ + count, s_[r_], stopCode) || value == memory) {
    r_ += count;
    return false;
  }
  memory = value;
  copy(count);
  return true;
}

size_t Pass::run() {
  while (r_ < length_) {
    int code = s_[r_];
    size_t count = kEventLength[code];
    if (isNoteCode(static_cast<uint8_t>(code))) {  // the most common event
      if (!fits(3)) return 0;
      note();
      continue;
    }
    if (code == kEventEnd) {
      copy(1);
      return w_;
    }
    if (count == 0 || code < kFirstCommandCode || !fits(count)) return 0;
    switch (code) {
      case kEventRest:
        rest();
        break;
      case kEventTie:
      case kEventChord:
      case kEventLoopEscape:
        copy(count);
        break;
      case kEventTone:
        if (isSuperseded(r_ + count, kEventTone, kNoStop)) {
          r_ += count;
        } else {
          remembered(m_.tone, s_[r_ + 1], count, kNoStop);
          m_.pan = -1;  // a tone change may reset the pan
        }
        break;
      case kEventGate:
        remembered(m_.gate, s_[r_ + 1], count, kNoStop);
        break;
      case kEventVolume:
        remembered(m_.volume, s_[r_ + 1], count, kNoStop);
        break;
      case kEventPan:
        remembered(m_.pan, s_[r_ + 1], count, kEventTone);
        break;
      case kEventDetune:
        remembered(m_.detune, static_cast<int16_t>(word(r_ + 1)), count, kEventRegister);
        break;
      case kEventRegister:
      case kEventSettingAtQ:
        copy(count);
        m_.resetButGate();
        break;
      case kEventLoopStart:
        copy(count);
        m_ = Memories{};
        break;
      case kEventLoopEnd:
        copy(count);
        if (s_[r_ - 1] == 0) return w_;  // an endless loop ends the part
        m_ = Memories{};
        break;
      default:
        if (isSuperseded(r_ + count, code, kNoStop)) {
          r_ += count;
        } else {
          copy(count);
        }
    }
  }
  return 0;  // no end code: not a well-formed stream
}

}  // namespace

size_t optimizeStream(uint8_t* stream, size_t length) { return Pass(stream, length).run(); }

}  // namespace tallow
