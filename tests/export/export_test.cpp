// The exports: VGM and MIDI files read back with small readers and compared
// with the model, the listing of writes, and the bank lookup.
#include <gtest/gtest.h>

#include <optional>

#include "base/out_stream.h"
#include "export/midi_writer.h"
#include "export/vgm_writer.h"
#include "export/writes_listing.h"
#include "output/krb_reader.h"
#include "playback/bank_lookup.h"
#include "support/playback_support.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

using playback::Event;
using playback::EventKind;

uint32_t le32(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

struct VgmWrite {
  uint64_t sample;
  int port, reg, value;
  bool operator==(const VgmWrite&) const = default;
};

// What a VGM player needs of the file; `ok` is false when it does not parse.
struct VgmFile {
  bool ok = false;
  uint32_t version = 0, clock = 0, totalSamples = 0, loopSamples = 0;
  uint64_t samplesCounted = 0;
  std::optional<uint64_t> loopSample;  // where the loop offset points
  std::vector<VgmWrite> writes;
  std::u16string gd3Title;
};

VgmFile readVgm(const std::vector<uint8_t>& f) {
  VgmFile v;
  if (f.size() < 0x80 || std::string(f.begin(), f.begin() + 4) != "Vgm ") return v;
  if (le32(f, 0x04) + 4 != f.size()) return v;
  v.version = le32(f, 0x08);
  v.totalSamples = le32(f, 0x18);
  v.loopSamples = le32(f, 0x20);
  v.clock = le32(f, 0x48);
  size_t loopAt = le32(f, 0x1C) ? le32(f, 0x1C) + 0x1C : 0;
  size_t at = 0x34 + le32(f, 0x34);
  while (at < f.size()) {
    if (at == loopAt) v.loopSample = v.samplesCounted;
    uint8_t c = f[at];
    if (c == 0x66) break;
    if (c == 0x56 || c == 0x57) {
      v.writes.push_back({v.samplesCounted, c - 0x56, f[at + 1], f[at + 2]});
      at += 3;
    } else if (c == 0x61) {
      v.samplesCounted += f[at + 1] | f[at + 2] << 8;
      at += 3;
    } else if (c == 0x62 || c == 0x63) {
      v.samplesCounted += c == 0x62 ? 735 : 882;
      ++at;
    } else if (c >= 0x70 && c <= 0x7F) {
      v.samplesCounted += c - 0x6F;
      ++at;
    } else {
      return v;
    }
  }
  size_t gd3 = le32(f, 0x14) + 0x14;
  if (gd3 + 12 > f.size() || std::string(f.begin() + gd3, f.begin() + gd3 + 4) != "Gd3 ") return v;
  for (size_t i = gd3 + 12; i + 1 < f.size() && (f[i] | f[i + 1]); i += 2) {
    v.gd3Title.push_back(static_cast<char16_t>(f[i] | f[i + 1] << 8));
  }
  v.ok = true;
  return v;
}

struct MidiFile {
  bool ok = false;
  int format = 0, division = 0;
  std::vector<std::string> names;                       // track names
  std::vector<int> noteOns;                             // per track
  std::vector<uint32_t> tempos;                         // microseconds a quarter, in order
  std::vector<uint64_t> tempoTicks;                     // and where they stand
  std::vector<std::vector<std::array<int, 3>>> events;  // per track: status kind, data
};

uint32_t be(const std::vector<uint8_t>& f, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | f[at + i];
  return v;
}

MidiFile readMidi(const std::vector<uint8_t>& f) {
  MidiFile m;
  if (f.size() < 14 || std::string(f.begin(), f.begin() + 4) != "MThd") return m;
  m.format = static_cast<int>(be(f, 8, 2));
  int tracks = static_cast<int>(be(f, 10, 2));
  m.division = static_cast<int>(be(f, 12, 2));
  size_t at = 14;
  for (int t = 0; t < tracks; ++t) {
    if (at + 8 > f.size() || std::string(f.begin() + at, f.begin() + at + 4) != "MTrk") return m;
    size_t end = at + 8 + be(f, at + 4, 4);
    if (end > f.size()) return m;
    at += 8;
    m.names.emplace_back();
    m.noteOns.push_back(0);
    m.events.emplace_back();
    uint64_t tick = 0;
    uint8_t status = 0;
    while (at < end) {
      uint32_t delta = 0;
      do delta = delta << 7 | (f[at] & 0x7F);
      while (f[at++] & 0x80);
      tick += delta;
      if (f[at] & 0x80) status = f[at++];
      if (status == 0xFF) {
        uint8_t type = f[at++];
        uint32_t len = 0;
        do len = len << 7 | (f[at] & 0x7F);
        while (f[at++] & 0x80);
        if (type == 0x03) m.names.back().assign(f.begin() + at, f.begin() + at + len);
        if (type == 0x51) {
          m.tempos.push_back(be(f, at, 3));
          m.tempoTicks.push_back(tick);
        }
        at += len;
      } else {
        int kind = status & 0xF0;
        if (kind == 0x90 && f[at + 1] > 0) ++m.noteOns.back();
        m.events.back().push_back({kind, f[at], f[at + 1]});
        at += (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
      }
    }
    if (at != end) return m;
  }
  m.ok = at == f.size();
  return m;
}

KrbFile readOrDie(const std::vector<uint8_t>& bytes) {
  std::string error;
  std::optional<KrbFile> krb = readKrb(bytes, error);
  EXPECT_TRUE(krb) << error;
  return *krb;
}

// The MIDI file of a KRB file, read back.
MidiFile midiOf(const std::vector<uint8_t>& krbBytes) {
  KrbFile krb = readOrDie(krbBytes);
  std::vector<uint8_t> file;
  std::string error;
  EXPECT_TRUE(exports::renderMidi(krb, {}, file, error)) << error;
  MidiFile m = readMidi(file);
  EXPECT_TRUE(m.ok);
  return m;
}

TEST(Vgm, HoldsTheModelsWritesOverTheSongsLength) {
  std::vector<uint8_t> bytes =
      compileMml(".title Hello\n1 t150 l8 cdefgab q4 c4\n4 o3 c2 T400 d2\nA c1\n");
  KrbFile krb = readOrDie(bytes);
  exports::VgmResult result;
  std::string error;
  ASSERT_TRUE(exports::renderVgm(krb, {}, {}, result, error)) << error;
  EXPECT_FALSE(result.looped);
  EXPECT_TRUE(result.otherNotes);
  VgmFile v = readVgm(result.bytes);
  ASSERT_TRUE(v.ok);
  EXPECT_GE(v.version, 0x151u);
  EXPECT_EQ(v.clock, 7987200u);
  EXPECT_EQ(v.gd3Title, u"Hello");
  Played p = play(bytes);
  std::vector<VgmWrite> want;
  for (const Event& e : p.events) {
    if (e.kind == EventKind::kChipWrite) {
      want.push_back({exports::ticksToSamples(e.tick), e.port, e.reg, e.value});
    }
  }
  EXPECT_EQ(v.writes, want);
  EXPECT_EQ(v.totalSamples, exports::ticksToSamples(*p.summary.songEnd));
  EXPECT_EQ(v.samplesCounted, v.totalSamples);
  EXPECT_FALSE(v.loopSample);
}

TEST(Vgm, LoopsWhenThePartsAgreeAndUnrollsWhenNot) {
  struct Case {
    const char* mml;
    bool looped;
  };
  const Case cases[] = {
      {"1 c4 @p d4 e4 @j0\n2 r4 @p f2 @j0\n", true},
      {"1 c4 @p d4 e4 @j0\n2 c4\n", true},
      {"1 c4 @p d4 e4 @j0\n2 c2 c2\n", false},         // FM2 still plays in the loop
      {"1 c4 @p d4 e4 @j0\n2 r4 @p f4 @j0\n", false},  // loops of different lengths
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = compileMml(c.mml);  // the file refers to them
    KrbFile krb = readOrDie(bytes);
    exports::VgmResult result;
    std::string error;
    ASSERT_TRUE(exports::renderVgm(krb, {}, {}, result, error)) << error;
    VgmFile v = readVgm(result.bytes);
    ASSERT_TRUE(v.ok) << c.mml;
    EXPECT_EQ(result.looped, c.looped) << c.mml;
    EXPECT_EQ(result.loopsDisagree, !c.looped) << c.mml;
    uint64_t step = 1024 - 600;
    if (c.looped) {
      ASSERT_TRUE(v.loopSample) << c.mml;
      EXPECT_EQ(*v.loopSample, exports::ticksToSamples(96 * step));
      EXPECT_EQ(v.totalSamples, exports::ticksToSamples(288 * step));
      EXPECT_EQ(v.loopSamples, v.totalSamples - *v.loopSample);
    } else {
      EXPECT_FALSE(v.loopSample) << c.mml;
      EXPECT_GE(v.totalSamples, exports::ticksToSamples(480 * step)) << c.mml;
    }
  }
}

TEST(Midi, NotesTempoAndTracksMatchTheKrb) {
  MidiFile m = midiOf(
      compileMml(".title Song\n1 t120 l8 cdefgab c4&c4\nA @3 %l c4 d4 t90 e4\nX l16 cdcd\n"));
  EXPECT_EQ(m.format, 1);
  EXPECT_EQ(m.division, 96);
  EXPECT_EQ(m.names, (std::vector<std::string>{"Song", "FM1", "PCM1", "BEEP"}));
  EXPECT_EQ(m.noteOns, (std::vector<int>{0, 8, 3, 4}));
  // One step lasts (1024 - timer) x 18 us; a quarter is 96 steps.
  auto tempo = [](int bpm) { return 96u * (13333333 / (bpm * 384)) * 18; };
  EXPECT_EQ(m.tempos, (std::vector<uint32_t>{tempo(120), tempo(90)}));
  EXPECT_EQ(m.tempoTicks, (std::vector<uint64_t>{0, 192}));
}

// A portamento is one note bent across the glide; the volume steps inside a
// note are expression (CC 11), back to full at the next note.
TEST(Midi, GlidesBendAndVolumeStepsAreExpression) {
  MidiFile m = midiOf(compileMml("1 o4 l4 c_g\n"));
  ASSERT_EQ(m.events.size(), 2u);
  std::string kinds;  // + note-on, - note-off, b bend
  int lastBend = 0;
  for (const auto& [kind, a, b] : m.events[1]) {
    if (kind == 0x90) kinds += '+';
    if (kind == 0x80) kinds += '-';
    if (kind == 0xE0) kinds += 'b';
    if (kind == 0xE0) lastBend = a | b << 7;
  }
  EXPECT_EQ(kinds.front(), '+');
  EXPECT_EQ(kinds.back(), '-');
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), '+'), 1) << kinds;
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), '-'), 1) << kinds;
  EXPECT_GE(std::count(kinds.begin(), kinds.end(), 'b'), 7) << kinds;
  EXPECT_NEAR(lastBend, 8192 + 7 * 8192 / 12, 30);  // a fifth up

  // Volume 100, a note tied into volume 50 and 25, then a new note.
  const std::vector<uint8_t> steps = {0x84, 100,  0x3C, 24, 0,    0x86, 0x84, 50,   0x3C, 24,
                                      0,    0x86, 0x84, 25, 0x3C, 24,   0,    0x3C, 24,   0};
  m = midiOf(makeKrb({steps}));
  ASSERT_EQ(m.events.size(), 2u);
  std::vector<int> expression;
  for (const auto& [kind, a, b] : m.events[1]) {
    if (kind == 0xB0 && a == 11) expression.push_back(b);
  }
  EXPECT_EQ(expression, (std::vector<int>{64, 32, 127}));
  EXPECT_EQ(m.noteOns[1], 2);
}

