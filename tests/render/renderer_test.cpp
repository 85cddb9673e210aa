// The renderer's core fed with events by hand: attack and release, chords,
// the length, the fade and the end, clipping, and the bookkeeping between a
// lagging FM sound and the voices.  (Pitch, pan, onsets and clicks are
// measured end to end in song_test.cpp.)
#include "render/renderer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/measure.h"

namespace tallow::render {
namespace {

using playback::Event;
using playback::EventKind;
using playback::Tick;
using testing::VectorSink;

constexpr uint32_t kRate = 44100;
constexpr Tick kSecond = 1000000000 / playback::kTickNanoseconds;  // 55555 ticks
constexpr int kPcm1 = kFirstPcmPart;

Event event(Tick tick, int part, EventKind kind, int pitch = 0, int amount = 0) {
  Event e;
  e.tick = tick;
  e.part = static_cast<uint8_t>(part);
  e.kind = kind;
  e.pitch = static_cast<uint8_t>(pitch);
  e.amount = static_cast<int16_t>(amount);
  return e;
}

Event noteOn(Tick tick, int part, int pitch, int detune = 0) {
  Event e = event(tick, part, EventKind::kNoteOn, pitch);
  e.detune = static_cast<int16_t>(detune);
  return e;
}

struct Rendered {
  VectorSink sink;
  RenderStats stats;
};

// Renders `events` (in time order) up to `end` with no FM sound.
void render(const std::vector<Event>& events, Tick end, Rendered& out,
            std::unique_ptr<FmSound> fm = nullptr, std::optional<Tick> fadeStart = {},
            double dcCutoff = 5) {
  SampleBank samples;
  Renderer renderer(RenderSettings{kRate, 60, dcCutoff}, std::move(fm), samples, out.sink);
  if (fadeStart) renderer.setFade(*fadeStart, 1.0);
  std::string error;
  for (const Event& e : events) ASSERT_TRUE(renderer.apply(e, error)) << error;
  ASSERT_TRUE(renderer.finish(end, error)) << error;
  out.stats = renderer.stats();
}

// Every voice fades in over its first milliseconds and out after its
// release, instead of starting or stopping at full level.
TEST(RendererTest, VoicesRampInAndOut) {
  const Tick on = kSecond / 10, off = kSecond / 2;
  for (int part : {kPcm1, int{kBeepPart}}) {
    Rendered r;
    render({noteOn(on, part, 69), event(off, part, EventKind::kNoteOff, 69)}, kSecond, r);
    auto peak = [&](Tick at, double fromMs, double toMs) {
      const size_t frame = FrameClock(kRate, 1).frameAt(at);
      return testing::peak(std::span(r.sink.left)
                               .subspan(frame + size_t(fromMs * kRate / 1000),
                                        size_t((toMs - fromMs) * kRate / 1000)));
    };
    const float steady = peak(on, 20, 40);
    EXPECT_LT(peak(on, 0, 0.5), 0.3f * steady) << kPartNames[part];
    EXPECT_GT(peak(off, 0.5, 1.5), 0.5f * peak(off, -20, 0)) << kPartNames[part];
    EXPECT_LT(peak(off, 20, 40), 1e-4f) << kPartNames[part];
  }
}

// Notes sound together until each is released by its pitch; a part's end
// releases all of them.
TEST(RendererTest, ChordsHoldEachNoteUntilItsRelease) {
  const Tick t = kSecond / 4;
  Rendered r;
  render({noteOn(0, kPcm1, 57), noteOn(0, kPcm1, 64), noteOn(0, kPcm1, 69),
          event(t, kPcm1, EventKind::kNoteOff, 64), event(2 * t, kPcm1, EventKind::kEnd)},
         3 * t, r);
  auto strength = [&](double from, double frequency) {
    const size_t at = size_t(from * kRate);
    return testing::toneAmplitude(r.sink.left, at, at + kRate / 10, frequency, kRate) / 2;
  };
  const double e = noteFrequency(64, 1);
  for (double f : {220.0, e, 440.0}) EXPECT_GT(strength(0.1, f), 0.01) << f;
  EXPECT_LT(strength(0.35, e), 0.001);
  EXPECT_GT(strength(0.35, 220), 0.01);
  EXPECT_LT(testing::peak(std::span(r.sink.left).subspan(size_t(0.55 * kRate))), 1e-4f);
}

// The BEEP square is band-limited: the lines that the harmonics above the
// Nyquist frequency would fold back onto lie at least 70 dB below the
// harmonics that fit.
TEST(RendererTest, BeepSquareDoesNotAlias) {
  for (int pitch : {93, 117}) {  // o6a and o8a: 1760 and 7040 Hz
    Rendered r;
    render({noteOn(0, kBeepPart, pitch)}, kSecond / 2, r);
    const auto x = std::span<const float>(r.sink.left).subspan(kRate / 10, kRate / 4);
    const std::vector<double> windowed = testing::hann(x);
    const double f = noteFrequency(pitch, 1);
    double harmonics = 0, aliases = 0;
    for (int k = 1; k < 200; k += 2) {
      const double folded = std::abs(std::remainder(k * f, double(kRate)));
      const double power = testing::powerAt(windowed, kRate, folded);
      (k * f < kRate / 2.0 ? harmonics : aliases) += power;
    }
    EXPECT_LT(10 * std::log10(aliases / harmonics), -70) << pitch;
  }
}

TEST(RendererTest, LengthFadeAndEnd) {
  Rendered plain;
  render({noteOn(0, kPcm1, 69)}, 2 * kSecond, plain);
  EXPECT_EQ(plain.stats.frames, uint64_t{2 * kSecond} * 18 * kRate / 1000000);
  EXPECT_LT(std::abs(plain.sink.left.back()), 0.002f);  // the end fades in 5 ms

  Rendered faded;
  render({noteOn(0, kPcm1, 69)}, 10 * kSecond, faded, nullptr, kSecond / 2);
  // The fade of one second from half a second in ends the render; halfway
  // through it the sound is at half its level.
  EXPECT_NEAR(faded.stats.frames, 1.5 * kRate, 2);
  auto window = [](const std::vector<float>& x) {
    return testing::peak(std::span(x).subspan(kRate, kRate / 50));
  };
  EXPECT_NEAR(window(faded.sink.left) / window(plain.sink.left), 0.5, 0.02);
  EXPECT_LT(std::abs(faded.sink.left.back()), 0.002f);
}

// An FM sound whose output lags behind its time, as a resampler's does: it
// renders up to a tick but hands out the last 37 frames only later.  Its
// level is the last value written.
class LaggingFm final : public FmSound {
 public:
  static constexpr size_t kLag = 37;
  void write(int, uint8_t, uint8_t value) override { level_ = value / 100.0f; }
  void advanceTo(Tick tick) override {
    while (produced_ < FrameClock(kRate, 1).frameAt(tick)) produce();
  }
  size_t ready() const override {
    return frames_.size() - taken_ > kLag ? frames_.size() - taken_ - kLag : 0;
  }
  void take(std::span<float> l, std::span<float> r, float gain) override {
    for (size_t i = 0; i < l.size(); ++i) {
      l[i] += frames_[taken_ + i] * gain;
      r[i] += frames_[taken_ + i] * gain;
    }
    taken_ += l.size();
  }
  void extend(size_t frames) override {
    while (ready() < frames) produce();
  }

