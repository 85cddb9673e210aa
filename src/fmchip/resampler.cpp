// The polyphase resampler.  Row p of R rows holds the kernel sampled at
// offsets p / R + taps / 2 - 1 - k (k = 0 .. taps - 1), each row scaled to a
// sum of 1 so the DC gain is 1 at every phase.  The
// history keeps the input frames the next output's window still needs; it
// starts with taps / 2 - 1 frames of silence so that the first output is
// centred on the first input frame.
#include "fmchip/resampler.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "fmchip/filter_taps.h"

namespace tallow::fmchip {
namespace {

// Interpolated rows: 128, addressed by the top bits of a 32-bit fraction.
constexpr int kPhaseBits = 7;
constexpr int kPhases = 1 << kPhaseBits;
constexpr int kFractionBits = 32;
constexpr double kPassFraction = 0.82;
constexpr double kStopDb = 70.0;
constexpr double kPi = 3.14159265358979323846;

// The zeroth-order modified Bessel function of the first kind.
double besselI0(double x) {
  double term = 1.0, sum = 1.0;
  for (int k = 1; k < 64 && term > 1e-17 * sum; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
  }
  return sum;
}

// Kaiser's estimate of the taps for the transition width (cycles per input
// frame), rounded up to whole lanes.
int tapCount(double transition) {
  const double estimate = (kStopDb - 8.0) / (2.285 * 2.0 * kPi * transition);
  const int taps = static_cast<int>(std::ceil(estimate / kTapLanes)) * kTapLanes;
  return std::max(taps, 2 * kTapLanes);
}

double kernel(double offset, double cutoff, double halfWidth, double beta) {
  const double ratio = offset / halfWidth;
  if (ratio <= -1.0 || ratio >= 1.0) return 0.0;
  const double x = 2.0 * kPi * cutoff * offset;
  const double sinc = offset == 0.0 ? 2.0 * cutoff : std::sin(x) / (kPi * offset);
  return sinc * besselI0(beta * std::sqrt(1.0 - ratio * ratio)) / besselI0(beta);
}

// The number of output phases when inputRate / outputRate is a fraction
// M / L with L at most `limit` (L), else 0.
uint64_t exactPhases(double inputRate, double outputRate, int limit) {
  const double ratio = inputRate / outputRate;
  // Convergents of the continued fraction of the ratio.
  double x = ratio;
  uint64_t p0 = 1, q0 = 0, p1 = static_cast<uint64_t>(x), q1 = 1;
  for (int i = 0; i < 40 && q1 <= static_cast<uint64_t>(limit); ++i) {
    if (std::fabs(static_cast<double>(p1) / q1 - ratio) <= 1e-12 * ratio) return q1;
    const double rest = x - std::floor(x);
    if (rest < 1e-15) break;
    x = 1.0 / rest;
    const uint64_t a = static_cast<uint64_t>(x);
    const uint64_t p2 = a * p1 + p0, q2 = a * q1 + q0;
    p0 = p1, q0 = q1, p1 = p2, q1 = q2;
  }
  return 0;
}

}  // namespace

Resampler::Resampler(double inputRate, double outputRate) {
  auto valid = [](double rate) { return rate >= kMinRate && rate <= kMaxRate; };
  if (!valid(inputRate) || !valid(outputRate) || inputRate / outputRate > kMaxDecimation) {
    throw std::invalid_argument("resampler rates out of range");
  }
  const double nyquist = std::min(inputRate, outputRate) / 2.0;
  const double stop = nyquist / inputRate;  // cycles per input frame
  const double pass = stop * kPassFraction;
  taps_ = tapCount(stop - pass);
  const double ratio = inputRate / outputRate;
  const uint64_t exact = exactPhases(inputRate, outputRate, kMaxExactPhases);
  interpolated_ = exact == 0;
  denominator_ = interpolated_ ? (uint64_t{1} << kFractionBits) : exact;
  stepWhole_ = static_cast<size_t>(ratio);
  stepFraction_ = static_cast<uint64_t>(std::llround((ratio - stepWhole_) * denominator_));
  if (stepFraction_ == denominator_) stepWhole_ += 1, stepFraction_ = 0;
  phases_ = interpolated_ ? kPhases : static_cast<int>(exact);
  avx_ = avxAvailable();
  buildTable((pass + stop) / 2.0, phases_, interpolated_);
  restart();
}

void Resampler::buildTable(double cutoff, int rowCount, bool slopes) {
  const double beta = 0.1102 * (kStopDb - 8.7);
  const int half = taps_ / 2;
  const size_t taps = taps_;
  // One row more than used, for the slope of the last one.
  std::vector<double> rows((rowCount + 1) * taps);
  for (int p = 0; p <= rowCount; ++p) {
    double* values = &rows[p * taps];
    double sum = 0.0;
    for (int k = 0; k < taps_; ++k) {
      values[k] = kernel(static_cast<double>(p) / rowCount + half - 1 - k, cutoff, half, beta);
      sum += values[k];
    }
    for (int k = 0; k < taps_; ++k) values[k] /= sum;
  }
  const size_t stride = slopes ? 2 * taps : taps;
  coefficients_.resize(rowCount * stride);
  for (size_t p = 0; p < static_cast<size_t>(rowCount); ++p) {
    for (size_t k = 0; k < taps; ++k) {
      const double value = rows[p * taps + k], next = rows[(p + 1) * taps + k];
      coefficients_[p * stride + k] = static_cast<float>(value);
      if (slopes) coefficients_[p * stride + taps + k] = static_cast<float>(next - value);
    }
  }
}

void Resampler::restart() {
  const size_t lead = taps_ / 2 - 1;
  historyLeft_.assign(lead, 0.0f);
  historyRight_.assign(lead, 0.0f);
  index_ = lead;
  fraction_ = 0;
}

void Resampler::filterAt(float& left, float& right) const {
  const size_t first = index_ - (taps_ / 2 - 1);
  TapWindow w;
  w.left = &historyLeft_[first];
  w.right = &historyRight_[first];
  w.taps = taps_;
  if (interpolated_) {
    constexpr int kWeightBits = kFractionBits - kPhaseBits;
    w.row = &coefficients_[(fraction_ >> kWeightBits) * 2 * taps_];
    w.slope = w.row + taps_;
    w.weight = static_cast<float>(fraction_ & ((uint64_t{1} << kWeightBits) - 1)) /
               static_cast<float>(uint64_t{1} << kWeightBits);
  } else {
    w.row = &coefficients_[fraction_ * taps_];
  }
  if (avx_) {
    filterTapsAvx(w, left, right);
  } else {
    filterTapsPortable(w, left, right);
  }
}

// Emits every output whose time lies before history frame `end`, then drops
// the history no later output needs.
void Resampler::emit(std::vector<float>& outLeft, std::vector<float>& outRight, size_t end) {
  if (index_ < end) {
    const double step = stepWhole_ + static_cast<double>(stepFraction_) / denominator_;
    const size_t estimate = static_cast<size_t>((end - index_) / step) + 2;
    outLeft.reserve(outLeft.size() + estimate);
    outRight.reserve(outRight.size() + estimate);
  }
  while (index_ < end) {
    float left = 0.0f, right = 0.0f;
    filterAt(left, right);
    outLeft.push_back(left);
    outRight.push_back(right);
    index_ += stepWhole_;
    fraction_ += stepFraction_;
    if (fraction_ >= denominator_) fraction_ -= denominator_, ++index_;
  }
  const size_t keepFrom = std::min(index_ - (taps_ / 2 - 1), historyLeft_.size());
  historyLeft_.erase(historyLeft_.begin(), historyLeft_.begin() + keepFrom);
  historyRight_.erase(historyRight_.begin(), historyRight_.begin() + keepFrom);
  index_ -= keepFrom;
}

void Resampler::process(std::span<const float> inLeft, std::span<const float> inRight,
                        std::vector<float>& outLeft, std::vector<float>& outRight) {
  const size_t frames = std::min(inLeft.size(), inRight.size());
  historyLeft_.insert(historyLeft_.end(), inLeft.begin(), inLeft.begin() + frames);
  historyRight_.insert(historyRight_.end(), inRight.begin(), inRight.begin() + frames);
  // An output at frame index_ needs history up to index_ + taps / 2.
  const size_t size = historyLeft_.size(), half = taps_ / 2;
  if (size > half) emit(outLeft, outRight, size - half);
}

void Resampler::finish(std::vector<float>& outLeft, std::vector<float>& outRight) {
  const size_t end = historyLeft_.size();
  historyLeft_.resize(end + taps_ / 2, 0.0f);
  historyRight_.resize(end + taps_ / 2, 0.0f);
  emit(outLeft, outRight, end);
  restart();
}

}  // namespace tallow::fmchip
