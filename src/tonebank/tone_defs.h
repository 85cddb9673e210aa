// The tone bank's compiler, run by the preprocessor: it reads
// the tone definitions in the source, parameter-order lines ("#@"), tone
// lines ("@", "'@", "'$" and their continuation lines) and the tone start
// number (".vstart"), and packs complete tones into the program's tone bank.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/compile_job.h"
#include "base/out_stream.h"
#include "tonebank/tone_bank.h"

namespace tallow {

inline constexpr size_t kOrderCapacity = 64;
inline constexpr uint8_t kOrderEnd = 127;  // the "*" entry that ends an order
inline constexpr uint8_t kToneNameCode = 63;
inline constexpr uint8_t kToneNumberCode = 1;

// Separators between tokens of order and tone lines.
inline constexpr std::string_view kToneSeparators = " \t\n,={}";

// The tone compiler's state for one preprocessor run.  Invariant: while no
// order is being defined (orderCount == 0), `order` holds a kOrderEnd entry
// at an index below 63, so a tone's position never runs past it.
struct ToneDefState {
  explicit ToneDefState(ToneBankState& programBank);

  ToneBankState& bank;
  std::array<uint8_t, kOrderCapacity> order{};
  int orderCount = 0;     // entries read of an order being defined; 0 when none is
  int orderPosition = 0;  // index in `order` of the next value; 0 when no tone is in progress
  std::array<uint8_t, 64> values{};  // by parameter code
  int startNumber = 1;
};

// The start-of-run settings: the default order, nothing in progress, start 1.
void resetToneState(ToneDefState& state);

inline bool toneInProgress(const ToneDefState& state) { return state.orderPosition != 0; }

// The parameter code of an order token ("NO", "TL1", "*", ...), or -1.
int parameterCode(std::string_view token);

// A "#@" line from `pos`.  On failure the message has been printed.
bool defineToneOrder(ToneDefState& state, std::string_view line, size_t& pos, OutStream& messages);

// A tone line from `pos`.  Stores the tone when its last value is read and
// leaves `pos` behind the separators after it.  On failure the message has
// been printed.
bool defineToneValues(ToneDefState& state, std::string_view line, size_t& pos, OutStream& messages);

// Packs the values into a record of the bank at tone number - start number.
// Refuses a tone whose index lies outside the bank (message printed).
bool storeTone(ToneDefState& state, OutStream& messages);

// A ".vstart" line from `pos`; false for a start number other than 0 or 1
// (the caller prints the message).
bool setStartNumber(ToneDefState& state, std::string_view line, size_t& pos);

// Converts a decimal word as the decimal conversions of the source do:
// optional sign and digits, saturating at the 32-bit limits.
int32_t decimalValue(std::string_view word);

// The 48-byte record of the tone with the given parameter values and name.
std::array<uint8_t, kToneRecordSize> packToneRecord(
    const std::array<uint8_t, 64>& values, const std::array<char, kToneNameLength + 1>& name);

// The end-of-run report of a successful run: unfinished definitions, the
// number of tones, and writing the bank when tones were defined.
void reportTones(ToneDefState& state, const std::string& sourceDir, OutStream& messages);

}  // namespace tallow
