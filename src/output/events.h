// The event encoding of part streams: a one-byte code followed by a fixed
// number of operand bytes that depends on the code alone.  Codes 0x00-0x79
// are notes (pitch, 16-bit length); 0x80-0xA4 are commands; 0xFF ends a
// stream.  A length of 0 marks a code that is no event.
#pragma once

#include <array>
#include <cstdint>

namespace tallow {

constexpr uint8_t kEndCode = 0xFF;

constexpr std::array<uint8_t, 256> makeEventLengths() {
  std::array<uint8_t, 256> lengths{};
  for (int code = 0; code < 0x80; ++code) lengths[code] = 3;
  constexpr uint8_t commands[] = {3, 2, 2, 2, 2, 7, 1,  3,  3, 3, 8, 5, 3,  3,  5, 3, 3, 3, 2,
                                  2, 2, 1, 2, 4, 3, 10, 10, 7, 6, 4, 0, 10, 10, 5, 3, 6, 6};
  for (int i = 0; i < static_cast<int>(sizeof commands); ++i) lengths[0x80 + i] = commands[i];
  return lengths;
}

constexpr std::array<uint8_t, 256> kEventLength = makeEventLengths();

}  // namespace tallow
