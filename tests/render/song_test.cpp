// End to end: MML compiled in-process, rendered through the driver model,
// the FM chip and the voices, and measured.
#include <gtest/gtest.h>

#include <cmath>

#include "output/krb_reader.h"
#include "playback/bank_lookup.h"
#include "render/render_song.h"
#include "support/compile_helpers.h"
#include "support/measure.h"
#include "support/temp_dir.h"

namespace tallow::render {
namespace {

using testing::VectorSink;
constexpr uint32_t kRate = 44100;

struct Audio {
  VectorSink sink;
  SongResult result;
  size_t frames() const { return sink.left.size(); }
  // Seconds of audio from `from` on.
  std::span<const float> at(double from, double seconds, bool right = false) const {
    const auto& x = right ? sink.right : sink.left;
    const size_t start = std::min(x.size(), size_t(from * kRate));
    return std::span(x).subspan(start, std::min(x.size() - start, size_t(seconds * kRate)));
  }
};

class SongTest : public ::testing::Test {
 protected:
  // Compiles `mml` (after the pure tone's definition) as song.mml.
  void compile(const std::string& mml) {
    dir_.write("song.mml", std::string(tallow::testing::kPureTones) + mml);
    auto result = tallow::testing::runProgram({dir_.file("song.mml")});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    std::string bytes = dir_.read("SONG.KRB");
    krbBytes_.assign(bytes.begin(), bytes.end());
  }

  void render(Audio& audio, SongSettings settings = {}) {
    std::string error;
    auto krb = readKrb(krbBytes_, error);
    ASSERT_TRUE(krb) << error;
    std::vector<uint8_t> bank;
    bool missing = false;
    ASSERT_TRUE(playback::loadBank(dir_.file("SONG.KRB"), *krb, {}, bank, missing));
    ASSERT_FALSE(missing);
    settings.render.outputRate = kRate;
    SampleBank samples;
    ASSERT_TRUE(renderSong(*krb, bank, settings, samples, audio.sink, audio.result, error))
        << error;
  }

  double frequency(const std::string& mml, double guess, bool right = false) {
    compile(mml);
    Audio audio;
    render(audio);
    if (audio.frames() == 0) return 0;  // a failure already reported
    return testing::strongestFrequency(audio.at(0.3, 0.5, right), kRate, guess);
  }

