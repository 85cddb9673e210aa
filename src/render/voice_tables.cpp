// Building the band-limited tables of the built-in PCM voice and of the
// BEEP square by summing sines read from one exact sine table.
#include "render/voice_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallow::render {
namespace {

constexpr int kBrightHarmonics = 16;
constexpr std::array<double, 3> kMellowAmplitudes = {1.0, 0.3, 0.12};

int bandHarmonics(int band) { return kBrightHarmonics >> band; }

// sin(x) for x in [0, pi/2] by its Taylor series: basic arithmetic only, so
// the result does not depend on the math library.
double seriesSin(double x) {
  double term = x, sum = x;
  for (int n = 1; n < 14; ++n) {
    term *= -x * x / ((2.0 * n) * (2.0 * n + 1));
    sum += term;
  }
  return sum;
}

// sin(2 pi i / size) for i < size (size a multiple of 4).
std::vector<double> sineCycle(size_t size) {
  std::vector<double> sine(size);
  const size_t quarter = size / 4;
  for (size_t i = 0; i <= quarter; ++i) {
    const double v = seriesSin(std::numbers::pi / 2 * static_cast<double>(i) / quarter);
    sine[i] = v;
    sine[2 * quarter - i] = v;
    if (i > 0) sine[size - i] = -v;
    sine[2 * quarter + i] = -v;
  }
  return sine;
}

// Adds harmonic k with amplitude a to one cycle of `sum` (its size a power
// of two, that of `sine`).
void addHarmonic(std::vector<double>& sum, const std::vector<double>& sine, size_t k, double a) {
  const size_t mask = sum.size() - 1;
  for (size_t i = 0; i < sum.size(); ++i) sum[i] += a * sine[(k * i) & mask];
}

// `sum` times `scale` as a table with the first entry repeated at the end.
std::vector<float> toTable(const std::vector<double>& sum, double scale) {
  std::vector<float> table(sum.size() + 1);
  for (size_t i = 0; i < sum.size(); ++i) table[i] = static_cast<float>(sum[i] * scale);
  table[sum.size()] = table[0];
  return table;
}

// One cycle of the sum of `count` harmonics with amplitudes amp(k),
// normalised to a peak of 1.
template <typename Amplitude>
std::vector<float> buildTable(const std::vector<double>& sine, int count, Amplitude amp) {
  std::vector<double> sum(VoiceTables::kSize);
  for (int k = 1; k <= count; ++k) {
    if (amp(k) != 0) addHarmonic(sum, sine, static_cast<size_t>(k), amp(k));
  }
  double peak = 0;
  for (double v : sum) peak = std::max(peak, std::abs(v));
  return toTable(sum, 1 / peak);
}

int squareHarmonics(int band) { return (2 << band) - 1; }

}  // namespace

VoiceTables::VoiceTables() {
  const std::vector<double> sine = sineCycle(kSize);
  for (int band = 0; band < kBands; ++band) {
    const int count = bandHarmonics(band);
    mellow_[band] = buildTable(sine, std::min<int>(count, kMellowAmplitudes.size()),
                               [](int k) { return kMellowAmplitudes[k - 1]; });
    brightDelta_[band] = buildTable(sine, count, [](int k) { return 1.0 / k; });
    for (size_t i = 0; i <= kSize; ++i) brightDelta_[band][i] -= mellow_[band][i];
  }
  // Each square band adds the odd harmonics above the band before it; the
  // fundamental of 4 / pi gives the same fundamental as a square of +-1.
  const std::vector<double> squareSine = sineCycle(kSquareSize);
  std::vector<double> sum(kSquareSize);
  int k = 1;
  for (int band = 0; band < kSquareBands; ++band) {
    for (; k <= squareHarmonics(band); k += 2)
      addHarmonic(sum, squareSine, static_cast<size_t>(k), 1.0 / k);
    square_[band] = toTable(sum, 4 / std::numbers::pi);
  }
}

const float* VoiceTables::square(double cyclesPerSample) const {
  if (!(cyclesPerSample > 0) || cyclesPerSample > kHighestHarmonic) return nullptr;
  int band = kSquareBands - 1;
  while (band > 0 && squareHarmonics(band) * cyclesPerSample > kHighestHarmonic) --band;
  return square_[band].data();
}

bool VoiceTables::find(double cyclesPerSample, Pair& pair) const {
  if (!(cyclesPerSample > 0) || cyclesPerSample > kHighestHarmonic) return false;
  int band = 0;
  while (band < kBands - 1 && bandHarmonics(band) * cyclesPerSample > kHighestHarmonic) ++band;
  pair.mellow = mellow_[band].data();
  pair.bright = brightDelta_[band].data();
  return true;
}

}  // namespace tallow::render
