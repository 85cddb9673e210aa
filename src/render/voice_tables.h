// One-cycle wave tables of the built-in PCM voice, band-limited per octave.
//
// The voice is a bright tone (sixteen harmonics falling as 1/k) whose upper
// harmonics fade away after the attack, leaving a mellow tone (fundamental
// with a weak second and third harmonic).  Each of the two is stored in
// several versions with fewer harmonics, so that a table chosen by the
// note's frequency never holds a harmonic above 45 % of the output rate:
// the sound has no aliasing at any pitch.  The BEEP voice's square wave is
// stored the same way: odd harmonics falling as 1/k, as many as stay below
// that limit.  Tables are built once per render and only read afterwards;
// they are summed from one sine table computed by a series in plain double
// arithmetic, so every build gives the same bits.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace tallow::render {

class VoiceTables {
 public:
  static constexpr size_t kSize = 2048;  // samples per cycle, a power of two
  static constexpr size_t kMask = kSize - 1;
  static constexpr int kBands = 5;                  // 16, 8, 4, 2 and 1 harmonics
  static constexpr double kHighestHarmonic = 0.45;  // of the output rate

  VoiceTables();

  // The tables for a tone of `cyclesPerSample`; nullptr when even its
  // fundamental lies above the limit (such a tone is not played).  Each table
  // has kSize + 1 entries: the last repeats the first for interpolation.
  struct Pair {
    const float* mellow;
    const float* bright;  // the bright tone minus the mellow one
  };
  bool find(double cyclesPerSample, Pair& pair) const;

  // The square wave: kSquareSize + 1 entries a cycle (the last repeats the
  // first), levels of +-1 (the band-limited wave overshoots them slightly).
  static constexpr size_t kSquareSize = 4096;
  static constexpr int kSquareBands = 10;  // 1, 3, 7, ... 1023: up to 2^(b+1) - 1
  // The richest square for a tone of `cyclesPerSample`; nullptr when even
  // its fundamental lies above the limit.
  const float* square(double cyclesPerSample) const;

 private:
  std::array<std::vector<float>, kBands> mellow_;
  std::array<std::vector<float>, kBands> brightDelta_;
  std::array<std::vector<float>, kSquareBands> square_;
};

}  // namespace tallow::render