TEST(Midi, ChannelsDivisionAndBend) {
  EXPECT_EQ(exports::midiChannel(0), 0);
  EXPECT_EQ(exports::midiChannel(5), 5);
  EXPECT_EQ(exports::midiChannel(8), 8);
  EXPECT_EQ(exports::midiChannel(9), 10);  // PCM4 skips the drum channel
  EXPECT_EQ(exports::midiChannel(13), 14);
  EXPECT_EQ(exports::midiChannel(14), 15);
  EXPECT_EQ(exports::midiDivision(384), 96);
  EXPECT_EQ(exports::midiDivision(0), 1);
  EXPECT_EQ(exports::midiDivision(60000), 910);
  struct Case {
    int part, pitch, detune, bend;
  };
  const Case cases[] = {
      {6, 60, 0, 8192},  {6, 60, 1024, 16383}, {6, 60, -1024, 0},
      {6, 60, 61, 8874}, {0, 60, 0, 8192},     {0, 60, 37, 8874},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(exports::midiBend(c.part, c.pitch, c.detune), c.bend, 30)
        << c.part << " " << c.detune;
  }
}

TEST(Listing, OneLinePerEventWithRegisterNames) {
  std::vector<uint8_t> bytes = compileMml("1 c4\nA d4\n");
  KrbFile krb = readOrDie(bytes);
  playback::Options options;
  options.parts = 1u << 6;  // PCM1 only: no FM part writes
  StringOutStream out;
  std::string error;
  ASSERT_TRUE(exports::listWrites(krb, {}, options, out, error)) << error;
  const std::string& text = out.text();
  EXPECT_NE(text.find("song  write port 0 29 = 80  channel mode\n"), std::string::npos) << text;
  EXPECT_NE(text.find("PCM1  note-on 62 detune 0\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("FM1"), std::string::npos) << text;
  Event e;
  e.kind = EventKind::kChipWrite;
  e.tick = 55556;
  e.part = 4;
  e.port = 1;
  e.reg = 0x4D;
  e.value = 0x20;
  EXPECT_EQ(exports::formatEvent(e),
            "     55556     1.000008  FM5   write port 1 4D = 20  total level\n");
  EXPECT_STREQ(exports::fmRegisterName(0xA9), "ch3 operator fnum low");
  EXPECT_STREQ(exports::fmRegisterName(0xA6), "block/fnum high");
  EXPECT_STREQ(exports::fmRegisterName(0xB6), "pan/ams/pms");
}

TEST(BankLookup, FindsTheHeaderBankBesideTheKrbInAnyCase) {
  TempDir dir;
  dir.write("SONG.KRB", "x");
  dir.write("MyBank.fmb", std::string(6152, '\1'));
  dir.write("other.FMB", "y");
  EXPECT_EQ(playback::findBankBeside(dir.file("SONG.KRB"), "MYBANK"), dir.file("MyBank.fmb"));
  EXPECT_EQ(playback::findBankBeside(dir.file("SONG.KRB"), "mybank"), dir.file("MyBank.fmb"));
  EXPECT_FALSE(playback::findBankBeside(dir.file("SONG.KRB"), "none"));
  EXPECT_FALSE(playback::findBankBeside(dir.file("SONG.KRB"), ""));
}

}  // namespace
}  // namespace tallow::testing
