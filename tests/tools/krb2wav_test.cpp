// The krb2wav command: the file it writes, determinism, hostile input files,
// banks, samples, usage errors and the options refused.
#include "tools/krb2wav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "export/audio_output.h"
#include "support/compile_helpers.h"
#include "support/render_support.h"
#include "support/temp_dir.h"
#include "tools/krb2wav_options.h"

namespace tallow::render {
namespace {

constexpr const char* kPureTone =
    ".fmbfile pure\n"
    "#@ NO AL FB TL1 TL2 TL3 TL4 AR1 AR2 AR3 AR4 RR1 RR2 RR3 RR4 ML1 ML2 ML3 ML4 L R *\n"
    "@1 7 0 0 127 127 127 31 31 31 31 15 15 15 15 1 1 1 1 1 1\n";

uint32_t le32(const std::string& b, size_t at) {
  return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t le16(const std::string& b, size_t at) { return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8; }

// The fields of a canonical 44-byte WAV header, read independently of the
// library's own reader.
struct WavInfo {
  uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
  uint32_t rate = 0, byteRate = 0, dataBytes = 0, riffBytes = 0;
  std::vector<int16_t> samples;
};

WavInfo readWav(const std::string& b) {
  WavInfo w;
  if (b.size() < 44 || b.compare(0, 4, "RIFF") || b.compare(8, 8, "WAVEfmt ") ||
      b.compare(36, 4, "data")) {
    return w;
  }
  w.riffBytes = le32(b, 4);
  w.format = le16(b, 20);
  w.channels = le16(b, 22);
  w.rate = le32(b, 24);
  w.byteRate = le32(b, 28);
  w.blockAlign = le16(b, 32);
  w.bits = le16(b, 34);
  w.dataBytes = le32(b, 40);
  for (size_t at = 44; at + 1 < b.size(); at += 2) w.samples.push_back(int16_t(le16(b, at)));
  return w;
}

class Krb2wavTest : public ::testing::Test {
 protected:
  // Compiles `mml` (after the pure tone's definition) into SONG.KRB.
  void compile(const std::string& mml, bool withTone = true) {
    dir_.write("song.mml", (withTone ? std::string(kPureTone) : "") + mml);
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
  const std::string bytes = dir_.read("out.wav");
  const WavInfo w = readWav(bytes);
  EXPECT_EQ(w.format, 1);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.bits, 16);
  EXPECT_EQ(w.rate, 22050u);
  EXPECT_EQ(w.byteRate, 22050u * 4);
  EXPECT_EQ(w.blockAlign, 4);
  EXPECT_EQ(w.dataBytes, bytes.size() - 44);
  EXPECT_EQ(w.riffBytes, bytes.size() - 8);
  // 192 steps of 289 ticks, and the releases of the last notes.
  EXPECT_GT(w.dataBytes / 4, 22050 * 0.999);
  EXPECT_LT(w.dataBytes / 4, 22050 * 1.15);
  int16_t peak = 0;
  for (int16_t s : w.samples) peak = std::max<int16_t>(peak, int16_t(std::abs(s)));
  EXPECT_GT(peak, 3000);
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
  std::string wav;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) wav.push_back(char(v >> (8 * i)));
  };
  const uint32_t rate = 22050, frames = rate * 3;
  wav = "RIFF";
  put(36 + frames * 2, 4);
  wav += "WAVEfmt ";
  for (uint32_t v : {16u, 1u, 1u}) put(v, v == 16 ? 4 : 2);
  put(rate, 4);
  put(rate * 2, 4);
  put(2, 2);
  put(16, 2);
  wav += "data";
  put(frames * 2, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    put(uint16_t(int16_t(16000 * std::sin(2 * 3.14159265358979 * 1000 * i / rate))), 2);
  }
  dir_.write("samples/3.wav", wav);
  compile("A t120 @3 o4c1 @5 c1\nB @3 o5c1\n", false);
  ASSERT_EQ(run({"--pcm", dir_.file("samples"), dir_.file("SONG.KRB"), dir_.file("out.wav")}), 0);
  EXPECT_EQ(err_, "krb2wav: warning: no sample 5.wav in " + dir_.file("samples") +
                      " for @5: the built-in voice played it\n");
  const WavInfo w = readWav(dir_.read("out.wav"));
  std::vector<float> left;
  for (size_t i = 0; i < w.samples.size(); i += 2) left.push_back(w.samples[i] / 32767.0f);
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
    if (haveSndfile()) {
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
      {"in.krb"},
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
  const std::pair<const char*, int> cases[] = {{"o4c", 60},  {"O4A", 69},  {"o3a+", 58},
                                               {"o0c-", 11}, {"127", 127}, {"o8b", 119}};
  for (auto [text, note] : cases) EXPECT_EQ(parseNoteName(text), note) << text;
  for (const char* bad : {"", "c", "o4", "o4h", "128", "-1", "o4c*"}) {
    EXPECT_FALSE(parseNoteName(bad)) << bad;
  }
}

}  // namespace
}  // namespace tallow::render
