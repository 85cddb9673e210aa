// Measurements of rendered sound, shared by the tests of the chip, the
// resampler, the renderer and krb2wav: level, frequency, the amplitude of one
// component, onsets and jumps; and a frame sink that keeps what it is given.
// A range [begin, end) is clipped to the signal.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "render/renderer.h"

namespace tallow::testing {

// Keeps every frame, split into channels, as floats of full scale 1.
class VectorSink final : public render::FrameSink {
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

inline std::span<const float> slice(std::span<const float> x, size_t begin, size_t end) {
  end = std::min(end, x.size());
  return begin < end ? x.subspan(begin, end - begin) : std::span<const float>();
}

inline double rms(std::span<const float> x, size_t begin = 0, size_t end = SIZE_MAX) {
  double sum = 0;
  for (float v : x = slice(x, begin, end)) sum += double(v) * v;
  return x.empty() ? 0.0 : std::sqrt(sum / double(x.size()));
}

inline double peak(std::span<const float> x, size_t begin = 0, size_t end = SIZE_MAX) {
  double m = 0;
  for (float v : slice(x, begin, end)) m = std::max(m, double(std::fabs(v)));
  return m;
}

inline double decibels(double ratio) { return 20 * std::log10(ratio); }

// Frequency from the rising zero crossings (interpolated) of a periodic signal.
inline double zeroCrossingFrequency(std::span<const float> x, double rate) {
  double first = -1, last = -1;
  int count = 0;
  for (size_t i = 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      last = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = last;
      ++count;
    }
  }
  return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

// `x` under a Hann window.
inline std::vector<double> hann(std::span<const float> x) {
  std::vector<double> out(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    out[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(x.size())));
  }
  return out;
}

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

// The amplitude of the component at `frequency` in [begin, end) of `x`.
inline double toneAmplitude(std::span<const float> x, size_t begin, size_t end, double frequency,
                            double rate) {
  const std::vector<double> windowed = hann(slice(x, begin, end));
  const double gain = double(windowed.size()) / 2;  // the window's sum
  return 2 * std::sqrt(std::max(0.0, powerAt(windowed, rate, frequency))) / gain;
}

// The strongest frequency within 20 % of `guess` in `x`: a scan in steps of
// 0.5 % of the guess, then around the best one in steps of 0.01 %.
inline double strongestFrequency(std::span<const float> x, double rate, double guess) {
  const std::vector<double> windowed = hann(x);
  auto scan = [&](double from, double to, double step) {
    double best = from, bestPower = -1;
    for (int k = 0; from + k * step <= to; ++k) {
      const double power = powerAt(windowed, rate, from + k * step);
      if (power > bestPower) bestPower = power, best = from + k * step;
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

}  // namespace tallow::testing
