// The driver model: register writes of single events, timing, ties and the
// gate, driver loops, chords on FM3, determinism and hostile streams.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

#include "output/fmb_format.h"
#include "output/krb_format.h"
#include "playback/driver_channel.h"
#include "support/playback_support.h"

namespace tallow::testing {
namespace {

using playback::Event;
using playback::EventKind;
using Write = std::tuple<int, int, int>;  // port, register, value

std::vector<Write> lastWrites(const std::vector<Event>& events, int part, size_t n) {
  std::vector<Event> w = writesOf(events, part);
  std::vector<Write> out;
  for (size_t i = w.size() >= n ? w.size() - n : 0; i < w.size(); ++i) {
    out.emplace_back(w[i].port, w[i].reg, w[i].value);
  }
  return out;
}

std::vector<int> noteOnPitches(const std::vector<Event>& events, int part) {
  std::vector<int> out;
  for (const Event& e : eventsOf(events, part, EventKind::kNoteOn)) out.push_back(e.pitch);
  return out;
}

TEST(FmFrequency, BlocksAndLimits) {
  struct Case {
    int pitch, detune, block, fnum;
  };
  const Case cases[] = {
      {60, 0, 4, 618},     {69, 0, 4, 1040},  {69, 10, 4, 1050},   {12, 0, 0, 618},
      {0, 0, 0, 309},      {1, 0, 0, 327},    {108, 0, 7, 1236},   {127, 0, 7, 2047},
      {69, 1200, 5, 1120}, {60, -1000, 4, 0}, {71, 2000, 5, 1584},
  };
  for (const Case& c : cases) {
    playback::FmFrequency f = playback::fmFrequency(c.pitch, c.detune);
    EXPECT_EQ(f.block, c.block) << c.pitch << " " << c.detune;
    EXPECT_EQ(f.fnum, c.fnum) << c.pitch << " " << c.detune;
  }
}

// A tone with distinct values everywhere; algorithm 4: slots 2 and 3
// (operators 2 and 4) are the carriers.
constexpr std::array<uint8_t, 48> kTone = {
    'T',  'E',  'S',  'T',  0,    0, 0, 0, 0x11, 0x12, 0x13, 0x14, 10,   20,   30,   40,
    0x5F, 0x1E, 0x9D, 0xDC, 0x85, 6, 7, 8, 1,    2,    3,    4,    0x21, 0x32, 0x43, 0x54,
    0x3C, 0xC5, 0,    0,    0,    0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0};

struct WriteCase {
  const char* name;
  std::vector<uint8_t> stream;               // after a select of tone 3 and volume 100
  std::vector<std::tuple<int, int>> writes;  // register offset from the channel's, value
};

TEST(PlayerWrites, EventsWriteWhatTheRegisterMapSays) {
  const WriteCase cases[] = {
      {"volume", {}, {{0x48, 57}, {0x4C, 67}}},
      {"pan left", {0x93, 0}, {{0xB4, 0x85}}},
      {"pan %l0 is left", {0x93, 60}, {{0xB4, 0x85}}},
      {"pan %c-3 is centred", {0x93, 61}, {{0xB4, 0xC5}}},
      {"pan centre", {0x93, 64}, {{0xB4, 0xC5}}},
      {"pan %c2 is centred", {0x93, 66}, {{0xB4, 0xC5}}},
      {"pan %r0 is right", {0x93, 67}, {{0xB4, 0x45}}},
      {"pan %r is right", {0x93, 127}, {{0xB4, 0x45}}},
      {"modulator TL", {0x97, 0xFF, 0x41, 50}, {{0x40, 50}}},
      {"carrier TL goes through the volume", {0x97, 0xFF, 0x4D, 0}, {{0x4C, 27}}},
      {"algorithm 7 makes every operator a carrier",
       {0x97, 0xFF, 0xB1, 0x07},
       {{0xB0, 0x07}, {0x40, 37}, {0x44, 47}, {0x48, 57}, {0x4C, 67}}},
      {"relative TL per operator",
       {0x97, 0xFF, 0x41, 50, 0xA3, 4, 5, 0, 0, 0xF6},
       {{0x40, 55}, {0x44, 20}, {0x48, 57}, {0x4C, 57}}},
      {"relative AR keeps the key scale",
       {0xA4, 4, 0xFF, 0, 0, 5},
       {{0x50, 0x5E}, {0x54, 0x1E}, {0x58, 0x9D}, {0x5C, 0xDF}}},
      {"detune and note", {0x91, 5, 0, 69, 10, 0}, {{0xA4, 0x24}, {0xA0, 0x15}}},
  };
  for (int part : {1, 4}) {  // FM2 (port 0) and FM5 (port 1), both channel 1
    int port = part / 3;
    for (const WriteCase& c : cases) {
      std::vector<uint8_t> s = {0x81, 3, 0x84, 100};
      for (size_t i = 0; i < c.stream.size(); ++i) {
        // 0xFF in a register event stands for this part's chip half.
        bool half = i > 0 && c.stream[i - 1] == kEventRegister && c.stream[i] == 0xFF;
        s.push_back(half ? static_cast<uint8_t>(port) : c.stream[i]);
      }
      std::vector<std::vector<uint8_t>> streams(part + 1);
      streams[part] = s;
      Played p = play(makeKrb(streams), makeBank(3, kTone));
      ASSERT_EQ(p.error, "");
      std::vector<Write> want;
      for (auto [offset, value] : c.writes) want.emplace_back(port, offset + 1, value);
      bool note = std::string(c.name) == "detune and note";
      std::vector<Write> got = lastWrites(p.events, part, want.size() + (note ? 2 : 0));
      if (note) {
        int code = port * 4 + 1;
        want.emplace_back(0, 0x28, 0xF0 | code);
        want.emplace_back(0, 0x28, code);
      }
      EXPECT_EQ(got, want) << c.name << " on part " << part;
    }
  }
}

// The volume reaches the carriers of each algorithm and no other operator:
// the carriers by operator 1-4, as the chip connects them.
TEST(PlayerWrites, VolumeReachesTheCarriersOfEachAlgorithm) {
  const char* carriers[8] = {"0001", "0001", "0001", "0001", "0101", "0111", "0111", "1111"};
  for (int algorithm = 0; algorithm < 8; ++algorithm) {
    auto a = static_cast<uint8_t>(algorithm);
    Played p = play(makeKrb({{}, {0x81, 3, 0x84, 100, 0x97, 0, 0xB1, a}}), makeBank(3, kTone));
    ASSERT_EQ(p.error, "");
    std::vector<Write> want = {{0, 0xB1, algorithm}};
    for (int slot = 0; slot < 4; ++slot) {
      bool carrier = carriers[algorithm][kOperatorSlotOrder[slot]] == '1';
      want.emplace_back(0, 0x41 + 4 * slot, kTone[12 + slot] + (carrier ? 127 - 100 : 0));
    }
    EXPECT_EQ(lastWrites(p.events, 1, want.size()), want) << "algorithm " << algorithm;
  }
}

TEST(PlayerWrites, ToneSelectWritesTheWholeRecord) {
  Played p = play(makeKrb({{}, {0x81, 3}}), makeBank(3, kTone));
  std::vector<Write> want;
  for (int slot = 0; slot < 4; ++slot) {
    int r = 4 * slot + 1;
    want.emplace_back(0, 0x30 + r, kTone[8 + slot]);
    want.emplace_back(0, 0x40 + r, kTone[12 + slot]);
    want.emplace_back(0, 0x50 + r, kTone[16 + slot]);
    want.emplace_back(0, 0x60 + r, kTone[20 + slot]);
    want.emplace_back(0, 0x70 + r, kTone[24 + slot]);
    want.emplace_back(0, 0x80 + r, kTone[28 + slot]);
  }
  want.emplace_back(0, 0xB1, 0x3C);
  want.emplace_back(0, 0xB5, 0xC5);
  EXPECT_EQ(lastWrites(p.events, 1, want.size()), want);
}

TEST(PlayerWrites, SetUpAndCompiledOperatorParameter) {
  // No bank: the default tone (algorithm 4), so operator 2 (slot 2) is a carrier.
  Played p = play(compileMml("1 v12 @TL2,20 @TL1,30 c\n"));
  ASSERT_EQ(p.error, "");
  std::vector<Write> setup = {{0, 0x29, 0x80}, {0, 0x22, 0}, {0, 0x27, 0},
                              {0, 0x28, 0},    {0, 0x28, 1}, {0, 0x28, 2},
                              {0, 0x28, 4},    {0, 0x28, 5}, {0, 0x28, 6}};
  EXPECT_EQ(lastWrites(p.events, playback::kSongPart, 100), setup);
  std::vector<Event> w = writesOf(p.events, 0);
  auto find = [&w](int reg) {
    int value = -1;
    for (const Event& e : w) value = e.reg == reg ? e.value : value;
    return value;
  };
  EXPECT_EQ(find(0x48), 20 + 127 - 121);  // carrier: through volume 121 (v12)
  EXPECT_EQ(find(0x40), 30);              // modulator: as written
}

TEST(PlayerTiming, NoteOnsetsFollowStepsAndTimerValues) {
  const int zenlen = 384;
  Played p = play(compileMml("1 t120 c4 d8 t150 e4 r4 f2 T300 g16 TB200 a4 b\n"));
  ASSERT_EQ(p.error, "");
  // Steps and tempo of each note, computed here from the rules.
  struct Note {
    int steps;
    int timer;
  };
  auto timerOf = [zenlen](int tempo) { return 1024 - 13333333 / (tempo * zenlen); };
  const std::vector<std::pair<int, Note>> notes = {
      {60, {96, timerOf(120)}}, {62, {48, timerOf(120)}},  {64, {96, timerOf(150)}},
      {-1, {96, timerOf(150)}}, {65, {192, timerOf(150)}}, {67, {24, 300}},
      {69, {384, 800}},         {71, {384, 800}}};
  std::vector<Event> on = eventsOf(p.events, 0, EventKind::kNoteOn);
  ASSERT_EQ(on.size(), 7u);
  double at = 0;
  size_t k = 0;
  for (const auto& [pitch, n] : notes) {
    if (pitch >= 0) {
      EXPECT_EQ(on[k].pitch, pitch);
      EXPECT_NEAR(playback::tickSeconds(on[k].tick), at, 0.001) << pitch;
      ++k;
    }
    at += n.steps * (1024 - n.timer) * 18e-6;
  }
  EXPECT_NEAR(playback::tickSeconds(*p.summary.songEnd), at, 0.001);
}

// Ties, gates and driver loops: the notes keyed on (as events and as key-on
// writes) and the steps of the key-offs.
TEST(PlayerNotes, TiesGatesAndDriverLoops) {
  struct Case {
    const char* mml;
    std::vector<int> pitches;            // note-on pitches
    std::vector<int> releaseSteps = {};  // steps of the key-offs; empty: not checked
    int loops = 2;
  };
  const Case cases[] = {
      {"c4c4", {60, 60}, {96, 192}},
      {"c4&c4", {60}, {192}},
      {"c4&d4", {60}, {192}},
      {"q4 c4 c4", {60, 60}, {48, 144}},
      {"q0 c4", {60}, {96}},
      {"q8 c4", {60}, {96}},
      {"q1 c%4", {60}, {1}},
      {"q4 c4&c4", {60}, {96}},  // the optimiser joins the tied notes
      {"Q128 c4 d4", {60, 62}, {48, 144}},
      {"c4 r4 d4", {60, 62}, {96, 288}},
      {"@p c4 @j3", {60, 60, 60}},
      {"@p c4 @j", {60, 60}},
      {"@p c4 : d4 @j3", {60, 62, 60, 62, 60}},
      {"@p c4 :2 d4 @j4", {60, 62, 60}},
      {"@p c4 @p d8 @j2 @j2", {60, 62, 62, 60, 62, 62}},
      {"c4 @p d4 e4 @j0", {60, 62, 64, 62, 64}},
      {"c4 @p d4 e4 @j0", {60, 62, 64, 62, 64, 62, 64}, {}, 3},
      {"c4 @p d4 e4 @j0", {60, 62, 64}, {}, 1},
  };
  for (const Case& c : cases) {
    playback::Options options;
    options.loops = c.loops;
    Played p = play(compileMml(std::string("1 ") + c.mml + "\n"), {}, options);
    ASSERT_EQ(p.error, "") << c.mml;
    size_t keyOns = 0;
    std::vector<int> releases;
    for (const Event& e : writesOf(p.events, 0)) {
      if (e.reg != 0x28) continue;
      if (e.value & 0xF0)
        ++keyOns;
      else
        releases.push_back(static_cast<int>(e.step));
    }
    EXPECT_EQ(noteOnPitches(p.events, 0), c.pitches) << c.mml << " x" << c.loops;
    EXPECT_EQ(keyOns, c.pitches.size()) << c.mml;
    if (!c.releaseSteps.empty()) {
      EXPECT_EQ(releases, c.releaseSteps) << c.mml;
    }
  }
}

TEST(PlayerNotes, TieToAnotherPitchMovesTheFrequency) {
  Played p = play(compileMml("1 c4&d4\n"));
  std::vector<Event> moves = eventsOf(p.events, 0, EventKind::kPitch);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].pitch, 62);
  EXPECT_EQ(moves[0].step, 96u);
  std::vector<Write> at96;
  for (const Event& e : writesOf(p.events, 0)) {
    if (e.step == 96) at96.emplace_back(e.port, e.reg, e.value);
  }
  std::vector<Write> want = {{0, 0xA4, 4 << 3 | 694 >> 8}, {0, 0xA0, 694 & 0xFF}};
  EXPECT_EQ(at96, want);
}

