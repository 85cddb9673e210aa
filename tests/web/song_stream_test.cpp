// The player's stream natively (so that the sanitizers see it): its frames
// are the WAV export's, and every piece measures the parts that sound in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "web/playground.h"

namespace tallow::testing {
namespace {

TEST(SongStream, FramesOfTheExportAndLevelsOfEveryPiece) {
  TempDir dir;
  dir.write("song.mml", "1 t150 o4 l8 cdefgab>c\n2 o3 l4 c e g c\n");
  web::Playground playground;
  CurrentDirectory in(dir.path());
  ASSERT_EQ(playground.compile("song.mml", {}), 0);
  std::vector<uint8_t> wav;
  std::string error;
  ASSERT_TRUE(playground.makeExport(web::ExportKind::kWav, "", wav, error)) << error;
  ASSERT_TRUE(playground.play(44100, 0x7FFF, 0, "", error)) << error;

  size_t frame = 0;
  constexpr size_t kWavHeader = 44;
  for (long got; (got = playground.stream()->render(4410, error)) > 0;) {
    const web::SongStream& s = *playground.stream();
    for (long i = 0; i < got; ++i, ++frame) {
      size_t at = kWavHeader + 4 * frame;
      auto sample = static_cast<int16_t>(wav.at(at) | wav.at(at + 1) << 8);
      ASSERT_EQ(s.left()[i], sample / 32768.0f) << frame;
    }
    if (frame <= 44100) {  // both parts play through the first second
      EXPECT_GT(s.levels()[0], 0) << frame;
      EXPECT_GT(s.levels()[1], 0) << frame;
      EXPECT_EQ(s.levels()[2], 0) << frame;
    }
  }
  EXPECT_EQ(kWavHeader + 4 * frame, wav.size());
}

}  // namespace
}  // namespace tallow::testing
