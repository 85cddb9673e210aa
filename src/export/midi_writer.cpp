// Writing Standard MIDI Files from the driver model's note events.
#include "export/midi_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "base/cp932.h"
#include "playback/driver_channel.h"

namespace tallow::playback {
namespace {

constexpr uint8_t kNoteOff = 0x80, kNoteOn = 0x90, kControl = 0xB0, kProgram = 0xC0, kBend = 0xE0,
                  kMeta = 0xFF;
constexpr uint8_t kMetaText = 0x01, kMetaTrackName = 0x03, kMetaEndOfTrack = 0x2F,
                  kMetaTempo = 0x51;
constexpr uint8_t kCcPan = 10, kCcDataEntry = 6, kCcDataEntryFine = 38, kCcRpnFine = 100,
                  kCcRpnCoarse = 101;
constexpr uint8_t kRpnNull = 127;
constexpr int kBendCentre = 8192, kBendMax = 16383;
constexpr uint32_t kMaxTempo = 0xFFFFFF;  // microseconds a quarter note, 24 bits
constexpr std::array<int, kPartCount> kChannels = {0, 1,  2,  3,  4,  5,  6, 7,
                                                   8, 10, 11, 12, 13, 14, 15};

struct TrackEvent {
  uint64_t step;
  std::vector<uint8_t> bytes;
};

using Track = std::vector<TrackEvent>;

void appendVlq(std::vector<uint8_t>& out, uint64_t value) {
  uint8_t groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value > 0 && n < 10);
  while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

void appendBig(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> meta(uint8_t type, std::string_view data) {
  std::vector<uint8_t> out = {kMeta, type};
  appendVlq(out, data.size());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> trackChunk(const Track& track, uint64_t endStep) {
  std::vector<uint8_t> body;
  uint64_t at = 0;
  for (const TrackEvent& e : track) {
    appendVlq(body, e.step - at);
    at = e.step;
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
  }
  appendVlq(body, std::max(endStep, at) - at);
  body.insert(body.end(), {kMeta, kMetaEndOfTrack, 0});
  std::vector<uint8_t> out = {'M', 'T', 'r', 'k'};
  appendBig(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// What one part's track has said so far.
struct PartTrack {
  Track track;
  std::array<bool, 128> on{};
  uint8_t velocity = 127;
  int bend = kBendCentre;
  uint8_t pitch = 0;
  bool used = false;
};

class MidiBuilder {
 public:
  MidiBuilder(int division) : division_(division) { setTempo(0, kInitialTimerValue); }

  void add(const Event& e) {
    if (e.part >= kPartCount) return;
    PartTrack& t = parts_[e.part];
    uint8_t ch = static_cast<uint8_t>(midiChannel(e.part));
    switch (e.kind) {
      case EventKind::kNoteOn:
        noteOn(t, e, ch);
        break;
      case EventKind::kNoteOff:
        noteOff(t, e.step, ch, e.pitch);
        break;
      case EventKind::kPitch:
        if (e.pitch != t.pitch && t.on[t.pitch]) {
          noteOff(t, e.step, ch, t.pitch);
          noteOn(t, e, ch);
        } else {
          bend(t, e, ch);
        }
        break;
      case EventKind::kVolume:
        t.velocity = static_cast<uint8_t>(std::clamp<int>(e.amount, 1, 127));
        break;
      case EventKind::kPan:
        t.track.push_back(
            {e.step,
             {static_cast<uint8_t>(kControl | ch), kCcPan, static_cast<uint8_t>(e.amount & 0x7F)}});
        break;
      case EventKind::kTone:
        t.track.push_back(
            {e.step, {static_cast<uint8_t>(kProgram | ch), static_cast<uint8_t>(e.amount & 0x7F)}});
        break;
      case EventKind::kTempo:
        setTempo(e.step, e.amount);
        break;
      default:
        break;
    }
  }

  std::vector<uint8_t> build(const std::string& title, const std::string& artist,
                             uint64_t endStep) {
    std::vector<std::vector<uint8_t>> chunks;
    Track conductor;
    conductor.push_back({0, meta(kMetaTrackName, title)});
    if (!artist.empty()) conductor.push_back({0, meta(kMetaText, artist)});
    conductor.insert(conductor.end(), tempo_.begin(), tempo_.end());
    chunks.push_back(trackChunk(conductor, endStep));
    for (int part = 0; part < kPartCount; ++part) {
      if (!parts_[part].used) continue;
      chunks.push_back(trackChunk(setup(part), endStep));
    }
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    appendBig(out, 6, 4);
    appendBig(out, 1, 2);
    appendBig(out, static_cast<uint32_t>(chunks.size()), 2);
    appendBig(out, static_cast<uint32_t>(division_), 2);
    for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
  }

 private:
  // The part's track with its name and bend range first.
  Track setup(int part) {
    uint8_t cc = static_cast<uint8_t>(kControl | midiChannel(part));
    Track t;
    t.push_back({0, meta(kMetaTrackName, kPartNames[part])});
    const uint8_t bendRange[][2] = {
        {kCcRpnCoarse, 0},     {kCcRpnFine, 0},          {kCcDataEntry, kBendRangeSemitones},
        {kCcDataEntryFine, 0}, {kCcRpnCoarse, kRpnNull}, {kCcRpnFine, kRpnNull}};
    for (const auto& [controller, value] : bendRange) t.push_back({0, {cc, controller, value}});
    t.insert(t.end(), parts_[part].track.begin(), parts_[part].track.end());
    return t;
  }

  void bend(PartTrack& t, const Event& e, uint8_t ch) {
    int value = midiBend(e.part, e.pitch, e.detune);
    if (value == t.bend) return;
    t.bend = value;
    t.track.push_back({e.step,
                       {static_cast<uint8_t>(kBend | ch), static_cast<uint8_t>(value & 0x7F),
                        static_cast<uint8_t>(value >> 7)}});
  }

  void noteOn(PartTrack& t, const Event& e, uint8_t ch) {
    bend(t, e, ch);
    if (t.on[e.pitch]) noteOff(t, e.step, ch, e.pitch);
    t.track.push_back({e.step, {static_cast<uint8_t>(kNoteOn | ch), e.pitch, t.velocity}});
    t.on[e.pitch] = true;
    t.pitch = e.pitch;
    t.used = true;
  }

  void noteOff(PartTrack& t, uint64_t step, uint8_t ch, uint8_t pitch) {
    if (!t.on[pitch]) return;
    t.on[pitch] = false;
    t.track.push_back({step, {static_cast<uint8_t>(kNoteOff | ch), pitch, 64}});
  }

  void setTempo(uint64_t step, int timer) {
    uint64_t micros = uint64_t(division_) * (kTimerBase - timer) * kTickNanoseconds / 1000;
    uint32_t value = static_cast<uint32_t>(std::min<uint64_t>(micros, kMaxTempo));
    if (value == lastTempo_) return;
    lastTempo_ = value;
    std::vector<uint8_t> bytes = {kMeta, kMetaTempo, 3};
    appendBig(bytes, value, 3);
    if (!tempo_.empty() && tempo_.back().step == step) {
      tempo_.back().bytes = bytes;
    } else {
      tempo_.push_back({step, bytes});
    }
  }

  int division_;
  uint32_t lastTempo_ = 0;
  Track tempo_;
  std::array<PartTrack, kPartCount> parts_;
};

}  // namespace

int midiChannel(int part) { return kChannels[std::clamp(part, 0, kPartCount - 1)]; }

int midiDivision(int zenlen) {
  constexpr int kLargest = kMaxTempo / (kTimerBase * kTickNanoseconds / 1000);  // 910
  return std::clamp(zenlen / 4, 1, kLargest);
}

int midiBend(int part, int pitch, int detune) {
  double ratio;
  if (isFmPart(part)) {
    double base = kSemitoneFnum[pitch % 12];
    ratio = std::max(base + detune, 1.0) / base;
  } else {
    ratio = detune >= 0 ? 1 + detune / 1024.0 : 1 / (1 - detune / 1024.0);
  }
  double semitones = 12 * std::log2(ratio);
  long value = std::lround(kBendCentre + semitones / kBendRangeSemitones * kBendCentre);
  return static_cast<int>(std::clamp<long>(value, 0, kBendMax));
}

bool renderMidi(const KrbFile& krb, const Options& options, std::vector<uint8_t>& out,
                std::string& error) {
  Options notes = options;
  notes.tailSeconds = 0;
  Player player(krb, {}, notes);
  MidiBuilder builder(midiDivision(krb.zenlen));
  Event e;
  while (player.next(e)) builder.add(e);
  if (!player.error().empty()) {
    error = player.error();
    return false;
  }
  out = builder.build(userTextToUtf8(krb.title), userTextToUtf8(krb.artist),
                      player.summary().stopStep);
  return true;
}

}  // namespace tallow::playback
