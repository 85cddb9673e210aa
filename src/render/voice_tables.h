// One-cycle wave tables of the built-in PCM voice, band-limited per octave.
//
// The voice is a bright tone (sixteen harmonics falling as 1/k) whose upper
// harmonics fade away after the attack, leaving a mellow tone (fundamental
// with a weak second and third harmonic).  Each of the two is stored in
// several versions with fewer harmonics, so that a table chosen by the
// note's frequency never holds a harmonic above 45 % of the output rate:
// the sound has no aliasing at any pitch.  Tables are built once per render
// and only read afterwards.
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

 private:
  std::array<std::vector<float>, kBands> mellow_;
  std::array<std::vector<float>, kBands> brightDelta_;
};

}  // namespace tallow::render