  tallow::testing::TempDir dir_;
  std::vector<uint8_t> krbBytes_;
};

TEST_F(SongTest, EveryKindOfPartPlaysItsPitch) {
  const double semitone = std::exp2(1 / 12.0);
  struct Case {
    const char* mml;
    double expected;
  };
  const Case cases[] = {
      {"1 @1 o4a1", 440},
      {"1 @1 o5a1", 880},
      {"1 @1 u62 o4a1", 440 * semitone},  // 62 F-number units: A to A+ in octave 4
      {"A o4a1", 440},
      {"A o3a1", 220},
      {"A u61 o4a1", 440 * semitone},  // 61 units: a semitone of the PCM detune
      {"X o4a1", 440},
      {"X o5a1", 880},
      {"X u61 o4a1", 440 * semitone},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(frequency(c.mml, c.expected) / c.expected, 1.0, 0.005) << c.mml;
  }
}

TEST_F(SongTest, AWholeNoteAtTempo120LastsTwoSecondsAtAnyZenlen) {
  std::vector<size_t> lengths;
  for (const char* zenlen : {".zenlen 192\n", ".zenlen 384\n"}) {
    compile(std::string(zenlen) + "1 t120 @1 o4a1\nA t120 o4a1\n");
    Audio audio;
    render(audio);
    lengths.push_back(audio.frames());
    EXPECT_FALSE(audio.result.faded);
  }
  EXPECT_EQ(lengths[0], lengths[1]);
  // Then the fast releases of the last notes.
  EXPECT_GT(lengths[0], 2.0 * kRate);
  EXPECT_LT(lengths[0], 2.1 * kRate);
}

// A song that ends goes on until its last note has died away; the mix has
// no offset once the high-pass has settled.
TEST_F(SongTest, AnEndingSongRendersItsLastReleaseWithoutOffset) {
  for (double cutoff : {5.0, 0.0}) {
    compile("1 @3 t120 o4a1\n");
    SongSettings settings;
    settings.render.dcCutoff = cutoff;
    Audio audio;
    render(audio, settings);
    double sum = 0;
    for (float v : audio.at(1, 1)) sum += v;
    EXPECT_EQ(20 * std::log10(std::abs(sum) / kRate) < -80, cutoff > 0) << cutoff;
    EXPECT_GT(testing::peak(audio.at(2.1, 0.1)), 1e-3f);  // after the note-off
    EXPECT_LT(audio.frames(), 12 * kRate);
    EXPECT_LT(testing::peak(audio.at(audio.frames() / double(kRate) - 0.02, 1)), 3.2e-5f);
  }
}

// No step between neighbouring samples above 0.03 anywhere in a phrase (a
// tone of 65-220 Hz at full level moves at most 0.02 per sample; a voice
// that started or stopped at once would jump by up to its amplitude, 0.125).
// PCM: short notes, ties, a note cutting into another, volume and pan
// changes.  FM: notes from silence and their release (the chip itself
// jumps where its registers say so: a key-on over a sounding note restarts
// the wave, a volume or pan change takes effect at once).
TEST_F(SongTest, NoteBoundariesDoNotClick) {
  const char* phrases[] = {
      "A t150 o2 a8 b8 >c16r16c8& c8 v10 d4 %l e8 %r f8 <a2\n",
      "1 @2 t150 o3 a8r8 b8r8 >c16r16 c8r8 d4r4\n",
  };
  for (const char* phrase : phrases) {
    compile(phrase);
    Audio audio;
    render(audio);
    EXPECT_GT(testing::peak(audio.sink.left), 0.08f) << phrase;
    EXPECT_LT(testing::largestJump(audio.sink.left, 0, audio.frames()), 0.03f) << phrase;
    EXPECT_LT(testing::largestJump(audio.sink.right, 0, audio.frames()), 0.03f) << phrase;
  }
}

// Each side of the mix gets the parts panned to it; a centred part plays on
// both at the same level.  (Which pan values pick which FM side is checked
// on the register writes.)
TEST_F(SongTest, PanPutsPartsInTheirChannels) {
  struct Case {
    const char* mml;
    bool left, right;
  };
  const Case cases[] = {
      {"1 @1 %l o4a1", true, false}, {"1 @1 %r o4a1", false, true}, {"1 @1 %c-3 o4a1", true, true},
      {"A %l o4a1", true, false},    {"A %r o4a1", false, true},    {"A %c o4a1", true, true},
  };
  for (const Case& c : cases) {
    compile(c.mml);
    Audio audio;
    render(audio);
    const float left = testing::peak(audio.at(0.2, 1)),
                right = testing::peak(audio.at(0.2, 1, true));
    EXPECT_EQ(left > 0.03f, c.left) << c.mml;
    EXPECT_EQ(right > 0.03f, c.right) << c.mml;
    if (c.left && c.right) {
      EXPECT_NEAR(20 * std::log10(left / right), 0, 0.5) << c.mml;
    }
  }
}

// A loop of one quarter note (0.5 s at tempo 120) after a quarter rest plays
// the asked number of times, then the fade runs while it goes on playing.
TEST_F(SongTest, EndlessLoopsPlayTheirCountThenFade) {
  compile("A t120 r4 @p o4a8r8 @j0\n");
  const double step = 289 * 18e-6, quarter = 96 * step;
  for (int loops : {1, 2, 3}) {
    SongSettings settings;
    settings.play.loops = loops;
    settings.fadeSeconds = 1;
    Audio audio;
    render(audio, settings);
    EXPECT_TRUE(audio.result.faded);
    const double songEnd = quarter * (1 + loops);
    EXPECT_NEAR(audio.frames(), (songEnd + 1) * kRate, 2) << loops;
    int onsets = 0;
    for (size_t from = 0;; ++onsets) {
      from = testing::onsetFrame(audio.sink.left, 0.002f, from);
      if (from >= audio.frames()) break;
      from += size_t(quarter * kRate * 0.9);
    }
    // The loop plays `loops` times, and twice more during the fade.
    EXPECT_EQ(onsets, loops + 2) << loops;
    EXPECT_LT(std::abs(audio.sink.left.back()), 1e-3f);
  }
}

TEST_F(SongTest, PartFilterAndTimeCap) {
  compile("1 @1 t120 o4a1\nA o5a1\nX @p o6a4 @j0\n");
  SongSettings settings;
  settings.play.parts = 1 << kFirstPcmPart;  // PCM1 only
  Audio pcm;
  render(pcm, settings);
  EXPECT_EQ(pcm.result.stats.played,
            (std::array<bool, kPartCount>{false, false, false, false, false, false, true}));
  EXPECT_NEAR(testing::strongestFrequency(pcm.at(0.3, 0.5), kRate, 880), 880, 4);

  settings.play.parts = playback::kAllParts;
  settings.play.loops = 100;
  settings.play.maxSeconds = 3;
  Audio capped;
  render(capped, settings);
  EXPECT_TRUE(capped.result.capped);
  EXPECT_NEAR(capped.frames(), 3 * kRate, 2);
}

}  // namespace
}  // namespace tallow::render
