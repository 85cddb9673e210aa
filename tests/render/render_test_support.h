// Helpers of the renderer's tests: measuring rendered sound (frequency,
// onsets, jumps between samples) and a sink that keeps the frames.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "render/renderer.h"

namespace tallow::render::testing {

// Keeps every frame, split into channels, as floats of full scale 1.
class VectorSink final : public FrameSink {
 public:
  bool write(std::span<const int16_t> interleaved) override {
    for (size_t i = 0; i + 1 < interleaved.size(); i += 2) {
      left.push_back(interleaved[i] / 32767.0f);
      right.push_back(interleaved[i + 1] / 32767.0f);
    }
    return !failAll;
  }
  std::vector<float> left, right;
  bool failAll = false;
};

// The strongest frequency within 20 % of `guess`, by a scan of the
// Hann-windowed spectrum of `x` in steps of 0.01 % of the guess.
inline double strongestFrequency(std::span<const float> x, double rate, double guess) {
  const size_t n = x.size();
  std::vector<double> windowed(n);
  for (size_t i = 0; i < n; ++i) {
    windowed[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1)));
  }
  double best = guess, bestPower = -1;
  for (double f = guess * 0.8; f <= guess * 1.2; f += guess * 0.0001) {
    // Goertzel's recurrence for one frequency.
    const double w = 2 * std::cos(2 * std::numbers::pi * f / rate);
    double s1 = 0, s2 = 0;
    for (double v : windowed) {
      const double s0 = v + w * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - w * s1 * s2;
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}

// The first frame from `from` on whose magnitude exceeds `threshold`.
inline size_t onsetFrame(std::span<const float> x, float threshold, size_t from = 0) {
  for (size_t i = from; i < x.size(); ++i) {
    if (std::abs(x[i]) > threshold) return i;
  }
  return x.size();
}

// The largest change between neighbouring samples in [from, to).
inline float largestJump(std::span<const float> x, size_t from, size_t to) {
  float jump = 0;
  for (size_t i = std::max<size_t>(from, 1); i < std::min(to, x.size()); ++i) {
    jump = std::max(jump, std::abs(x[i] - x[i - 1]));
  }
  return jump;
}

inline float peakOf(std::span<const float> x) {
  float peak = 0;
  for (float v : x) peak = std::max(peak, std::abs(v));
  return peak;
}

}  // namespace tallow::render::testing
