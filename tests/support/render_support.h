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

// The power of frequency `f` in `windowed` (Goertzel's recurrence).
inline double powerAt(const std::vector<double>& windowed, double rate, double f) {
  const double w = 2 * std::cos(2 * std::numbers::pi * f / rate);
  double s1 = 0, s2 = 0;
  for (double v : windowed) {
    const double s0 = v + w * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - w * s1 * s2;
}

// The strongest frequency within 20 % of `guess` in the Hann-windowed `x`:
// a scan in steps of 0.5 % of the guess, then around the best one in steps
// of 0.01 %.
inline double strongestFrequency(std::span<const float> x, double rate, double guess) {
  const size_t n = x.size();
  std::vector<double> windowed(n);
  for (size_t i = 0; i < n; ++i) {
    windowed[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1)));
  }
  auto scan = [&](double from, double to, double step) {
    double best = from, bestPower = -1;
    for (int k = 0; from + k * step <= to; ++k) {
      const double power = powerAt(windowed, rate, from + k * step);
      if (power > bestPower) {
        bestPower = power;
        best = from + k * step;
      }
    }
    return best;
  };
  const double coarse = scan(guess * 0.8, guess * 1.2, guess * 0.005);
  return scan(coarse - guess * 0.005, coarse + guess * 0.005, guess * 0.0001);
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
