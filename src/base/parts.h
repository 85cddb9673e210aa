// The fifteen parts of a song, always in this order: FM1-FM6 (indexes 0-5,
// the FM chip's two halves of three channels), PCM1-PCM8 (6-13) and BEEP
// (14).
#pragma once

#include <array>

namespace tallow {

constexpr int kPartCount = 15;
constexpr int kFmPartCount = 6;
constexpr int kFirstPcmPart = 6;
constexpr int kPcmPartCount = 8;
constexpr int kBeepPart = 14;

constexpr bool isFmPart(int part) { return part >= 0 && part < kFmPartCount; }
constexpr bool isPcmPart(int part) {
  return part >= kFirstPcmPart && part < kFirstPcmPart + kPcmPartCount;
}

// The display names in part order, "FM1" .. "BEEP".
inline constexpr std::array<const char*, kPartCount> kPartNames = {
    "FM1",  "FM2",  "FM3",  "FM4",  "FM5",  "FM6",  "PCM1", "PCM2",
    "PCM3", "PCM4", "PCM5", "PCM6", "PCM7", "PCM8", "BEEP"};

}  // namespace tallow
