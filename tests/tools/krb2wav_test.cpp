// The krb2wav command: the file it writes, determinism, hostile input files,
// banks, samples, usage errors and the options refused.
#include "tools/krb2wav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "export/audio_output.h"
#include "export/wav_file.h"
#include "support/compile_helpers.h"
#include "support/measure.h"
#include "support/temp_dir.h"
#include "tools/krb2wav_options.h"

namespace tallow::tools {
namespace {

// The samples of a WAV file the program wrote, once its header is checked
// to be the one for the file's length at `rate`, in stereo.
exports::PcmSample readWav(const std::string& bytes, uint32_t rate) {
  const std::vector<uint8_t> b(bytes.begin(), bytes.end());
  if (b.size() < exports::wav::kHeaderSize) {
    ADD_FAILURE() << "no WAV header";
    return {};
  }
  const uint64_t frames = (b.size() - exports::wav::kHeaderSize) / 4;
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + exports::wav::kHeaderSize),
            exports::wavHeader(rate, 2, frames));
  std::string error;
  std::optional<exports::PcmSample> sample = exports::parseWav(b, error);
  EXPECT_TRUE(sample) << error;
  return sample ? *sample : exports::PcmSample{};
}

class Krb2wavTest : public ::testing::Test {
 protected:
  // Compiles `mml` (after the pure tone's definition) into SONG.KRB.
  void compile(const std::string& mml, bool withTone = true) {
    dir_.write("song.mml", (withTone ? std::string(testing::kPureTones) : "") + mml);
    auto result = tallow::testing::runProgram({dir_.file("song.mml")});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
  }

  int run(std::vector<std::string> args) {
    StringOutStream out, err;
    const int status = runKrb2wav(args, out, err);
    out_ = out.text();
    err_ = err.text();
    return status;
  }

  tallow::testing::TempDir dir_;
  std::string out_, err_;
};

TEST_F(Krb2wavTest, WritesAWavFileAndASummary) {
  compile("1 @1 t120 o4a2\nA t120 o4c2\n");
  ASSERT_EQ(run({dir_.file("SONG.KRB"), dir_.file("out.wav"), "--rate", "22050"}), 0) << err_;
  EXPECT_EQ(err_, "");
  EXPECT_NE(out_.find("out.wav: 0:01.1 at 22050 Hz, parts FM1 PCM1, peak -"), std::string::npos)
      << out_;
  const exports::PcmSample w = readWav(dir_.read("out.wav"), 22050);
  // 192 steps of 289 ticks, and the releases of the last notes.
  EXPECT_GT(w.frames(), 22050 * 0.999);
  EXPECT_LT(w.frames(), 22050 * 1.15);
  EXPECT_GT(testing::peak(w.left), 0.09f);
}

TEST_F(Krb2wavTest, SameInputSameBytes) {
  compile("1 @1 t140 o4 l16 cdefgab>c\nA o3 l8 %l cegc %r egce\nX o5 l32 cdcdcdcd\n");
  ASSERT_EQ(run({dir_.file("SONG.KRB"), dir_.file("a.wav")}), 0) << err_;
  ASSERT_EQ(run({dir_.file("SONG.KRB"), dir_.file("b.wav")}), 0) << err_;
  const std::string a = dir_.read("a.wav");
  EXPECT_GT(a.size(), 44u);
  EXPECT_TRUE(a == dir_.read("b.wav"));
}

