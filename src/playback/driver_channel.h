// One FM channel as the driver sees it: the current tone, volume, pan and
// relative operator offsets, turned into register writes.  The volume
// attenuates the carrier operators of the tone's algorithm: carrier TL =
// tone TL + relative TL + (127 - volume), at most 127; modulators keep their
// tone TL (plus the relative TL).  Frequencies are F-number and block for the
// chip clock of 7 987 200 Hz (rate clock / 144), A4 = 440 Hz.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "output/fm_registers.h"
#include "playback/playback.h"

namespace tallow::playback {

// Where chip writes go: the event list of the current instant.  A sink that
// is not heard drops everything.
struct WriteSink {
  std::vector<Event>* out = nullptr;
  Tick tick = 0;
  uint64_t step = 0;
  uint8_t part = 0;
  bool heard = true;
  void write(int port, uint8_t reg, uint8_t value) const;
  void add(Event event) const;  // fills tick, step and part
};

struct FmFrequency {
  uint8_t block = 0;  // 0-7
  uint16_t fnum = 0;  // 0-2047
  uint8_t high() const {
    return fm_field::kFnumHigh.put(fm_field::kBlock.put(0, block), fnum >> 8);
  }
  uint8_t low() const { return static_cast<uint8_t>(fnum & 0xFF); }
};

// The F-numbers of the twelve semitones from c at any block.
inline constexpr std::array<uint16_t, 12> kSemitoneFnum = {618, 655, 694, 735,  779,  825,
                                                           874, 926, 981, 1040, 1102, 1167};

// Block = pitch / 12 - 1 and the semitone's F-number plus `detune`; a result
// above 2047 moves up a block; a pitch below block 0 halves the F-number
// and one above block 7 doubles it, and the F-number is at most 2047.  A
// negative F-number is 0.
FmFrequency fmFrequency(int pitch, int detune);

// The built-in tone used when there is no bank: a soft two-carrier voice.
extern const std::array<uint8_t, 48> kDefaultTone;

class FmVoice {
 public:
  explicit FmVoice(int part) : part_(part) {}

  // Writes the tone record's operator and channel registers.
  void selectTone(std::span<const uint8_t> record, const WriteSink& sink);
  void setVolume(uint8_t volume, const WriteSink& sink);
  // Pan byte: left only for 60 - 4n, right only for 67 + 4n (n = 0..15),
  // both sides otherwise.
  void setPan(uint8_t pan, const WriteSink& sink);
  // Offsets per operator 1-4 from the tone's TL and AR.
  void setRelativeLevels(std::array<int8_t, 4> offsets, const WriteSink& sink);
  void setRelativeAttacks(std::array<int8_t, 4> offsets, const WriteSink& sink);
  // Channel 3 only: its special mode (four frequencies, one per operator).
  void setSpecialMode(bool on, const WriteSink& sink);
  bool specialMode() const { return special_; }

  void setFrequency(FmFrequency f, const WriteSink& sink);
  // Operator k (0-3) of channel 3 in its special mode.
  void setOperatorFrequency(int op, FmFrequency f, const WriteSink& sink);
  void keyOn(const WriteSink& sink, uint8_t operatorMask = 0xF);  // bit k: operator k + 1
  void keyOff(const WriteSink& sink);

  // A register write of the song to this channel: written as it is, except
  // that TL goes through the volume; TL, KS/AR, algorithm and output bits
  // are remembered for later volume, pan and offset changes.
  void registerWritten(uint8_t base, int slot, uint8_t value, const WriteSink& sink);

 private:
  int port() const;
  uint8_t reg(uint8_t base) const;
  uint8_t operatorReg(uint8_t base, int slot) const;
  bool carrier(int slot) const;
  void writeLevel(int slot, const WriteSink& sink) const;
  void writeAttack(int slot, const WriteSink& sink) const;
  void writeOutput(const WriteSink& sink) const;

  int part_;
  std::array<uint8_t, 4> tl_{};    // per register slot, from the tone (bits 6-0)
  std::array<uint8_t, 4> ksAr_{};  // per register slot
  std::array<int8_t, 4> relTl_{};  // per register slot
  std::array<int8_t, 4> relAr_{};  // per register slot
  uint8_t feedbackAlgorithm_ = 0;
  uint8_t output_ = 0xC0;  // L, R, AMS, PMS as in B4h
  uint8_t volume_ = 127;
  bool special_ = false;
};

}  // namespace tallow::playback
