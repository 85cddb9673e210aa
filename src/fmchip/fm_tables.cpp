// Builds the FM engine's tables at compile time (constinit), so they are the
// same bytes on every machine: the transcendental functions are evaluated by
// series in constant expressions rather than by the run-time math library.
#include "fmchip/fm_tables.h"

namespace tallow::fmchip {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLn2 = 0.69314718055994530942;

// sin(x) for x in [0, pi/2] by its Taylor series.
constexpr double seriesSin(double x) {
  double term = x, sum = x;
  for (int n = 1; n < 20; ++n) {
    term *= -x * x / ((2.0 * n) * (2.0 * n + 1));
    sum += term;
  }
  return sum;
}

// log2(x) for x > 0: the mantissa in [1, 2) through the atanh series.
constexpr double seriesLog2(double x) {
  int exponent = 0;
  while (x >= 2.0) x /= 2.0, ++exponent;
  while (x < 1.0) x *= 2.0, --exponent;
  const double y = (x - 1.0) / (x + 1.0);
  double term = y, sum = 0.0;
  for (int n = 1; n < 80; n += 2) {
    sum += term / n;
    term *= y * y;
  }
  return 2.0 * sum / kLn2 + exponent;
}

// 2^f for f in [0, 1] by the series of exp.
constexpr double seriesExp2(double f) {
  const double x = f * kLn2;
  double term = 1.0, sum = 1.0;
  for (int n = 1; n < 30; ++n) {
    term *= x / n;
    sum += term;
  }
  return sum;
}

constexpr int roundPositive(double v) { return static_cast<int>(v + 0.5); }

// The quarter wave: -log2(sin) of the middle of each of 256 steps, in 1/256
// octave.
constexpr std::array<uint16_t, 256> makeQuarterLogSine() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const double s = seriesSin((i + 0.5) * kPi / 512.0);
    table[i] = static_cast<uint16_t>(roundPositive(-seriesLog2(s) * 256.0));
  }
  return table;
}

constexpr std::array<uint16_t, 1 << kSineBits> makeLogSine() {
  constexpr auto quarter = makeQuarterLogSine();
  static_assert(quarter[0] + kSilentLog <= kSignOffset);
  std::array<uint16_t, 1 << kSineBits> table{};
  for (int i = 0; i < (1 << kSineBits); ++i) {
    const int index = (i & 0x100) ? 255 - (i & 0xFF) : (i & 0xFF);
    const int sign = (i & 0x200) ? kSignOffset : 0;
    table[i] = static_cast<uint16_t>(quarter[index] + sign);
  }
  return table;
}

// The chip's exponent table: 2^(i/256) - 1 in 10 bits.
constexpr std::array<uint16_t, 256> makeExpFraction() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<uint16_t>(roundPositive((seriesExp2(i / 256.0) - 1.0) * 1024.0));
  }
  return table;
}

constexpr std::array<int16_t, 2 * kSignOffset> makeExpTable() {
  constexpr auto fraction = makeExpFraction();
  std::array<int16_t, 2 * kSignOffset> table{};
  for (int att = 0; att < kSilentLog; ++att) {
    const int mantissa = (fraction[255 - (att & 0xFF)] | 0x400) << 2;
    table[att] = static_cast<int16_t>(mantissa >> (att >> 8));
    table[kSignOffset + att] = static_cast<int16_t>(-table[att]);
  }
  return table;
}

// Rates 2-47 step by 1 on a pattern of the two low bits, less often the lower
// the rate; 48-63 act on every EG clock by growing amounts.
constexpr std::array<std::array<uint8_t, 8>, 4> kSlowPatterns = {{
    {0, 1, 0, 1, 0, 1, 0, 1},
    {0, 1, 0, 1, 1, 1, 0, 1},
    {0, 1, 1, 1, 0, 1, 1, 1},
    {0, 1, 1, 1, 1, 1, 1, 1},
}};
constexpr std::array<std::array<uint8_t, 8>, 4> kFastPatterns = {{
    {1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 2, 1, 1, 1, 2},
    {1, 2, 1, 2, 1, 2, 1, 2},
    {1, 2, 2, 2, 1, 2, 2, 2},
}};

constexpr std::array<EnvelopeRate, 64> makeEnvelopeRates() {
  std::array<EnvelopeRate, 64> table{};
  for (int rate = 2; rate < 48; ++rate) {
    table[rate].shift = static_cast<uint8_t>(11 - (rate >> 2));
    table[rate].mask = static_cast<uint16_t>((1 << table[rate].shift) - 1);
    table[rate].inc = kSlowPatterns[rate & 3];
  }
  for (int rate = 48; rate < 60; ++rate) {
    const int scale = 1 << ((rate - 48) >> 2);
    for (int i = 0; i < 8; ++i) {
      table[rate].inc[i] = static_cast<uint8_t>(kFastPatterns[rate & 3][i] * scale);
    }
  }
  for (int rate = 60; rate < 64; ++rate) table[rate].inc.fill(8);
  for (int rate = 0; rate < 2; ++rate) {  // rates 0 and 1 never move
    table[rate].shift = 11;
    table[rate].mask = 0x7FF;
  }
  return table;
}

}  // namespace

constinit const std::array<uint16_t, 1 << kSineBits> kLogSine = makeLogSine();
constinit const std::array<int16_t, 2 * kSignOffset> kExpTable = makeExpTable();
constinit const std::array<EnvelopeRate, 64> kEnvelopeRates = makeEnvelopeRates();

constinit const std::array<std::array<uint8_t, 32>, 4> kDetune = {{
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2,
     2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 8, 8, 8, 8},
    {1, 1, 1, 1, 2, 2, 2, 2,  2,  3,  3,  3,  4,  4,  4,  5,
     5, 6, 6, 7, 8, 8, 9, 10, 11, 12, 13, 14, 16, 16, 16, 16},
    {2, 2, 2, 2,  2,  3,  3,  3,  4,  4,  4,  5,  5,  6,  6,  7,
     8, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 20, 22, 22, 22, 22},
}};

}  // namespace tallow::fmchip
