// Every example song and every whole song shown in the docs (a block of
// MML that starts with `.title`) compiles without a warning, its parts end
// together, and each part that plays notes is heard when rendered alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "krbdump/krbdump.h"
#include "output/krb_reader.h"
#include "playback/bank_lookup.h"
#include "render/render_song.h"
#include "support/compile_helpers.h"
#include "support/measure.h"
#include "support/temp_dir.h"

namespace tallow::tools {
namespace {

namespace fs = std::filesystem;
const fs::path kRoot = TALLOW_SOURCE_DIR;

struct Song {
  std::string name;  // where it comes from
  std::string mml;
};

void PrintTo(const Song& song, std::ostream* os) { *os << song.name; }

// The example files that no other example includes, and the ```mml blocks
// of the docs whose first line is a `.title`.
std::vector<Song> allSongs() {
  std::vector<Song> songs;
  std::string examples;
  for (const auto& e : fs::directory_iterator(kRoot / "examples")) {
    if (e.path().extension() == ".mml") examples += tallow::testing::readFile(e.path());
  }
  for (const auto& e : fs::directory_iterator(kRoot / "examples")) {
    const std::string file = e.path().filename().string();
    if (e.path().extension() != ".mml" || examples.find('"' + file + '"') != std::string::npos)
      continue;
    songs.push_back({"examples/" + file, tallow::testing::readFile(e.path())});
  }
  for (const auto& e : fs::directory_iterator(kRoot / "docs")) {
    std::istringstream in(tallow::testing::readFile(e.path()));
    int lineNumber = 0;
    std::optional<Song> block;
    for (std::string line; std::getline(in, line);) {
      ++lineNumber;
      if (!block && line == "```mml") {
        block = Song{"docs/" + e.path().filename().string() + ":" + std::to_string(lineNumber), ""};
      } else if (block && line == "```") {
        if (block->mml.starts_with(".title")) songs.push_back(*block);
        block.reset();
      } else if (block) {
        block->mml += line + "\n";
      }
    }
  }
  std::sort(songs.begin(), songs.end(),
            [](const Song& a, const Song& b) { return a.name < b.name; });
  return songs;
}

class ExampleSong : public ::testing::TestWithParam<Song> {};

TEST_P(ExampleSong, CompilesCleanlyEndsTogetherAndEveryPartIsHeard) {
  tallow::testing::TempDir dir;
  dir.copyExamples();
  dir.write("tested.mml", GetParam().mml);
  // From the song's folder, as a musician runs it: includes and `.krbfile`
  // names are taken from there.
  auto compiled = [&] {
    tallow::testing::CurrentDirectory inSongFolder(dir.path());
    return tallow::testing::runProgram({"tested.mml"});
  }();
  ASSERT_EQ(compiled.status, 0) << compiled.out << compiled.err;
  EXPECT_EQ(compiled.out.find("(!)"), std::string::npos) << compiled.out;

  fs::path krbPath;  // the source's name, or the one `.krbfile` gives
  for (const auto& e : fs::directory_iterator(dir.path())) {
    if (e.path().extension() == ".KRB") krbPath = e.path();
  }
  const std::string bytes = tallow::testing::readFile(krbPath);
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  std::string error;
  auto krb = readKrb(image, error);
  ASSERT_TRUE(krb) << error;
  const std::string summary = summarizeKrb(*krb).utf8();
  EXPECT_EQ(summary.find("warning"), std::string::npos) << summary;
  std::vector<uint8_t> bank;
  bool missing = false;
  ASSERT_TRUE(playback::loadBank(krbPath.string(), *krb, {}, bank, missing));
  EXPECT_FALSE(missing);

  for (int part = 0; part < kPartCount; ++part) {
    render::SongSettings settings;
    settings.play.parts = uint16_t(1u << part);
    settings.play.loops = 1;
    settings.fadeSeconds = 0.1;
    testing::VectorSink sink;
    render::SongResult result;
    render::SampleBank samples;
    ASSERT_TRUE(render::renderSong(*krb, bank, settings, samples, sink, result, error)) << error;
    if (!result.stats.played[part]) continue;
    EXPECT_GT(std::hypot(testing::rms(sink.left), testing::rms(sink.right)), std::sqrt(2.0) * 1e-3)
        << kPartNames[part] << " plays notes that are not heard";
  }
}

INSTANTIATE_TEST_SUITE_P(Songs, ExampleSong, ::testing::ValuesIn(allSongs()),
                         [](const ::testing::TestParamInfo<Song>& info) {
                           std::string name;
                           for (char c : info.param.name)
                             name += std::isalnum(uint8_t(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace tallow::tools
