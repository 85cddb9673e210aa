// The inner loop of the resampler: one output frame of both channels, the
// dot product of a window of input frames with a row of filter coefficients
// (optionally interpolated towards the next row).  Eight partial sums per
// channel, kept in a fixed order, so the portable kernel (two vectors of
// four) and the AVX kernel (one vector of eight) give the same bits; the
// resampler uses AVX where the processor has it.
#pragma once

namespace tallow::fmchip {

// Taps are a multiple of kTapLanes.
constexpr int kTapLanes = 8;

struct TapWindow {
  const float* row = nullptr;
  const float* slope = nullptr;  // null: the row as it is; else row + weight * slope
  float weight = 0.0f;
  const float* left = nullptr;
  const float* right = nullptr;
  int taps = 0;
};

void filterTapsPortable(const TapWindow& w, float& left, float& right);
// Only where avxAvailable().
void filterTapsAvx(const TapWindow& w, float& left, float& right);
bool avxAvailable();

}  // namespace tallow::fmchip
