// Building the band-limited tables of the built-in PCM voice by summing sines.
#include "render/voice_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallow::render {
namespace {

constexpr int kBrightHarmonics = 16;
constexpr std::array<double, 3> kMellowAmplitudes = {1.0, 0.3, 0.12};

int bandHarmonics(int band) { return kBrightHarmonics >> band; }

// One cycle of the sum of `count` harmonics with amplitudes amp(k),
// normalised to a peak of 1.
template <typename Amplitude>
std::vector<float> buildTable(int count, Amplitude amp) {
  std::vector<double> sum(VoiceTables::kSize);
  for (int k = 1; k <= count; ++k) {
    const double a = amp(k);
    if (a == 0) continue;
    for (size_t i = 0; i < VoiceTables::kSize; ++i) {
      sum[i] +=
          a * std::sin(2 * std::numbers::pi * k * static_cast<double>(i) / VoiceTables::kSize);
    }
  }
  double peak = 0;
  for (double v : sum) peak = std::max(peak, std::abs(v));
  std::vector<float> table(VoiceTables::kSize + 1);
  for (size_t i = 0; i < VoiceTables::kSize; ++i) table[i] = static_cast<float>(sum[i] / peak);
  table[VoiceTables::kSize] = table[0];
  return table;
}

}  // namespace

VoiceTables::VoiceTables() {
  for (int band = 0; band < kBands; ++band) {
    const int count = bandHarmonics(band);
    mellow_[band] = buildTable(std::min<int>(count, kMellowAmplitudes.size()),
                               [](int k) { return kMellowAmplitudes[k - 1]; });
    brightDelta_[band] = buildTable(count, [](int k) { return 1.0 / k; });
    for (size_t i = 0; i <= kSize; ++i) brightDelta_[band][i] -= mellow_[band][i];
  }
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