 private:
  void produce() {
    frames_.push_back(level_);
    ++produced_;
  }
  float level_ = 0;
  uint64_t produced_ = 0;
  std::vector<float> frames_;
  size_t taken_ = 0;
};

TEST(RendererTest, FmWritesTakeEffectAtTheirFrame) {
  Rendered r;
  Event write = event(kSecond / 10, 0, EventKind::kChipWrite);
  write.value = 50;
  render({write}, kSecond / 5, r, std::make_unique<LaggingFm>());
  ASSERT_EQ(r.sink.left.size(), r.stats.frames);
  const size_t at = FrameClock(kRate, 1).frameAt(kSecond / 10);
  EXPECT_EQ(r.sink.left[at - 1], 0.0f);
  EXPECT_GT(r.sink.left[at], 0.15f);
  EXPECT_EQ(testing::onsetFrame(r.sink.left, 0.1f), at);
}

TEST(RendererTest, LoudMixIsClippedNotWrapped) {
  Rendered r;
  std::vector<Event> events;
  for (int value : {255, 0, 255}) {
    Event write = event(events.size() * kSecond / 10, 0, EventKind::kChipWrite);
    write.value = static_cast<uint8_t>(value);  // 1.02 after the FM gain of 0.4
    events.push_back(write);
  }
  render(events, kSecond / 2, r, std::make_unique<LaggingFm>(), {}, 0);
  EXPECT_GT(r.stats.peak, 1.0f);
  // Both channels clip in the first tenth of a second and from the second
  // tenth on (but for the end's short fade), not in between.
  EXPECT_NEAR(r.stats.clipped, 2 * 0.4 * kRate, 0.01 * kRate);
  for (float v : r.sink.left) ASSERT_LE(std::abs(v), 1.0f);
  EXPECT_EQ(testing::peak(r.sink.left), 1.0f);
}

}  // namespace
}  // namespace tallow::render
