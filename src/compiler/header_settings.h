// The compile-wide settings that header commands set, and the environment
// template they start from at every compile.
#pragma once

#include <cstdint>
#include <string>

namespace tallow {

constexpr int kKrbTypeKr3 = 3;

struct HeaderSettings {
  std::string title = "(UNKNOWN)";   // at most 64 bytes
  std::string artist = "(UNKNOWN)";  // at most 16 bytes
  std::string outputName;            // built from the source path; `.krbfile`
  std::string fmbName;               // at most 12 bytes each
  std::string pmbName;
  std::string wpkName;
  std::string partLetters = "123456ABCDEFGHX";  // at most 15
  std::string ignoredLetters;
  int16_t zenlen = 384;  // steps of a whole note
  int16_t vstart = 1;
  int16_t currentTempo = 120;
  int16_t timerValue = 600;
  int16_t soundUse = 0;
  int16_t decompile = 1;
  int16_t qwidth = 256;
  int16_t keywidth = 0;
  int16_t lengthScale = 1;
  int16_t panfix = 0;
  int16_t playCount = 1;
  int16_t krbType = kKrbTypeKr3;
  uint16_t fmSwitchMask = 0;
  int16_t polyMode = 0;
};

// The built-in environment template: the defaults above.
inline HeaderSettings environmentTemplate() { return HeaderSettings{}; }

}  // namespace tallow