TEST(PlayerNotes, PcmAndBeepPartsGiveNoteEventsOnly) {
  Played p = play(compileMml("A @5 v10 %r u100 c4\nX o5 c8\n"));
  ASSERT_EQ(p.error, "");
  EXPECT_TRUE(writesOf(p.events, 6).empty());
  ASSERT_EQ(eventsOf(p.events, 6, EventKind::kTone).size(), 1u);
  EXPECT_EQ(eventsOf(p.events, 6, EventKind::kTone)[0].amount, 4);  // .vstart 1
  EXPECT_EQ(eventsOf(p.events, 6, EventKind::kVolume)[0].amount, 84);
  EXPECT_EQ(eventsOf(p.events, 6, EventKind::kPan)[0].amount, 127);
  std::vector<Event> on = eventsOf(p.events, 6, EventKind::kNoteOn);
  ASSERT_EQ(on.size(), 1u);
  EXPECT_EQ(on[0].detune, 100);
  EXPECT_EQ(noteOnPitches(p.events, 14), std::vector<int>{72});
}

TEST(PlayerNotes, ChordOnFm3UsesTheChannel3Mode) {
  Played p = play(compileMml("3 @M1 \"ceg\"4\n"));
  ASSERT_EQ(p.error, "");
  auto f = [](int pitch) { return playback::fmFrequency(pitch, 0); };
  std::vector<Write> want = {
      {0, 0x27, 0x40},         {0, 0xAD, f(60).high()}, {0, 0xA9, f(60).low()},
      {0, 0xAE, f(64).high()}, {0, 0xAA, f(64).low()},  {0, 0xAC, f(67).high()},
      {0, 0xA8, f(67).low()},  {0, 0x28, 0x72},         {0, 0x28, 0x02}};
  EXPECT_EQ(lastWrites(p.events, 2, want.size()), want);
  EXPECT_EQ(noteOnPitches(p.events, 2), (std::vector<int>{60, 64, 67}));
}

