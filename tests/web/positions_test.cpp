// The note positions of a compile: every note of a song with an include, a
// macro, an expanded loop, braces and a tie maps to the file, line and
// column it was written at, through the optimiser and the layout; the KRB
// is the one the program writes without them; and the timeline of the
// driver model names those places at their times.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "output/krb_format.h"
#include "output/krb_reader.h"
#include "support/compile_helpers.h"
#include "support/temp_dir.h"
#include "web/playground.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

struct Place {
  std::string file;
  int line;
  int column;
  bool operator==(const Place&) const = default;
};

std::vector<Place> placesOf(const NotePositions& table, int part) {
  std::vector<Place> places;
  for (const NotePlace& p : table.parts[part]) {
    places.push_back({table.files.at(p.place.file), p.place.line, p.place.column});
  }
  return places;
}

// The program's own KRB of `main`, compiled in `dir`, the current directory.
std::vector<uint8_t> programKrb(const TempDir& dir, const std::string& main,
                                const std::string& krbName) {
  EXPECT_EQ(runProgram({main}).status, 0);
  std::string bytes = dir.read(krbName);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

const char* const kCommon = "; shared\n3 l4 a b\n";
const char* const kSong =
    "#include \"common.mml\"\n"
    "#define riff e8 f8\n"
    "1 t120 l4 c (d e)2 $riff\n"
    "2 l4 {g a}2 c&c\n";

TEST(NotePositions, MapEveryNoteToItsSourceAndLeaveTheKrbAlone) {
  TempDir dir;
  dir.write("common.mml", kCommon);
  dir.write("song.mml", kSong);
  CurrentDirectory in(dir.path());
  web::CompileOutcome outcome = web::compileInCurrentDirectory("song.mml", {});
  ASSERT_EQ(outcome.status, 0) << outcome.messages;
  const NotePositions& table = outcome.positions;
  EXPECT_EQ(placesOf(table, 0), (std::vector<Place>{{"song.mml", 3, 11},
                                                    {"song.mml", 3, 14},
                                                    {"song.mml", 3, 16},
                                                    {"song.mml", 3, 14},
                                                    {"song.mml", 3, 16},
                                                    {"song.mml", 3, 20},
                                                    {"song.mml", 3, 20}}));
  EXPECT_EQ(placesOf(table, 1), (std::vector<Place>{{"song.mml", 4, 7},
                                                    {"song.mml", 4, 9},
                                                    {"song.mml", 4, 7},
                                                    {"song.mml", 4, 9},
                                                    {"song.mml", 4, 13}}));
  EXPECT_EQ(placesOf(table, 2), (std::vector<Place>{{"common.mml", 2, 6}, {"common.mml", 2, 8}}));

  // Each offset is that of a note in the part's data.
  std::string error;
  auto krb = readKrb(outcome.krb, error);
  ASSERT_TRUE(krb) << error;
  for (int part = 0; part < 3; ++part) {
    for (const NotePlace& p : table.parts[part]) {
      EXPECT_TRUE(isNoteCode(krb->partData(part)[p.offset])) << part << " @" << p.offset;
    }
  }
  EXPECT_EQ(outcome.krb, programKrb(dir, "song.mml", "SONG.KRB"));
}

TEST(NotePositions, TheExampleSongsCompileToTheProgramsBytes) {
  for (const char* song : {"song.mml", "ballad.mml", "blues.mml", "chiptune.mml", "waltz.mml"}) {
    TempDir dir;
    fs::copy(fs::path(TALLOW_SOURCE_DIR) / "examples", dir.path(), fs::copy_options::recursive);
    CurrentDirectory in(dir.path());
    web::CompileOutcome outcome = web::compileInCurrentDirectory(song, {});
    ASSERT_EQ(outcome.status, 0) << song << outcome.messages;
    std::string krb = fs::path(song).replace_extension(".KRB").string();
    for (char& c : krb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(outcome.krb, programKrb(dir, song, krb)) << song;
    EXPECT_FALSE(outcome.positions.parts[0].empty()) << song;
  }
}

// The timeline names the note each part plays at a time: through the
// repeated loop, the macro and the tie.
TEST(NotePositions, TheTimelineNamesThePlaceOfTheNoteSoundingAtATime) {
  TempDir dir;
  dir.write("common.mml", kCommon);
  dir.write("song.mml", kSong);
  CurrentDirectory in(dir.path());
  web::Playground playground;
  ASSERT_EQ(playground.compile("song.mml", {}), 0);
  web::Timeline timeline;
  std::string error;
  ASSERT_TRUE(playground.timeline(1000, timeline, error)) << error;
  struct Case {
    double seconds;
    int part;
    int line, column;
  } cases[] = {{0.25, 0, 3, 11}, {1.75, 0, 3, 14}, {2.6, 0, 3, 20}, {2.9, 0, 3, 20},
               {1.25, 1, 4, 7},  {2.75, 1, 4, 13}, {0.75, 2, 2, 8}};
  for (const Case& c : cases) {
    const web::TimedNote* found = nullptr;
    for (const web::TimedNote& n : timeline.notes) {
      if (n.part == c.part && n.start <= c.seconds && c.seconds < n.end) found = &n;
    }
    ASSERT_NE(found, nullptr) << c.seconds << " s, part " << c.part;
    ASSERT_TRUE(found->place);
    EXPECT_EQ(found->place->line, c.line) << c.seconds << " s, part " << c.part;
    EXPECT_EQ(found->place->column, c.column) << c.seconds << " s, part " << c.part;
  }
}

}  // namespace
}  // namespace tallow::testing
