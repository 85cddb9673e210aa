// The FMB tone-bank file: exactly 6152 bytes, an 8-byte header and 128 tone
// records of 48 bytes.  Record i holds the tone numbered i plus the start
// number in force when it was defined.  All fields are single bytes.
//
// Operator values stand in four consecutive bytes in register slot order:
// slot s belongs to operator kOperatorSlotOrder[s] (operators 1, 3, 2, 4),
// and each byte has the bit layout of the FM register group it is written
// to (see fm_registers.h).  The tone compiler writes records, the compiler
// reads them when a part selects a tone, and the player reads them to set
// up the chip.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tallow {

constexpr size_t kFmbHeaderSize = 8;
constexpr size_t kToneRecordSize = 48;
constexpr size_t kToneRecordCount = 128;
constexpr size_t kFmbFileSize = kFmbHeaderSize + kToneRecordSize * kToneRecordCount;  // 6152
constexpr size_t kToneNameLength = 8;

// The offset of tone record `index` in the file.
constexpr size_t toneRecordOffset(size_t index) { return kFmbHeaderSize + kToneRecordSize * index; }

// Offsets within a tone record.  The six operator groups hold four bytes each,
// one per register slot.
namespace tone_record {
constexpr size_t kName = 0;                // 8 bytes, NUL-terminated when shorter
constexpr size_t kDetuneMultiple = 8;      // DT * 16 + ML
constexpr size_t kTotalLevel = 12;         // TL
constexpr size_t kKeyScaleAttack = 16;     // KS * 64 + AR
constexpr size_t kAmDecay = 20;            // AM * 128 + DR
constexpr size_t kSustainRate = 24;        // SR
constexpr size_t kSustainRelease = 28;     // SL * 16 + RR
constexpr size_t kFeedbackAlgorithm = 32;  // FB * 8 + AL
constexpr size_t kOutputModulation = 33;   // L * 128 + R * 64 + AMS * 16 + PMS
}  // namespace tone_record

// Register slot s belongs to operator kOperatorSlotOrder[s] (0-based), and
// operator k (0-3) uses register slot kOperatorSlotOrder[k]: the order is its
// own inverse.
constexpr std::array<int, 4> kOperatorSlotOrder = {0, 2, 1, 3};

}  // namespace tallow