// Broken KRB files end with one message and exit status 1, and leave no
// output file behind.
TEST_F(Krb2wavTest, HostileFilesFailCleanly) {
  compile("1 @1 o4 c d e f\nA c d e f\n");
  const std::string good = dir_.read("SONG.KRB");
  std::mt19937 random(7);
  std::string noise(3000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string outside = good;
  outside[0x06D + 8 * 6 + 4] = '\x7F';  // PCM1's length reaches past the end
  std::string undefined = good;
  undefined[good.size() - 1] = '\x7B';  // BEEP's end code becomes no event
  const std::pair<const char*, std::string> cases[] = {
      {"noise.krb", noise},
      {"truncated.krb", good.substr(0, 200)},
      {"outside.krb", outside},
  };
  for (const auto& [name, bytes] : cases) {
    dir_.write(name, bytes);
    EXPECT_EQ(run({dir_.file(name), dir_.file("out.wav")}), 1) << name;
    EXPECT_EQ(err_.rfind("krb2wav: ", 0), 0u) << name << ": " << err_;
    EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
    EXPECT_FALSE(dir_.exists("out.wav")) << name;
  }
  dir_.write("undefined.krb", undefined);
  EXPECT_EQ(run({dir_.file("undefined.krb"), dir_.file("out.wav")}), 1);
  EXPECT_FALSE(dir_.exists("out.wav"));
  EXPECT_EQ(run({dir_.file("missing.krb"), dir_.file("out.wav")}), 1);
}

TEST_F(Krb2wavTest, AMissingBankWarnsAndPlaysTheBuiltInTone) {
  compile(".fmbfile gone\n1 o4a1\n", false);
  ASSERT_EQ(run({dir_.file("SONG.KRB"), dir_.file("out.wav")}), 0) << err_;
  EXPECT_EQ(err_,
            "krb2wav: warning: the bank gone.FMB is not beside the KRB file: FM parts play a "
            "built-in tone\n");
  EXPECT_EQ(out_.find("silent"), std::string::npos) << out_;
  EXPECT_NE(out_.find("FM1"), std::string::npos) << out_;
  EXPECT_EQ(run({"--fmb", dir_.file("nothing.fmb"), dir_.file("SONG.KRB"), dir_.file("o.wav")}), 1);
}

// A PCM part plays DIR/N.wav for tone N, pitched from the root note.
TEST_F(Krb2wavTest, PcmSamplesArePlayedAtTheirPitch) {
  const uint32_t rate = 22050, frames = rate * 3;
  const std::vector<uint8_t> header = exports::wavHeader(rate, 1, frames);
  std::string wav(header.begin(), header.end());
  for (uint32_t i = 0; i < frames; ++i) {
    const auto v = uint16_t(int16_t(16000 * std::sin(2 * 3.14159265358979 * 1000 * i / rate)));
    wav += {char(v & 0xFF), char(v >> 8)};
  }
  dir_.write("samples/3.wav", wav);
  compile("A t120 @3 o4c1 @5 c1\nB @3 o5c1\n", false);
  ASSERT_EQ(run({"--pcm", dir_.file("samples"), dir_.file("SONG.KRB"), dir_.file("out.wav")}), 0);
  EXPECT_EQ(err_, "krb2wav: warning: no sample 5.wav in " + dir_.file("samples") +
                      " for @5: the built-in voice played it\n");
  const exports::PcmSample w = readWav(dir_.read("out.wav"), 44100);
  const std::vector<float>& left = w.left;
  // PCM1 at the root note (1 kHz) and PCM2 an octave up (2 kHz) sound together.
  ASSERT_GE(left.size(), 44100u);
  const auto steady = std::span<const float>(left).subspan(44100 / 4, 44100 / 2);
  EXPECT_NEAR(testing::strongestFrequency(steady, 44100, 1000), 1000, 2);
  EXPECT_NEAR(testing::strongestFrequency(steady, 44100, 2000), 2000, 4);

  EXPECT_EQ(run({"--pcm-root", "o5c", "--pcm", dir_.file("samples"), dir_.file("SONG.KRB"),
                 dir_.file("out.wav")}),
            0);
  dir_.write("samples/3.wav", "RIFF");
  EXPECT_EQ(run({"--pcm", dir_.file("samples"), dir_.file("SONG.KRB"), dir_.file("bad.wav")}), 1);
  EXPECT_NE(err_.find("3.wav"), std::string::npos) << err_;
  EXPECT_FALSE(dir_.exists("bad.wav"));
}

TEST_F(Krb2wavTest, CommandLine) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(out_.rfind("Usage: krb2wav", 0), 0u);
  EXPECT_EQ(run({"only.krb"}), 2);
  EXPECT_EQ(err_,
            "krb2wav: an input KRB file and an output file are needed\n"
            "Try 'krb2wav --help' for more information.\n");
  EXPECT_EQ(run({"a.krb", "b.mp3"}), 2);
  compile("A c\n", false);
  for (const char* name : {"out.flac", "out.ogg"}) {
    const int status = run({dir_.file("SONG.KRB"), dir_.file(name)});
    if (exports::haveSndfile()) {
      EXPECT_EQ(status, 0) << err_;
      EXPECT_GT(dir_.read(name).size(), 100u);
    } else {
      EXPECT_EQ(status, 2);
      EXPECT_NE(err_.find("needs a build with libsndfile"), std::string::npos) << err_;
    }
  }
}

TEST(OptionsTest, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
      {"a", "b", "c"},
      {"--rate", "7999", "a", "b"},
      {"--rate", "44.1k", "a", "b"},
      {"--loops", "0", "a", "b"},
      {"--fade", "nan", "a", "b"},
      {"--max-seconds", "0", "a", "b"},
      {"--part", "FM7", "a", "b"},
      {"--pcm-root", "o9c", "a", "b"},
      {"--bogus", "1", "a", "b"},
      {"a", "b", "--rate"},
  };
  for (const auto& args : cases) {
    Krb2wavOptions o;
    std::string error;
    EXPECT_EQ(parseKrb2wavArgs(args, o, error), ParseOutcome::kUsageError) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(OptionsTest, NoteNames) {
  const std::pair<const char*, int> cases[] = {
      {"o4c", 60},  {"o4d", 62}, {"o4e", 64},  {"o4f", 65},  {"o4g", 67}, {"O4A", 69},
      {"o3a+", 58}, {"o4b", 71}, {"o0c-", 11}, {"127", 127}, {"o8b", 119}};
  for (auto [text, note] : cases) EXPECT_EQ(parseNoteName(text), note) << text;
  for (const char* bad : {"", "c", "o4", "o4h", "128", "-1", "o4c*"}) {
    EXPECT_FALSE(parseNoteName(bad)) << bad;
  }
}

}  // namespace
}  // namespace tallow::tools
