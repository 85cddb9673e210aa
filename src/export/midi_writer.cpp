// Writing Standard MIDI Files from the driver model's note events.
#include "export/midi_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "base/cp932.h"
#include "playback/driver_channel.h"

namespace tallow::exports {
namespace {

constexpr uint8_t kNoteOff = 0x80, kNoteOn = 0x90, kControl = 0xB0, kProgram = 0xC0, kBend = 0xE0,
                  kMeta = 0xFF;
constexpr uint8_t kMetaText = 0x01, kMetaTrackName = 0x03, kMetaEndOfTrack = 0x2F,
                  kMetaTempo = 0x51;
constexpr uint8_t kCcPan = 10, kCcExpression = 11, kCcDataEntry = 6, kCcDataEntryFine = 38,
                  kCcRpnFine = 100, kCcRpnCoarse = 101;
constexpr uint8_t kRpnNull = 127;
constexpr int kBendCentre = 8192, kBendMax = 16383;
constexpr int kNoGlide = -1;
constexpr uint32_t kMaxTempo = 0xFFFFFF;  // microseconds a quarter note, 24 bits
constexpr std::array<int, kPartCount> kChannels = {0, 1,  2,  3,  4,  5,  6, 7,
                                                   8, 10, 11, 12, 13, 14, 15};

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

// One track as it is made: its events with their delta times go to a
// scratch file until the file is put together.
class TrackOut {
 public:
  bool started() const { return started_; }
  bool start() {
    started_ = true;
    return scratch_.create();
  }
  void event(uint64_t step, std::span<const uint8_t> bytes) {
    bytes_.clear();
    appendVlq(bytes_, step - at_);
    at_ = step;
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    scratch_.put(bytes_);
  }
  // The end of the track at `endStep`, and its length.
  uint64_t close(uint64_t endStep) {
    tail_.clear();
    appendVlq(tail_, std::max(endStep, at_) - at_);
    tail_.insert(tail_.end(), {kMeta, kMetaEndOfTrack, 0});
    return scratch_.size() + tail_.size();
  }
  bool copyChunk(ByteSink& out, uint64_t length) {
    std::vector<uint8_t> head = {'M', 'T', 'r', 'k'};
    appendBig(head, static_cast<uint32_t>(length), 4);
    out.put(head);
    if (!scratch_.copyTo(out)) return false;
    out.put(tail_);
    return true;
  }

 private:
  ScratchFile scratch_;
  bool started_ = false;
  uint64_t at_ = 0;
  std::vector<uint8_t> bytes_, tail_;
};

// What one part's track has said so far.
struct PartTrack {
  TrackOut out;
  std::array<bool, 128> on{};
  uint8_t velocity = 127;
  int bend = kBendCentre;
  uint8_t pitch = 0;     // the key last struck
  uint8_t struck = 127;  // ... and its velocity
  uint8_t expression = 127;
  int glideTo = kNoGlide;  // the pitch the struck key has been bent to
  bool used = false;
};

class MidiBuilder {
 public:
  MidiBuilder(int division, const std::string& title, const std::string& artist)
      : division_(division) {
    ok_ = conductor_.start();
    conductor_.event(0, meta(kMetaTrackName, title));
    if (!artist.empty()) conductor_.event(0, meta(kMetaText, artist));
    setTempo(0, playback::kInitialTimerValue);
  }

  void add(const playback::Event& e) {
    if (e.part >= kPartCount) return;
    PartTrack& t = parts_[e.part];
    uint8_t ch = static_cast<uint8_t>(midiChannel(e.part));
    switch (e.kind) {
      case playback::EventKind::kNoteOn:
        noteOn(t, e, ch);
        break;
      case playback::EventKind::kNoteOff:
        // The pitch a glide reached is let go as the key that was struck.
        noteOff(t, e.step, ch, e.pitch == t.glideTo ? t.pitch : e.pitch);
        break;
      case playback::EventKind::kPitch:
        glide(t, e, ch);
        break;
      case playback::EventKind::kVolume:
        t.velocity = static_cast<uint8_t>(std::clamp<int>(e.amount, 1, 127));
        if (t.on[t.pitch]) express(t, e.step, ch);
        break;
      case playback::EventKind::kPan:
        put(e.part, e.step,
            {static_cast<uint8_t>(kControl | ch), kCcPan, static_cast<uint8_t>(e.amount & 0x7F)});
        break;
      case playback::EventKind::kTone:
        put(e.part, e.step,
            {static_cast<uint8_t>(kProgram | ch), static_cast<uint8_t>(e.amount & 0x7F)});
        break;
      case playback::EventKind::kTempo:
        setTempo(e.step, e.amount);
        break;
      default:
        break;
    }
  }

