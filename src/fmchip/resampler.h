// Band-limited stereo sample-rate conversion, streaming: a Kaiser-windowed
// sinc low-pass in polyphase form.  The pass band reaches 82 % of the lower
// Nyquist frequency (18 kHz at 44.1 kHz); from the lower Nyquist frequency
// up, the stop band is at least 70 dB down.  When the ratio of the rates is a fraction with at most
// kMaxExactPhases output phases (the chip's rate to 44100 Hz needs 1323, to
// 48000 Hz 45), every phase has its own row of the filter; otherwise 128 rows
// are interpolated linearly.
//
// Output frame j stands for input time j * inputRate / outputRate, so a
// stream of N input frames gives about N * outputRate / inputRate output
// frames: process() emits those whose filter window is complete, finish()
// the rest.  The same input, in any split into calls, gives the same output.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tallow::fmchip {

class Resampler {
 public:
  // Rates between kMinRate and kMaxRate, with inputRate / outputRate at most
  // kMaxDecimation; other values throw std::invalid_argument.
  Resampler(double inputRate, double outputRate);
  // Consumes the input frames and appends the output frames.  Should the
  // spans differ in size, the longer one's extra frames are ignored.
  void process(std::span<const float> inLeft, std::span<const float> inRight,
               std::vector<float>& outLeft, std::vector<float>& outRight);
  // Ends the stream: appends the output frames that the input given so far
  // still owes (its last frames, filtered as if silence followed), then starts
  // a new stream.
  void finish(std::vector<float>& outLeft, std::vector<float>& outRight);

  int taps() const { return taps_; }
  // Rows of the filter table: the output phases when each has its own row,
  // else the interpolated rows.
  int phases() const { return phases_; }
  bool interpolated() const { return interpolated_; }

  static constexpr double kMinRate = 1000.0, kMaxRate = 1000000.0;
  static constexpr double kMaxDecimation = 64.0;
  static constexpr int kMaxExactPhases = 2048;

 private:
  void buildTable(double cutoff, int rows, bool slopes);
  void restart();
  void emit(std::vector<float>& outLeft, std::vector<float>& outRight, size_t end);
  void filterAt(float& left, float& right) const;

  int taps_ = 0;
  int phases_ = 0;
  bool interpolated_ = false;
  bool avx_ = false;  // the eight-lane kernel (same bits as the portable one)
  // Per phase a row of taps_ coefficients, followed when interpolated by its
  // step to the next row.
  std::vector<float> coefficients_;
  // Time of the next output: history frame index_ plus fraction_ / denominator_.
  uint64_t denominator_ = 1;
  size_t index_ = 0;
  uint64_t fraction_ = 0;
  size_t stepWhole_ = 0;  // one output's step in input frames
  uint64_t stepFraction_ = 0;
  std::vector<float> historyLeft_, historyRight_;
};

}  // namespace tallow::fmchip
