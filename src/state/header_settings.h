// The compile-wide settings that header commands set, and the environment
// template they start from at every compile; and apart from them the running
// state that MML commands change as they compile.
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
  int16_t soundUse = 0;
  int16_t decompile = 1;
  int16_t qwidth = 256;
  int16_t keywidth = 0;  // detune units per semitone; 0: detune values as written
  int16_t panfix = 0;
  int16_t playCount = 1;
  int16_t krbType = kKrbTypeKr3;
};

// The built-in environment template: the defaults above.
inline HeaderSettings environmentTemplate() { return HeaderSettings{}; }

// The compile-wide values that MML commands change as they compile, shared
// by all parts: the last tempo command compiled, in whatever part, decides
// the scale of later lengths in every part.
struct MmlRunState {
  int16_t currentTempo = 120;  // quarter notes a minute, as last set or derived
  int16_t timerValue = 600;    // the timer value last emitted
  int16_t lengthScale = 1;     // 4 while the tempo was last set with "TB"
  uint16_t fmSwitchMask = 0;   // "@x" / "@X" in the KR3 format, one bit per FM part
  int16_t polyMode = 0;        // "@M"
  bool tieFlag = false;        // the note or chord being compiled is tied to the next
};

}  // namespace tallow