  // Writes the file: the header, the conductor track and the track of every
  // part that played a note.  False when a scratch file failed or a track
  // is too long for its 32-bit length.
  bool build(uint64_t endStep, ByteSink& out, std::string& error) {
    flushTempo();
    std::vector<TrackOut*> tracks = {&conductor_};
    for (PartTrack& part : parts_) {
      if (part.used) tracks.push_back(&part.out);
    }
    std::vector<uint64_t> lengths;
    for (TrackOut* track : tracks) {
      lengths.push_back(track->close(endStep));
      if (lengths.back() > kMaxTrackBytes) {
        error = "a MIDI track would be larger than 4 GiB, more than its format can describe";
        return false;
      }
    }
    std::vector<uint8_t> head = {'M', 'T', 'h', 'd'};
    appendBig(head, 6, 4);
    appendBig(head, 1, 2);
    appendBig(head, static_cast<uint32_t>(tracks.size()), 2);
    appendBig(head, static_cast<uint32_t>(division_), 2);
    out.put(head);
    for (size_t i = 0; ok_ && i < tracks.size(); ++i) ok_ = tracks[i]->copyChunk(out, lengths[i]);
    if (!ok_) error = "cannot use a scratch file in the temporary directory";
    return ok_;
  }

 private:
  static constexpr uint64_t kMaxTrackBytes = 0xFFFFFFFFull;

  // An event of a part's track; the track starts with its name and bend range.
  void put(int part, uint64_t step, std::initializer_list<uint8_t> bytes) {
    TrackOut& track = parts_[part].out;
    if (!track.started()) {
      ok_ = track.start() && ok_;
      uint8_t cc = static_cast<uint8_t>(kControl | midiChannel(part));
      track.event(0, meta(kMetaTrackName, kPartNames[part]));
      const uint8_t bendRange[][2] = {
          {kCcRpnCoarse, 0},     {kCcRpnFine, 0},          {kCcDataEntry, kBendRangeSemitones},
          {kCcDataEntryFine, 0}, {kCcRpnCoarse, kRpnNull}, {kCcRpnFine, kRpnNull}};
      for (const auto& [controller, value] : bendRange) {
        const uint8_t bytes[] = {cc, controller, value};
        track.event(0, bytes);
      }
    }
    track.event(step, std::span(bytes.begin(), bytes.size()));
  }

  // A tied note that moves (a portamento, a detune) keeps its key and bends
  // from the note struck, while the bend range reaches; beyond it the new
  // pitch is struck.
  void glide(PartTrack& t, const playback::Event& e, uint8_t ch) {
    if (e.pitch == t.pitch || !t.on[t.pitch]) {
      t.glideTo = kNoGlide;
      return bend(t, e, ch);
    }
    std::optional<int> value = midiGlideBend(e.part, t.pitch, e.pitch, e.detune);
    if (!value) {
      noteOff(t, e.step, ch, t.pitch);
      return noteOn(t, e, ch);
    }
    sendBend(t, e.part, e.step, ch, *value);
    t.glideTo = e.pitch;
  }

  // A volume change inside a note: expression (CC 11) relative to the
  // note's velocity, put back to full before the next note.
  void express(PartTrack& t, uint64_t step, uint8_t ch) {
    int value = std::min(127, (t.velocity * 127 + t.struck / 2) / t.struck);
    if (value == t.expression) return;
    t.expression = static_cast<uint8_t>(value);
    put(static_cast<int>(&t - parts_.data()), step,
        {static_cast<uint8_t>(kControl | ch), kCcExpression, t.expression});
  }

  void bend(PartTrack& t, const playback::Event& e, uint8_t ch) {
    sendBend(t, e.part, e.step, ch, midiBend(e.part, e.pitch, e.detune));
  }

  void sendBend(PartTrack& t, int part, uint64_t step, uint8_t ch, int value) {
    if (value == t.bend) return;
    t.bend = value;
    put(part, step,
        {static_cast<uint8_t>(kBend | ch), static_cast<uint8_t>(value & 0x7F),
         static_cast<uint8_t>(value >> 7)});
  }

