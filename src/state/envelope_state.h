// The data of envelopes: 128 definitions, each a byte string of envelope
// code with an optional loop point, and the per-part run state that carries
// an envelope from note to note.
#pragma once

#include <array>
#include <cstdint>

#include "output/byte_buffer.h"

namespace tallow {

constexpr int kEnvelopeCount = 128;

struct EnvelopeDefinition {
  ByteBuffer code{128};  // defined once it holds a byte string
  int32_t loopPoint = -1;
  bool defined() const { return !code.empty(); }
};

struct EnvelopeRun {
  int32_t envelope = 0;
  int32_t readPosition = 0;
  int32_t carry = 0;
  int32_t keyOffset = 0;
  int32_t detune = 0;
  int32_t volume = 127;
  int32_t timeUnit = 1;
  // Whether a step was interpreted since the last return to the loop point.
  bool stepSinceLoop = true;

  // Starts the envelope afresh (the selection and time unit stay).
  void restart() {
    readPosition = 0;
    carry = 0;
    keyOffset = 0;
    detune = 0;
    volume = 127;
    stepSinceLoop = true;
  }
};

struct EnvelopeSet {
  std::array<EnvelopeDefinition, kEnvelopeCount> definitions;
  std::array<EnvelopeRun, 15> runs{};
};

}  // namespace tallow
