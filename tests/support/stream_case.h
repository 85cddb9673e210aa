// Table-driven cases that compile an intermediate text and compare one
// part's stream byte for byte, with the diagnostics and, where a case gives
// them, the part's step counts.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tallow::testing {

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