  void noteOn(PartTrack& t, const playback::Event& e, uint8_t ch) {
    bend(t, e, ch);
    if (t.on[e.pitch]) noteOff(t, e.step, ch, e.pitch);
    if (t.expression != 127) {
      t.expression = 127;
      put(e.part, e.step, {static_cast<uint8_t>(kControl | ch), kCcExpression, 127});
    }
    put(e.part, e.step, {static_cast<uint8_t>(kNoteOn | ch), e.pitch, t.velocity});
    t.struck = t.velocity;
    t.glideTo = kNoGlide;
    t.on[e.pitch] = true;
    t.pitch = e.pitch;
    t.used = true;
  }

  void noteOff(PartTrack& t, uint64_t step, uint8_t ch, uint8_t pitch) {
    if (!t.on[pitch]) return;
    t.on[pitch] = false;
    put(static_cast<int>(&t - parts_.data()), step,
        {static_cast<uint8_t>(kNoteOff | ch), pitch, 64});
  }

  // A tempo event waits until the next one: a later one at the same step
  // takes its place.
  void setTempo(uint64_t step, int timer) {
    uint64_t micros =
        uint64_t(division_) * (playback::kTimerBase - timer) * playback::kTickNanoseconds / 1000;
    uint32_t value = static_cast<uint32_t>(std::min<uint64_t>(micros, kMaxTempo));
    if (value == lastTempo_) return;
    lastTempo_ = value;
    if (pendingTempo_ && pendingTempo_->first != step) flushTempo();
    pendingTempo_ = {step, value};
  }

  void flushTempo() {
    if (!pendingTempo_) return;
    std::vector<uint8_t> bytes = {kMeta, kMetaTempo, 3};
    appendBig(bytes, pendingTempo_->second, 3);
    conductor_.event(pendingTempo_->first, bytes);
    pendingTempo_.reset();
  }

  int division_;
  bool ok_ = true;
  uint32_t lastTempo_ = 0;
  std::optional<std::pair<uint64_t, uint32_t>> pendingTempo_;
  TrackOut conductor_;
  std::array<PartTrack, kPartCount> parts_;
};

}  // namespace

int midiChannel(int part) { return kChannels[std::clamp(part, 0, kPartCount - 1)]; }

int midiDivision(int zenlen) {
  constexpr int kLargest =
      kMaxTempo / (playback::kTimerBase * playback::kTickNanoseconds / 1000);  // 910
  return std::clamp(zenlen / 4, 1, kLargest);
}

namespace {

// The semitones that `detune` adds to a note of `pitch` of `part`.
double detuneSemitones(int part, int pitch, int detune) {
  double ratio;
  if (isFmPart(part)) {
    double base = playback::kSemitoneFnum[pitch % 12];
    ratio = std::max(base + detune, 1.0) / base;
  } else {
    ratio = detune >= 0 ? 1 + detune / 1024.0 : 1 / (1 - detune / 1024.0);
  }
  return 12 * std::log2(ratio);
}

int bendValue(double semitones) {
  long value = std::lround(kBendCentre + semitones / kBendRangeSemitones * kBendCentre);
  return static_cast<int>(std::clamp<long>(value, 0, kBendMax));
}

}  // namespace

int midiBend(int part, int pitch, int detune) {
  return bendValue(detuneSemitones(part, pitch, detune));
}

std::optional<int> midiGlideBend(int part, int struck, int pitch, int detune) {
  double semitones = pitch - struck + detuneSemitones(part, pitch, detune);
  if (std::abs(semitones) > kBendRangeSemitones) return std::nullopt;
  return bendValue(semitones);
}

bool renderMidi(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
                ByteSink& out, std::string& error, playback::Summary* summary) {
  playback::Options notes = options;
  notes.tailSeconds = 0;
  playback::Player player(krb, bank, notes);
  MidiBuilder builder(midiDivision(krb.zenlen), userTextToUtf8(krb.title),
                      userTextToUtf8(krb.artist));
  playback::Event e;
  while (player.next(e)) builder.add(e);
  if (!player.error().empty()) {
    error = player.error();
    return false;
  }
  if (summary) *summary = player.summary();
  return builder.build(player.summary().stopStep, out, error);
}

bool renderMidi(const KrbFile& krb, const playback::Options& options, std::vector<uint8_t>& out,
                std::string& error) {
  VectorSink sink(out);
  return renderMidi(krb, {}, options, sink, error);
}

}  // namespace tallow::exports