TEST(PlayerLoops, EndlessLoopStartLengthAndSongEnd) {
  Played p = play(compileMml("1 t120 c4 @p d4 e4 @j0\n2 t120 r2 c4\n"));
  ASSERT_EQ(p.error, "");
  const uint64_t step = 1024 - 735;
  ASSERT_TRUE(p.summary.loopStart[0]);
  EXPECT_EQ(*p.summary.loopStart[0], 96 * step);
  EXPECT_EQ(*p.summary.loopLength[0], 192 * step);
  EXPECT_FALSE(p.summary.loopStart[1]);
  EXPECT_EQ(*p.summary.songEnd, (96 + 2 * 192) * step);
  EXPECT_EQ(p.summary.stopTick, *p.summary.songEnd);
  EXPECT_FALSE(p.summary.capped);
  ASSERT_EQ(eventsOf(p.events, 0, EventKind::kLoopStart).size(), 1u);
  // The tail: the loop goes on for a second after the end.
  playback::Options tail;
  tail.tailSeconds = 1;
  Played t = play(compileMml("1 t120 c4 @p d4 e4 @j0\n"), {}, tail);
  EXPECT_EQ(t.summary.stopTick, *t.summary.songEnd + playback::secondsToTicks(1));
  EXPECT_GT(noteOnPitches(t.events, 0).size(), 5u);
}

