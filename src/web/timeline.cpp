// The timeline: note-ons open a note of their part, note-offs close the
// note of their pitch, a pitch move (a tie to another pitch) closes the
// sounding note and opens one at the new pitch, from the event that moved it.
#include "web/timeline.h"

namespace tallow::web {
namespace {

class Collector {
 public:
  Collector(const NotePositions& positions, size_t maxNotes, Timeline& out)
      : positions_(positions), maxNotes_(maxNotes), out_(out) {}

  void take(const playback::Event& e) {
    if (e.part >= kPartCount) return;
    double at = playback::tickSeconds(e.tick);
    if (e.kind == playback::EventKind::kNoteOff || e.kind == playback::EventKind::kPitch) {
      close(e.part, e.kind == playback::EventKind::kPitch ? -1 : e.pitch, at);
    }
    if (e.kind == playback::EventKind::kNoteOn || e.kind == playback::EventKind::kPitch) {
      open(e, at);
    }
  }

  // Notes still sounding end where the render stops.
  void finish(double end) {
    out_.end = end;
    for (size_t i : sounding_) out_.notes[i].end = end;
  }

 private:
  void open(const playback::Event& e, double at) {
    if (out_.notes.size() == maxNotes_) {
      out_.truncated = true;
      return;
    }
    TimedNote note{e.part, e.pitch, at, at, std::nullopt};
    if (const SourcePlace* place = positions_.at(e.part, e.offset)) note.place = *place;
    sounding_.push_back(out_.notes.size());
    out_.notes.push_back(note);
  }

  // Ends the sounding note of `part` at `pitch` (-1: every one of the part).
  void close(uint8_t part, int pitch, double at) {
    for (size_t k = 0; k < sounding_.size();) {
      TimedNote& n = out_.notes[sounding_[k]];
      if (n.part == part && (pitch < 0 || n.pitch == pitch)) {
        n.end = at;
        sounding_.erase(sounding_.begin() + static_cast<std::ptrdiff_t>(k));
        if (pitch >= 0) return;
      } else {
        ++k;
      }
    }
  }

  const NotePositions& positions_;
  size_t maxNotes_;
  Timeline& out_;
  std::vector<size_t> sounding_;  // indexes of the notes sounding now
};

}  // namespace

bool buildTimeline(const KrbFile& krb, std::span<const uint8_t> bank,
                   const playback::Options& options, const NotePositions& positions,
                   size_t maxNotes, Timeline& out, std::string& error) {
  out = Timeline{};
  playback::Player player(krb, bank, options);
  Collector collector(positions, maxNotes, out);
  playback::Event event;
  while (player.next(event)) collector.take(event);
  if (!player.error().empty()) {
    error = player.error();
    return false;
  }
  collector.finish(playback::tickSeconds(player.summary().stopTick));
  return true;
}

}  // namespace tallow::web
