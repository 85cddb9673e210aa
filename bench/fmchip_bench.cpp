// Speed of the FM engine: ns per chip sample with six channels sounding (a
// four-operator voice with feedback, LFO on), with none sounding, and the cost
// of resampling the chip's output to 44.1 kHz; both per second of audio, in
// thread CPU time, best of fifteen runs.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "fmchip/fm_chip.h"
#include "fmchip/resampler.h"
#include "output/fm_registers.h"

namespace {

// Thread CPU time, so that other work on a shared machine weighs less.
struct Clock {
  using duration = std::chrono::nanoseconds;
  static duration now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
  }
};
using tallow::fmchip::FmChip;
using tallow::fmchip::Resampler;

// Six four-operator voices with feedback 5 on algorithms 0-5; with the LFO,
// every channel has AM (AMS 3, every operator) and PM (PMS 3).
void setUpSixChannels(FmChip& chip, bool lfo) {
  namespace reg = tallow::fm_register;
  chip.write(0, reg::kLfo, lfo ? 0x0B : 0x00);
  for (int channel = 0; channel < 6; ++channel) {
    const int port = tallow::fmHalf(channel), ch = tallow::fmChannel(channel);
    auto put = [&](uint8_t r, int value) { chip.write(port, r, static_cast<uint8_t>(value)); };
    for (int slot = 0; slot < 4; ++slot) {
      auto op = [&](uint8_t base) { return tallow::operatorRegister(base, slot, ch); };
      put(op(reg::kDetuneMultiple), 0x11 + slot);
      put(op(reg::kTotalLevel), slot == 3 ? 0 : 30);
      put(op(reg::kKeyScaleAttack), 0x1F);
      put(op(reg::kAmDecay), 0x85);
      put(op(reg::kSustainRate), 0x00);
      put(op(reg::kSustainRelease), 0x27);
    }
    put(reg::kFeedbackAlgorithm + ch, 0x28 + channel % 8);
    put(reg::kOutputModulation + ch, lfo ? 0xF3 : 0xC0);
    put(reg::kFrequencyHigh + ch, 0x20 + channel % 2);
    put(reg::kFrequencyLow + ch, 0x40 + 20 * channel);
    chip.write(0, reg::kKeyOnOff, static_cast<uint8_t>(0xF0 | (port * 4 + ch)));
  }
}

double secondsOf(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best of `runs` renders of `seconds` of audio; returns ns per chip sample.
double timeChip(FmChip& chip, double seconds, int runs, std::vector<float>& l,
                std::vector<float>& r) {
  const size_t frames = static_cast<size_t>(chip.sampleRate() * seconds);
  l.assign(frames, 0.0f);
  r.assign(frames, 0.0f);
  double best = 1e30;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    for (size_t done = 0; done < frames; done += 1024) {
      const size_t n = std::min<size_t>(1024, frames - done);
      chip.generate(std::span(l).subspan(done, n), std::span(r).subspan(done, n));
    }
    best = std::min(best, secondsOf(Clock::now() - start));
  }
  return best * 1e9 / frames;
}

}  // namespace

int main() {
  constexpr double kSeconds = 2.0;
  constexpr int kRuns = 15;
  std::vector<float> left, right;

  FmChip silent;
  const double silentNs = timeChip(silent, kSeconds, kRuns, left, right);
  FmChip plain;
  setUpSixChannels(plain, false);
  const double plainNs = timeChip(plain, kSeconds, kRuns, left, right);
  FmChip chip;
  setUpSixChannels(chip, true);
  const double soundingNs = timeChip(chip, kSeconds, kRuns, left, right);
  const double rate = chip.sampleRate();

  double resampleBest = 1e30;
  int taps = 0, phases = 0;
  for (int run = 0; run < kRuns; ++run) {
    Resampler resampler(rate, 44100.0);
    taps = resampler.taps();
    phases = resampler.phases();
    // A consumer that takes the output after every block, as a renderer does.
    std::vector<float> outLeft, outRight;
    const auto start = Clock::now();
    for (size_t done = 0; done < left.size(); done += 1024) {
      const size_t n = std::min<size_t>(1024, left.size() - done);
      outLeft.clear();
      outRight.clear();
      resampler.process(std::span(left).subspan(done, n), std::span(right).subspan(done, n),
                        outLeft, outRight);
    }
    resampler.finish(outLeft, outRight);
    resampleBest = std::min(resampleBest, secondsOf(Clock::now() - start));
  }
  const double resampleMsPerSecond = resampleBest * 1e3 / kSeconds;
  const double chipMsPerSecond = soundingNs * rate / 1e6;

  std::printf("chip rate %.2f Hz, best of %d runs of %.0f s of audio\n", rate, kRuns, kSeconds);
  std::printf("six channels, LFO off:  %.2f ns per chip sample, %.3f ms per second of audio\n",
              plainNs, plainNs * rate / 1e6);
  std::printf("six channels, AM + PM: %.2f ns per chip sample, %.3f ms per second of audio\n",
              soundingNs, chipMsPerSecond);
  std::printf("all channels silent:    %.2f ns per chip sample, %.3f ms per second of audio\n",
              silentNs, silentNs * rate / 1e6);
  std::printf("resampling to 44100 Hz (%d taps, %d phases): %.3f ms per second of audio\n", taps,
              phases, resampleMsPerSecond);
  std::printf("chip (AM + PM) + resampler: %.3f ms per second of audio (%.0fx real time)\n",
              chipMsPerSecond + resampleMsPerSecond,
              1000.0 / (chipMsPerSecond + resampleMsPerSecond));
  return 0;
}