TEST(PlayerLoops, PartsNotHeardStillKeepTheTempo) {
  playback::Options onlyFm2;
  onlyFm2.parts = 1u << 1;
  Played p = play(compileMml("1 t60 r1\n2 c1 c1\n"), {}, onlyFm2);
  ASSERT_EQ(p.error, "");
  EXPECT_TRUE(writesOf(p.events, 0).empty());
  std::vector<Event> on = eventsOf(p.events, 1, EventKind::kNoteOn);
  ASSERT_EQ(on.size(), 2u);
  EXPECT_EQ(on[1].tick, 384u * (13333333 / (60 * 384)));
}

struct HostileCase {
  const char* name;
  std::vector<uint8_t> stream;
  const char* error;  // part of the message; empty: plays to the end
};

TEST(PlayerHostile, MalformedStreamsEndWithAClearError) {
  const HostileCase cases[] = {
      {"undefined code", {0x3C, 1, 0, 0x9E}, "undefined event code 0x9E"},
      {"no-event note code", {0x7A, 1, 0}, "undefined event code 0x7A"},
      {"loop end without start", {0x96, 1}, "outside any loop"},
      {"escape without loop", {0x9B, 5, 0, 0, 0, 0, 0}, "outside any loop"},
      {"endless loop without time", {0x95, 0x84, 100, 0x96, 0}, "never advances"},
      {"rest of length 0 in a loop", {0x95, 0x90, 0, 0, 0x96, 0}, "never advances"},
      {"nested loops without time",
       {0x95, 0x95, 0x95, 0x95, 0x84, 1, 0x96, 255, 0x96, 255, 0x96, 255, 0x96, 255},
       "without time passing"},
      {"nine open loops", {0x95, 0x95, 0x95, 0x95, 0x95, 0x95, 0x95, 0x95, 0x95}, "more than 8"},
      {"timer beyond ten bits", {0x80, 0xFF, 0xFF, 0x3C, 10, 0}, ""},
      {"placeholder escape never leaves",
       {0x95, 0x3C, 1, 0, 0x9B, 5, 0xFF, 0, 0, 0, 0, 0x96, 3},
       ""},
      {"chord outside FM3", {0x8A, 6, 10, 0, 60, 0x90, 0x90, 0x90}, ""},
      {"register of a third chip half", {0x97, 7, 0x40, 1}, ""},
  };
  for (const HostileCase& c : cases) {
    Played p = play(makeKrb({c.stream}));
    if (*c.error == 0) {
      EXPECT_EQ(p.error, "") << c.name;
    } else {
      EXPECT_NE(p.error.find(c.error), std::string::npos) << c.name << ": " << p.error;
      EXPECT_EQ(p.error.rfind("FM1: ", 0), 0u) << p.error;
    }
  }
}

