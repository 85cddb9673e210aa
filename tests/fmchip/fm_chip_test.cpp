// The FM chip through its registers: pitch, envelopes, feedback and
// algorithms, the LFO, the channel-3 mode, SSG-EG, determinism and hostile
// writes.
#include "fmchip/fm_chip.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fmchip/fm_test_support.h"

namespace tallow::fmchip {
namespace {

using namespace tallow::fmchip::testing;

constexpr int kA4Fnum = 1039, kA4Block = 4;

// `frames` of `voice` keyed on at F-number `fnum` and `block` on `channel`.
Stereo playVoice(FmChip& chip, int channel, const VoiceSetup& voice, int fnum, int block,
                 size_t frames) {
  writeVoice(chip, channel, voice);
  writeFrequency(chip, channel, fnum, block);
  writeKey(chip, channel);
  return render(chip, frames);
}

// A4 is 440 Hz: at this clock block 4 and F-number 1039 give 439.68 Hz
// (f = fnum * 2^(block - 1) * rate / 2^20).
struct PitchCase {
  const char* name;
  int channel, fnum, block, multiple;
  double hertz;
};

class PitchTest : public ::testing::TestWithParam<PitchCase> {};

TEST_P(PitchTest, FundamentalWithinHalfAPercent) {
  const PitchCase& c = GetParam();
  FmChip chip;
  ASSERT_NEAR(chip.sampleRate(), 55466.67, 0.01);
  VoiceSetup voice = pureCarrier();
  voice.op[0].ml = c.multiple;
  const Stereo out = playVoice(chip, c.channel, voice, c.fnum, c.block, 55466);
  EXPECT_NEAR(zeroCrossingFrequency(out.left, chip.sampleRate()), c.hertz, c.hertz * 0.005);
}

INSTANTIATE_TEST_SUITE_P(Fm, PitchTest,
                         ::testing::Values(PitchCase{"a4", 0, kA4Fnum, kA4Block, 1, 440.0},
                                           PitchCase{"blockUp", 0, kA4Fnum, kA4Block + 1, 1, 880.0},
                                           PitchCase{"ml2", 1, kA4Fnum, kA4Block, 2, 880.0},
                                           PitchCase{"ml0", 2, kA4Fnum, kA4Block, 0, 220.0},
                                           PitchCase{"secondPort", 4, kA4Fnum, kA4Block, 1, 440.0},
                                           PitchCase{"lowFnumMl3", 5, 300, 2, 3, 95.22}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Pitch, ChannelThreeModeGivesOperatorsTheirOwnFrequency) {
  FmChip chip;
  chip.write(0, fm_register::kTimerControl, 0x40);
  // Operator 1's own frequency (A9h/ADh): an octave above the channel's.
  chip.write(0, fm_register::kCh3FrequencyHigh + 1,
             static_cast<uint8_t>((kA4Block + 1) * 8 + (kA4Fnum >> 8)));
  chip.write(0, fm_register::kCh3FrequencyLow + 1, kA4Fnum & 0xFF);
  const Stereo special = playVoice(chip, 2, pureCarrier(), kA4Fnum, kA4Block, 55466);
  const double a4 = chipFrequency(chip.sampleRate(), kA4Fnum, kA4Block);
  EXPECT_NEAR(zeroCrossingFrequency(special.left, chip.sampleRate()), 2 * a4, 2 * a4 * 0.005);
  chip.write(0, fm_register::kTimerControl, 0x00);
  const Stereo normal = render(chip, 55466);
  EXPECT_NEAR(zeroCrossingFrequency(normal.left, chip.sampleRate()), a4, a4 * 0.005);
}

// Peak level over windows of `window` samples.
std::vector<double> levels(const std::vector<float>& x, size_t window) {
  std::vector<double> out;
  for (size_t i = 0; i + window <= x.size(); i += window) out.push_back(peak(x, i, i + window));
  return out;
}

TEST(Envelope, AttackRisesDecayFallsToTheSustainLevelAndStays) {
  FmChip chip;
  VoiceSetup voice = pureCarrier();
  voice.op[0].ar = 12;
  voice.op[0].dr = 14;
  voice.op[0].sl = 4;  // 4 * 3 dB below full level
  const Stereo out = playVoice(chip, 0, voice, kA4Fnum, kA4Block, 3 * 55466);
  const std::vector<double> l = levels(out.left, 555);
  size_t top = 0;
  for (size_t i = 0; i < l.size(); ++i) top = l[i] > l[top] ? i : top;
  ASSERT_GT(top, 2u);
  for (size_t i = 1; i <= top; ++i) EXPECT_GE(l[i], l[i - 1]) << "attack at window " << i;
  for (size_t i = top + 1; i < l.size(); ++i) EXPECT_LE(l[i], l[i - 1] + 1e-3) << i;
  EXPECT_NEAR(decibels(l.back() / l[top]), -12.0, 1.0);
  EXPECT_NEAR(l[l.size() - 1], l[l.size() - 20], 1e-3);  // sustained: SR 0
}

// With AR 31 and RR 15 the sound starts and stops within a few milliseconds,
// but no sample jumps by more than the steepest slope of the full-level sine
// (0.0125 at 440 Hz) plus one envelope step of the fastest rate (0.75 dB of
// 0.25, 0.021): a click would jump by up to 0.25.
TEST(Envelope, FastestAttackAndReleaseDoNotClick) {
  constexpr double kBound = 0.035;
  FmChip chip;
  const Stereo on = playVoice(chip, 0, pureCarrier(), kA4Fnum, kA4Block, 2000);
  writeKey(chip, 0, 0);
  const Stereo off = render(chip, 2000);
  std::vector<float> all = on.left;
  all.insert(all.end(), off.left.begin(), off.left.end());
  EXPECT_LT(std::max(std::fabs(all[0]), largestJump(all, 0, all.size())), kBound);
  EXPECT_GT(peak(all, 0, 400), 0.2);           // sounding at once
  EXPECT_EQ(peak(off.left, 1000, 2000), 0.0);  // silent within 1000 samples of key-off
}

TEST(Output, OneFullLevelCarrierPeaksAtTheChannelFullScale) {
  FmChip chip;
  const Stereo out = playVoice(chip, 0, pureCarrier(), kA4Fnum, kA4Block, 5000);
  EXPECT_NEAR(peak(out.left, 0, 5000), FmChip::kChannelFullScale, 0.002);
}

// Fraction of the energy that is not the fundamental.
double overtoneShare(const std::vector<float>& x, double fundamental, double rate) {
  const double a = toneAmplitude(x, 0, x.size(), fundamental, rate);
  const double total = rms(x, 0, x.size());
  return std::max(0.0, 1.0 - (a * a / 2) / (total * total));
}

// Operator 1 alone: from a sine at FB 0 to a sawtooth at FB 4 and beyond.
TEST(Timbre, OvertonesGrowWithFeedback) {
  double previous = -1;
  for (int fb = 0; fb < 8; ++fb) {
    FmChip chip;
    VoiceSetup voice = pureCarrier();
    voice.feedback = fb;
    const Stereo out = playVoice(chip, 0, voice, kA4Fnum, kA4Block, 22000);
    const double share = overtoneShare(
        out.left, chipFrequency(chip.sampleRate(), kA4Fnum, kA4Block), chip.sampleRate());
    if (fb <= 5) {
      EXPECT_GT(share, previous) << "FB " << fb;
    }
    if (fb == 0) {
      EXPECT_LT(share, 0.001);
    } else if (fb >= 5) {
      EXPECT_GT(share, 0.5) << "FB " << fb;  // FB 6 and 7 are as harsh, or noisy
    }
    previous = share;
  }
}

// Operator k alone at full level (the others silent) is heard exactly when
// it is a carrier of the algorithm.
TEST(Algorithm, CarriersByAlgorithm) {
  constexpr bool kCarrier[8][4] = {
      {false, false, false, true}, {false, false, false, true}, {false, false, false, true},
      {false, false, false, true}, {false, true, false, true},  {false, true, true, true},
      {false, true, true, true},   {true, true, true, true},
  };
  for (int alg = 0; alg < 8; ++alg) {
    for (int k = 0; k < 4; ++k) {
      FmChip chip;
      VoiceSetup voice;
      voice.algorithm = alg;
      voice.op[k].tl = 0;
      const Stereo out = playVoice(chip, 0, voice, kA4Fnum, kA4Block, 2000);
      EXPECT_EQ(peak(out.left, 0, 2000) > 0.2, kCarrier[alg][k]) << alg << " op " << k + 1;
    }
  }
}

// The player's built-in tone (algorithm 4, carriers at TL 0 and 8): its
// output is the exact sum of its two carrier branches.
TEST(Algorithm, BuiltInToneIsTheUnclippedSumOfItsCarriers) {
  VoiceSetup voice;
  voice.algorithm = 4;
  voice.feedback = 5;
  const int tl[4] = {34, 0, 40, 8};
  auto play = [&](bool second, bool fourth) {
    FmChip chip;
    VoiceSetup v = voice;
    for (int k = 0; k < 4; ++k) v.op[k].tl = tl[k];
    if (!second) v.op[1].tl = 127;
    if (!fourth) v.op[3].tl = 127;
    return playVoice(chip, 0, v, kA4Fnum, kA4Block, 4000).left;
  };
  const std::vector<float> both = play(true, true), two = play(true, false),
                           four = play(false, true);
  for (size_t i = 0; i < both.size(); ++i) ASSERT_EQ(both[i], two[i] + four[i]) << i;
  EXPECT_GT(peak(both, 0, both.size()), 1.2 * FmChip::kChannelFullScale);
}

// Every rate setting: the AM's depth, its start at full attenuation, and
// its rate within 0.5 % of the chip's divider (one LFO step every N samples,
// 128 steps a period).
TEST(Lfo, AmStartsAttenuatedAndRunsAtTheDividerRate) {
  constexpr int kDivider[8] = {108, 77, 71, 67, 62, 44, 8, 5};
  for (int rate = 0; rate < 8; ++rate) {
    FmChip chip;
    chip.write(0, fm_register::kLfo, static_cast<uint8_t>(0x08 | rate));
    VoiceSetup voice = pureCarrier();
    voice.op[0].am = true;
    voice.output = 0xC0 | (3 << 4);  // AMS 3: 11.8 dB
    const Stereo out = playVoice(chip, 0, voice, 1039, 6, 5 * 55466 / 2);
    const std::vector<double> env = levels(out.left, 64);
    const double hi = *std::max_element(env.begin(), env.end());
    const double lo = *std::min_element(env.begin(), env.end());
    if (kDivider[rate] > 40) {  // slow enough for windows of 64 samples to follow
      EXPECT_NEAR(decibels(hi / lo), 11.8, 1.5) << rate;
      EXPECT_NEAR(decibels(env[1] / hi), -11.8, 1.5) << rate;
    }
    // Rising crossings of the middle level, interpolated between windows.
    std::vector<float> centred;
    for (double level : env) centred.push_back(float(level - std::sqrt(hi * lo)));
    const double expected = chip.sampleRate() / (128.0 * kDivider[rate]);
    EXPECT_NEAR(zeroCrossingFrequency(centred, chip.sampleRate() / 64), expected, expected * 0.005)
        << rate;
  }
}

TEST(Lfo, AmNeedsTheOperatorsAmBit) {
  FmChip chip;
  chip.write(0, fm_register::kLfo, 0x08 | 5);
  VoiceSetup voice = pureCarrier();
  voice.output = 0xC0 | (3 << 4);
  const Stereo out = playVoice(chip, 0, voice, 1039, 6, 55466);
  const std::vector<double> env = levels(out.left, 64);
  EXPECT_NEAR(*std::min_element(env.begin() + 10, env.end()), FmChip::kChannelFullScale, 0.01);
}

TEST(Lfo, PmSwingsThePitchByThePmsDepth) {
  FmChip chip;
  chip.write(0, fm_register::kLfo, 0x08 | 5);
  VoiceSetup voice = pureCarrier();
  voice.output = 0xC0 | 7;  // PMS 7: +-80 cents
  const Stereo out = playVoice(chip, 0, voice, kA4Fnum, kA4Block, 55466);
  // Frequencies of stretches of 1/40 s.
  double lo = 1e9, hi = 0;
  for (size_t i = 0; i + 1386 <= out.left.size(); i += 1386) {
    const double f = zeroCrossingFrequency(slice(out.left, i, i + 1386), chip.sampleRate());
    lo = std::min(lo, f), hi = std::max(hi, f);
  }
  const double cents = 1200 * std::log2(hi / lo);
  EXPECT_GT(cents, 100);
  EXPECT_LT(cents, 170);
}

struct SsgCase {
  int shape;
  bool soundsLate;  // still audible long after the first decay
};

class SsgTest : public ::testing::TestWithParam<SsgCase> {};

TEST_P(SsgTest, ShapesRepeatOrHold) {
  FmChip chip;
  VoiceSetup voice = pureCarrier();
  voice.op[0].ssg = GetParam().shape;
  voice.op[0].dr = voice.op[0].sr = 20;
  voice.op[0].sl = 15;
  const Stereo out = playVoice(chip, 0, voice, kA4Fnum, kA4Block, 20000);
  EXPECT_EQ(peak(out.left, 15000, 20000) > 0.05, GetParam().soundsLate)
      << "shape " << GetParam().shape;
}

INSTANTIATE_TEST_SUITE_P(Fm, SsgTest,
                         ::testing::Values(SsgCase{0, false}, SsgCase{8, true}, SsgCase{9, false},
                                           SsgCase{10, true}, SsgCase{11, true}, SsgCase{12, true},
                                           SsgCase{13, true}, SsgCase{14, true},
                                           SsgCase{15, false}));

// With SSG-EG the release runs at four times its rate over half the range
// and then falls silent: RR 5 is silent 0.7 s after key-off, where the plain
// release has fallen only some 14 dB.
TEST(Ssg, ReleaseTakesTheSsgStep) {
  for (int shape : {0, 8, 12}) {
    FmChip chip;
    VoiceSetup voice = pureCarrier();
    voice.op[0].ssg = shape;
    voice.op[0].rr = 5;
    playVoice(chip, 0, voice, kA4Fnum, kA4Block, 500);
    writeKey(chip, 0, 0);
    const Stereo out = render(chip, 55466);
    const double late = peak(out.left, 38800, 40000);
    EXPECT_EQ(late == 0.0, shape != 0) << shape;
    if (shape == 0) {
      EXPECT_GT(decibels(late / FmChip::kChannelFullScale), -20);
    }
  }
}

// A fixed little song of writes on every channel, split into chunks.
Stereo song(FmChip& chip, const std::vector<size_t>& chunks) {
  chip.write(0, fm_register::kLfo, 0x0C);
  for (int ch = 0; ch < 6; ++ch) {
    VoiceSetup voice;
    voice.algorithm = ch + 1;
    voice.feedback = 5;
    voice.output = static_cast<uint8_t>(0xC0 | 0x33);
    for (int k = 0; k < 4; ++k) {
      voice.op[k] = OperatorSetup{k, k + 1, 10 * k, 2, 25, 8, 3, 5, 7, k == 1, 0};
    }
    writeVoice(chip, ch, voice);
    writeFrequency(chip, ch, 600 + 50 * ch, 3 + ch % 3);
    writeKey(chip, ch);
  }
  Stereo out;
  for (size_t n : chunks) {
    const Stereo part = render(chip, n);
    out.left.insert(out.left.end(), part.left.begin(), part.left.end());
    out.right.insert(out.right.end(), part.right.begin(), part.right.end());
  }
  return out;
}

TEST(Determinism, SameWritesSameSamplesInAnyChunking) {
  FmChip a, b;
  const Stereo one = song(a, {20000});
  const Stereo many = song(b, {1, 127, 128, 3000, 16744});
  EXPECT_EQ(0, std::memcmp(one.left.data(), many.left.data(), one.left.size() * sizeof(float)));
  EXPECT_EQ(0, std::memcmp(one.right.data(), many.right.data(), one.right.size() * sizeof(float)));
  EXPECT_GT(peak(one.left, 0, one.left.size()), 0.1);
}

TEST(Determinism, ResetForgetsEverything) {
  FmChip a, b;
  song(a, {5000});
  a.reset();
  const Stereo again = song(a, {3000});
  const Stereo fresh = song(b, {3000});
  EXPECT_EQ(again.left, fresh.left);
  a.reset();
  EXPECT_EQ(peak(render(a, 1000).left, 0, 1000), 0.0);
}

TEST(Hostile, MismatchedSpansFillTheRestWithSilence) {
  FmChip chip;
  writeVoice(chip, 0, pureCarrier());
  writeFrequency(chip, 0, kA4Fnum, kA4Block);
  writeKey(chip, 0);
  std::vector<float> left(300, 5.0f), right(100, 5.0f);
  chip.generate(left, right);
  EXPECT_GT(peak(left, 0, 100), 0.01);
  EXPECT_EQ(peak(left, 100, 300), 0.0);
}

}  // namespace
}  // namespace tallow::fmchip
