// The in-memory FM tone bank that the tone compiler fills and writes as an
// FMB file (layout in output/fmb_format.h).
//
// The bank, its tone count, its name and the tone-name buffer live for the
// whole program: a preprocessor run does not reset them.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

#include "output/fmb_format.h"

namespace tallow {

struct ToneBankState {
  std::array<uint8_t, kFmbFileSize> bytes{};
  int32_t toneCount = 0;
  std::bitset<kToneRecordCount> defined;  // the records a tone was stored in
  std::string bankName;  // the latest .fmbfile name with ".FMB"; empty until one is given
  // The name of the latest tone that had one, NUL-terminated.  Never cleared:
  // a tone whose parameter order has no name keeps the name before it.
  std::array<char, kToneNameLength + 1> toneName{};
};

}  // namespace tallow
