// The resampler: pass-band level and frequency, stop-band attenuation, the
// output length, streaming in any split, and the rates it refuses.
#include "fmchip/resampler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>

#include "fmchip/filter_taps.h"
#include "fmchip/fm_chip.h"
#include "fmchip/fm_test_support.h"

namespace tallow::fmchip {
namespace {

using namespace tallow::fmchip::testing;

const double kChipRate = FmChip().sampleRate();
constexpr double kPi = 3.14159265358979323846;

std::vector<float> sine(double frequency, double rate, size_t frames, double amplitude = 0.5) {
  std::vector<float> x(frames);
  for (size_t i = 0; i < frames; ++i) {
    x[i] = static_cast<float>(amplitude * std::sin(2 * kPi * frequency * i / rate));
  }
  return x;
}

Stereo resample(Resampler& r, const std::vector<float>& left, const std::vector<float>& right) {
  Stereo out;
  r.process(left, right, out.left, out.right);
  r.finish(out.left, out.right);
  return out;
}

struct RatePair {
  double in, out;
};

// The chip's rate to common rates (each phase its own filter row), and pairs
// whose ratio needs the interpolated rows (a 3.58 MHz chip, an odd rate).
class ResamplerRate : public ::testing::TestWithParam<RatePair> {};

TEST_P(ResamplerRate, KiloHertzSineKeepsLevelAndFrequency) {
  const auto [inRate, outRate] = GetParam();
  Resampler r(inRate, outRate);
  const std::vector<float> in = sine(1000, inRate, static_cast<size_t>(inRate));
  const Stereo out = resample(r, in, in);
  // Away from the edges, where the filter sees silence.
  const size_t a = out.left.size() / 10, b = out.left.size() - a;
  EXPECT_NEAR(decibels(toneAmplitude(out.left, a, b, 1000, outRate) / 0.5), 0.0, 0.1);
  EXPECT_NEAR(zeroCrossingFrequency(slice(out.left, a, b), outRate), 1000.0, 0.5);
  EXPECT_EQ(out.left, out.right);
}

INSTANTIATE_TEST_SUITE_P(Fm, ResamplerRate,
                         ::testing::Values(RatePair{kChipRate, 8000}, RatePair{kChipRate, 22050},
                                           RatePair{kChipRate, 44100}, RatePair{kChipRate, 48000},
                                           RatePair{kChipRate, 96000}, RatePair{kChipRate, 192000},
                                           RatePair{3579545 / 144.0, 44100},
                                           RatePair{kChipRate, 44123}));

struct StopCase {
  double outRate, inFrequency;
};

class ResamplerStop : public ::testing::TestWithParam<StopCase> {};

// A tone above the output Nyquist frequency must not come through (it would
// alias to outRate - f, or to f - outRate when above the output rate).
TEST_P(ResamplerStop, ContentAboveTheOutputNyquistIsSixtyDecibelsDown) {
  const StopCase c = GetParam();
  Resampler r(kChipRate, c.outRate);
  const std::vector<float> in = sine(c.inFrequency, kChipRate, static_cast<size_t>(kChipRate / 2));
  const Stereo out = resample(r, in, in);
  const size_t a = out.left.size() / 10, b = out.left.size() - a;
  double alias = c.inFrequency;
  while (alias > c.outRate / 2) alias = std::fabs(alias - c.outRate);
  EXPECT_LT(decibels(toneAmplitude(out.left, a, b, alias, c.outRate) / 0.5), -60.0) << alias;
  EXPECT_LT(decibels(rms(out.left, a, b) * std::sqrt(2.0) / 0.5), -60.0);
}

INSTANTIATE_TEST_SUITE_P(Fm, ResamplerStop,
                         ::testing::Values(StopCase{44100, 22100}, StopCase{44100, 23000},
                                           StopCase{44100, 27000}, StopCase{48000, 24100},
                                           StopCase{44123, 22100}, StopCase{22050, 11100},
                                           StopCase{22050, 20000}, StopCase{8000, 4050},
                                           StopCase{8000, 9000}));

TEST(Resampler, OutputLengthFollowsTheRatio) {
  for (double outRate : {8000.0, 44100.0, 44123.0, 192000.0}) {
    Resampler r(kChipRate, outRate);
    const std::vector<float> in(12345, 0.25f);
    const Stereo out = resample(r, in, in);
    EXPECT_NEAR(static_cast<double>(out.left.size()), 12345 * outRate / kChipRate, 1.0);
    EXPECT_NEAR(out.left[out.left.size() / 2], 0.25f, 1e-5);  // DC passes at gain 1
  }
}

class ResamplerSplit : public ::testing::TestWithParam<double> {};

TEST_P(ResamplerSplit, AnySplitOfTheInputGivesTheSameOutput) {
  const std::vector<float> left = sine(3000, kChipRate, 20000);
  const std::vector<float> right = sine(500, kChipRate, 20000, 0.3);
  Resampler whole(kChipRate, GetParam());
  const Stereo expected = resample(whole, left, right);
  Resampler pieces(kChipRate, GetParam());
  Stereo got;
  size_t at = 0;
  for (size_t n : {0, 1, 7, 64, 1000, 5000}) {
    pieces.process(std::span(left).subspan(at, n), std::span(right).subspan(at, n), got.left,
                   got.right);
    at += n;
  }
  pieces.process(std::span(left).subspan(at), std::span(right).subspan(at), got.left, got.right);
  pieces.finish(got.left, got.right);
  EXPECT_EQ(got.left, expected.left);
  EXPECT_EQ(got.right, expected.right);
  // After finish() a new stream starts as the first did.
  const Stereo again = resample(pieces, left, right);
  EXPECT_EQ(again.left, expected.left);
}

INSTANTIATE_TEST_SUITE_P(Fm, ResamplerSplit, ::testing::Values(44100.0, 44123.0, 8000.0));

// The output must not depend on the processor the renderer runs on.
TEST(Resampler, AvxKernelGivesThePortableKernelsBits) {
  if (!avxAvailable()) GTEST_SKIP() << "no AVX here";
  std::mt19937 random(99);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> data(4 * 512);
  for (float& v : data) v = value(random);
  for (int taps : {8, 64, 336}) {
    for (bool slope : {false, true}) {
      TapWindow w{data.data(),        slope ? data.data() + 512 : nullptr,
                  value(random),      data.data() + 1024,
                  data.data() + 1536, taps};
      float portable[2], avx[2];
      filterTapsPortable(w, portable[0], portable[1]);
      filterTapsAvx(w, avx[0], avx[1]);
      EXPECT_EQ(0, std::memcmp(portable, avx, sizeof avx)) << taps << " " << slope;
    }
  }
}

TEST(Resampler, RefusesRatesOutOfRange) {
  for (auto [in, out] : {std::pair{0.0, 44100.0},
                         {kChipRate, 0.0},
                         {-1.0, 44100.0},
                         {kChipRate, 1e9},
                         {kChipRate, std::nan("")},
                         {200000.0, 1000.0}}) {
    EXPECT_THROW(Resampler(in, out), std::invalid_argument) << in << " " << out;
  }
}

}  // namespace
}  // namespace tallow::fmchip