TEST(PlayerHostile, DataEndingInsideAnEvent) {
  std::vector<uint8_t> krb = makeKrb({{0x3C, 10, 0, 0x3C, 10}});  // FM1 ends 0x3C 10 0xFF
  // Cut FM1's data before its end code: the last note runs past the end.
  krb[krb_header::kPartTable + 4] -= 1;
  Played p = play(krb);
  EXPECT_NE(p.error.find("runs past the end"), std::string::npos) << p.error;
  krb[krb_header::kPartTable + 4] -= 2;
  p = play(krb);
  EXPECT_NE(p.error.find("ends without an end code"), std::string::npos) << p.error;
}

TEST(PlayerHostile, MillionsOfZeroLengthNotesAndFastLoopsEnd) {
  std::vector<uint8_t> zeros;
  for (int i = 0; i < 3000000; ++i) zeros.insert(zeros.end(), {0x3C, 0, 0});
  zeros.insert(zeros.end(), {0x3C, 10, 0});
  Played p = play(makeKrb({zeros}));
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(noteOnPitches(p.events, 0).size(), 1u);

  // One tick a step, one-step notes, endlessly: the cap ends it.
  playback::Options capped;
  capped.maxSeconds = 2;
  capped.loops = 1 << 30;
  p = play(makeKrb({{0x80, 0xFF, 0x03, 0x95, 0x3C, 1, 0, 0x96, 0}}), {}, capped);
  EXPECT_EQ(p.error, "");
  EXPECT_TRUE(p.summary.capped);
  EXPECT_EQ(p.summary.stopTick, playback::secondsToTicks(2));
}

}  // namespace
}  // namespace tallow::testing
