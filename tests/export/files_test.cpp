// The WAV container (written header, sample files read back and refused)
// and the output writer.
#include <gtest/gtest.h>

#include <cstring>

#include "export/audio_output.h"
#include "export/wav_file.h"
#include "support/temp_dir.h"

namespace tallow::exports {
namespace {

std::vector<uint8_t> le16(int v) { return {uint8_t(v), uint8_t(v >> 8)}; }
std::vector<uint8_t> le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

void append(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// A WAV file with the given format fields and data, an odd-sized chunk
// before the format chunk.
std::vector<uint8_t> wavFile(int format, int channels, uint32_t rate, int bits,
                             const std::vector<int16_t>& samples) {
  std::vector<uint8_t> f;
  append(f, "RIFF");
  append(f, le32(0));
  append(f, "WAVE");
  append(f, "LIST");
  append(f, le32(3));
  append(f, {1, 2, 3, 0});  // three bytes and the pad byte
  append(f, "fmt ");
  append(f, le32(16));
  append(f, le16(format));
  append(f, le16(channels));
  append(f, le32(rate));
  append(f, le32(rate * channels * 2));
  append(f, le16(channels * 2));
  append(f, le16(bits));
  append(f, "data");
  append(f, le32(static_cast<uint32_t>(samples.size() * 2)));
  for (int16_t s : samples) append(f, le16(s));
  return f;
}

TEST(WavTest, HeaderDescribesSixteenBitStereo) {
  const std::vector<uint8_t> h = wavHeader(48000, 2, 1000);
  ASSERT_EQ(h.size(), wav::kHeaderSize);
  EXPECT_EQ(std::memcmp(h.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(h.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 4, h.begin() + 8), le32(4036));
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 24, h.begin() + 28), le32(48000));
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 28, h.begin() + 32), le32(192000));
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 32, h.begin() + 36),
            (std::vector<uint8_t>{4, 0, 16, 0}));
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 40, h.begin() + 44), le32(4000));
}

TEST(WavTest, ReadsMonoAndStereoPcm) {
  std::string error;
  auto mono = parseWav(wavFile(1, 1, 22050, 16, {0, 16384, -32768}), error);
  ASSERT_TRUE(mono) << error;
  EXPECT_EQ(mono->rate, 22050u);
  EXPECT_FALSE(mono->stereo());
  EXPECT_EQ(mono->left, (std::vector<float>{0, 0.5f, -1}));
  auto stereo = parseWav(wavFile(1, 2, 8000, 16, {100, -100, 200, -200}), error);
  ASSERT_TRUE(stereo) << error;
  EXPECT_EQ(stereo->frames(), 2u);
  EXPECT_FLOAT_EQ(stereo->right[1], -200 / 32768.0f);
}

TEST(WavTest, RefusesWhatItCannotPlay) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> truncated = wavFile(1, 1, 8000, 16, {1, 2});
  truncated.resize(20);
  const Case cases[] = {
      {{}, "not a RIFF/WAVE file"},
      {truncated, "no format chunk before the data"},
      {wavFile(1, 1, 8000, 8, {1}), "not 16-bit PCM"},
      {wavFile(3, 1, 8000, 16, {1}), "not 16-bit PCM"},
      {wavFile(1, 3, 8000, 16, {1, 2, 3}), "neither mono nor stereo"},
      {wavFile(1, 1, 0, 16, {1}), "the sample rate is out of range"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(parseWav(c.bytes, error));
    EXPECT_EQ(error, c.reason);
  }
}

TEST(AudioOutputTest, WavWriterCommitsOrLeavesNothing) {
  tallow::testing::TempDir dir;
  std::string error;
  {
    AudioWriter writer;
    ASSERT_TRUE(writer.open(dir.file("a.wav"), AudioFormat::kWav, 44100, error)) << error;
    const int16_t frames[] = {1, -1, 0x1234, -2};
    ASSERT_TRUE(writer.write(frames));
    ASSERT_TRUE(writer.commit(error)) << error;
  }
  const std::string a = dir.read("a.wav");
  ASSERT_EQ(a.size(), 52u);
  EXPECT_EQ(a.substr(40, 4), std::string("\x08\0\0\0", 4));
  EXPECT_EQ(a.substr(48, 4), std::string("\x34\x12\xFE\xFF", 4));
  {
    AudioWriter abandoned;
    ASSERT_TRUE(abandoned.open(dir.file("b.wav"), AudioFormat::kWav, 44100, error));
  }
  EXPECT_FALSE(dir.exists("b.wav"));
  AudioWriter nowhere;
  EXPECT_FALSE(nowhere.open(dir.file("missing/c.wav"), AudioFormat::kWav, 44100, error));
}

TEST(AudioOutputTest, FormatFollowsTheExtension) {
  std::string error;
  EXPECT_EQ(audioFormatFor("x/Song.WAV", error), AudioFormat::kWav);
  EXPECT_FALSE(audioFormatFor("song.mp3", error));
  EXPECT_FALSE(audioFormatFor("dir.wav/song", error));
  EXPECT_EQ(audioFormatFor("song.flac", error).has_value(), haveSndfile());
  EXPECT_EQ(audioFormatFor("song.ogg", error).has_value(), haveSndfile());
}

}  // namespace
}  // namespace tallow::exports
