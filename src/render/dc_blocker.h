// A first-order high-pass of a few hertz that takes the constant offset off
// a signal, as the AC-coupled output of the hardware does:
// y[n] = x[n] - x[n-1] + r * y[n-1], with r = 1 - 2 pi fc / rate (the
// first-order form of exp(-2 pi fc / rate), computed without the math
// library so that every build gives the same bits).  Its state is one
// sample of input and output; fc = 0 passes the signal unchanged.
#pragma once

#include <cstdint>
#include <numbers>
#include <span>

namespace tallow::render {

class DcBlocker {
 public:
  DcBlocker(double cutoffHz, uint32_t rate)
      : on_(cutoffHz > 0), r_(1 - 2 * std::numbers::pi * cutoffHz / rate) {}

  void process(std::span<float> x) {
    if (!on_) return;
    for (float& v : x) {
      const double in = v;
      out_ = in - in_ + r_ * out_;
      in_ = in;
      v = static_cast<float>(out_);
    }
  }

 private:
  bool on_;
  double r_;
  double in_ = 0, out_ = 0;
};

}  // namespace tallow::render
