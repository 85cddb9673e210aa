// A first-order high-pass of a few hertz that takes the constant offset off
// a stereo signal, as the AC-coupled output of the hardware does:
// y[n] = x[n] - x[n-1] + r * y[n-1], with r = 1 - 2 pi fc / rate (the
// first-order form of exp(-2 pi fc / rate), computed without the math
// library so that every build gives the same bits).  Its state is one
// sample of input and output per side; fc = 0 passes the signal unchanged.
#pragma once

#include <cstdint>
#include <numbers>
#include <span>

namespace tallow::render {

class DcBlocker {
 public:
  DcBlocker(double cutoffHz, uint32_t rate)
      : on_(cutoffHz > 0), r_(1 - 2 * std::numbers::pi * cutoffHz / rate) {}

  // Filters left and right (of the same size) in place.  Both sides go
  // through one loop, so that their two recurrences overlap.
  void process(std::span<float> left, std::span<float> right) {
    if (!on_) return;
    for (size_t i = 0; i < left.size(); ++i) {
      const double l = left[i], r = right[i];
      outLeft_ = l - inLeft_ + r_ * outLeft_;
      outRight_ = r - inRight_ + r_ * outRight_;
      inLeft_ = l;
      inRight_ = r;
      left[i] = static_cast<float>(outLeft_);
      right[i] = static_cast<float>(outRight_);
    }
  }

 private:
  bool on_;
  double r_;
  double inLeft_ = 0, outLeft_ = 0, inRight_ = 0, outRight_ = 0;
};

}  // namespace tallow::render
