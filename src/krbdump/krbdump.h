// A readable listing of a KRB file, for musicians debugging a song: the
// header fields, then each part's events one per line (offset, bytes, name,
// operands) with the running position in steps and in bars and beats at the
// song's whole-note length; tempo events with their tempo in BPM; driver
// loops labelled with how often they play.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/parts.h"
#include "base/text.h"
#include "output/krb_reader.h"

namespace tallow {

struct KrbDumpOptions {
  // List the events even of a file locked against reverse compilation.
  bool ignoreLock = false;
  // The parts whose events are listed.
  std::array<bool, kPartCount> parts = allParts();

  static constexpr std::array<bool, kPartCount> allParts() {
    std::array<bool, kPartCount> all{};
    all.fill(true);
    return all;
  }
};

// The listing of a checked file.  A locked file lists its header and a
// one-line notice only.  Titles and names are the user's text.
Text dumpKrb(const KrbFile& file, const KrbDumpOptions& options = {});

// Each part's length in steps (every pass of its finite loops, one pass of
// its endless loop) and in seconds (following the tempo events of the whole
// song, as the driver plays it), its endless loop's length, and a warning
// when the parts that play notes end at different steps.
Text summarizeKrb(const KrbFile& file, const KrbDumpOptions& options = {});

// The listing of `bytes` as CP932 bytes, or the one-line reason why they are
// no KRB file.
std::string dumpKrb(const std::vector<uint8_t>& bytes, const KrbDumpOptions& options = {});

// "bar:beat" of a position in steps, counting from 1:1, with a whole note of
// `zenlen` steps to the bar and four beats to it; "+n" steps after the beat
// when the position falls between beats.
std::string barsAndBeats(uint64_t steps, int zenlen);

// The tempo in quarter notes a minute that timer value `value` gives at
// `zenlen` steps to the whole note: one step lasts (1024 - value) x 18 us.
double beatsPerMinute(int value, int zenlen);

// The part index of a name "FM1" .. "BEEP", any case; -1 for another name.
int partIndex(std::string_view name);

}  // namespace tallow
