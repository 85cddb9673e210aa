// The in-memory FM tone bank that the tone compiler fills and writes as an
// FMB file: an 8-byte header and 128 tone records of 48 bytes.
//
// The bank, its tone count and its name live for the whole program: a
// preprocessor run does not reset them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tallow {

constexpr size_t kFmbHeaderSize = 8;
constexpr size_t kToneRecordSize = 48;
constexpr size_t kToneRecordCount = 128;
constexpr size_t kFmbFileSize = kFmbHeaderSize + kToneRecordSize * kToneRecordCount;  // 6152

struct ToneBankState {
  std::array<uint8_t, kFmbFileSize> bytes{};
  int32_t toneCount = 0;
  std::string bankName;  // the latest .fmbfile name with ".FMB"; empty until one is given
};

}  // namespace tallow
