// Compiling small sources in-process for tests: straight from an
// intermediate text (the compiler alone), or through the whole driver; and
// table-driven cases that compare one part's stream byte for byte, with the
// diagnostics and, where a case gives them, the part's step counts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/compile_job.h"

namespace tallow::testing {

struct CompileResult {
  int status = 0;
  std::string out;  // the diagnostics
  std::vector<uint8_t> image;
  CompileJob job;
};

// Compiles `text` as the intermediate file of "song.mml" (a marker line
// "# 1 song.mml" is put before it).  `setup` may change the job first.
CompileResult compileIntermediate(std::string_view text,
                                  const std::function<void(CompileJob&)>& setup = {});

// True when the compiler said nothing but its banner: no warning, no error.
bool saidNothing(const CompileResult& result);

// The stream of `part` in the image as hex "91 00 00 3C ...", upper case.
std::string partHex(const CompileResult& result, int part);

// Formats bytes as hex separated by blanks.
std::string toHex(const std::vector<uint8_t>& bytes);
// The bytes of a text of hexadecimal bytes separated by blanks ("91 00 FF").
std::vector<uint8_t> fromHex(const std::string& hex);

// A bank of test tones for sound measurements.  Tone 1: algorithm 7 with operator 1 alone at full
// level (a pure carrier), instant attack, fastest release; tone 2 the same with a release of a few
// milliseconds; tone 3 with the harshest feedback (a wave with an offset)
// and a release of some 1.5 s.
inline constexpr const char* kPureTones =
    ".fmbfile pure\n"
    "#@ NO AL FB TL1 TL2 TL3 TL4 AR1 AR2 AR3 AR4 RR1 RR2 RR3 RR4 ML1 ML2 ML3 ML4 L R *\n"
    "@1 7 0 0 127 127 127 31 31 31 31 15 15 15 15 1 1 1 1 1 1\n"
    "@2 7 0 0 127 127 127 31 31 31 31 7 7 7 7 1 1 1 1 1 1\n"
    "@3 7 7 0 127 127 127 31 31 31 31 6 6 6 6 1 1 1 1 1 1\n";

struct DriverResult {
  int status = 0;
  std::string out;
  std::string err;
};

// Runs the whole program in-process with `args`, in the current directory.
DriverResult runProgram(const std::vector<std::string>& args, const Environment& env = {});

// Table-driven stream cases.
constexpr bool kRaw = true;         // compile without the optimiser: every event visible
constexpr bool kOptimised = false;  // compile as the program does

struct StreamCase {
  const char* name;
  std::string text;  // the intermediate text after the first marker
  bool raw;
  int part;
  std::string stream;   // the expected stream as hex; empty when the compile must fail
  std::string message;  // diagnostics that must appear (UTF-8); empty: nothing is said
  std::optional<int32_t> steps = std::nullopt;
  std::optional<int32_t> loopSteps = std::nullopt;
};

inline void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

// Compiles the case and checks it with gtest expectations.
void checkStreamCase(const StreamCase& c);

}  // namespace tallow::testing
