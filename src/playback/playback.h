// The driver model: plays a KRB file as the sound driver would and hands out,
// in time order, what the driver sends to the hardware: FM chip register
// writes (two ports) and the note events of every part (for the PCM and BEEP
// voices, and for exports that think in notes).
//
// Time is counted in ticks of 18 microseconds: one step of the driver lasts
// (1024 - timer value) ticks, and every tempo event changes the timer value
// from that point on for the whole song.  All fifteen parts run in step; the
// model jumps over whole runs of steps in which no part has anything to do.
//
// Invariants: events come out in non-decreasing tick order; at one tick the
// parts come in part order; the same file, bank and options give the same
// events.  The model never reads outside the part data that readKrb checked,
// and every run ends: at the end of the song (plus the tail), at the time cap,
// or with an error for a malformed stream.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/parts.h"
#include "output/krb_reader.h"

namespace tallow::playback {

using Tick = uint64_t;
constexpr uint32_t kTickNanoseconds = 18000;
constexpr int kTimerBase = 1024;
constexpr int kInitialTimerValue = 600;  // the compiler's timer value before the first tempo event

// The part number of chip writes that belong to no part: the set-up of the
// chip at the start of the song.
constexpr uint8_t kSongPart = kPartCount;

constexpr double tickSeconds(Tick tick) { return static_cast<double>(tick) * 18e-6; }
// Whole ticks in `seconds` (negative counts as 0; huge values saturate).
Tick secondsToTicks(double seconds);

enum class EventKind : uint8_t {
  kChipWrite,  // FM chip: port 0 or 1, register, value
  kNoteOn,     // a note starts: pitch and detune
  kNoteOff,    // the note of `pitch` is released
  kPitch,      // the sounding note moves to `pitch`/`detune` without a new key-on (tie)
  kVolume,     // amount: volume 0-127
  kPan,        // amount: 0 left, 64 centre, 127 right
  kTone,       // amount: tone number (FM: bank record, PCM: sample number)
  kTempo,      // amount: the new timer value (the part that wrote it)
  kLoopStart,  // the part's endless loop starts here, the first time round
  kEnd,        // the part has ended (its end code)
};

struct Event {
  Tick tick = 0;
  uint64_t step = 0;  // steps of the song before this event (MIDI ticks)
  uint8_t part = 0;   // 0-14, or kSongPart for the chip set-up
  EventKind kind = EventKind::kEnd;
  uint8_t port = 0, reg = 0, value = 0;  // kChipWrite
  uint8_t pitch = 0;                     // kNoteOn, kNoteOff, kPitch: note number 0-127
  int16_t detune = 0;                    // kNoteOn, kPitch: the part's detune units
  int16_t amount = 0;                    // kVolume, kPan, kTone, kTempo
  // kNoteOn, kPitch: the offset in the part's data of the note or chord
  // event that started the note (the same offsets as the part table's data).
  uint32_t offset = 0;
};

constexpr uint16_t kAllParts = (1u << kPartCount) - 1;

struct Options {
  int loops = 2;               // passes of each endless loop before the song ends (at least 1)
  double tailSeconds = 0;      // played after the end of the song (looping parts loop on)
  double maxSeconds = 900;     // nothing is played after this
  uint16_t parts = kAllParts;  // bit n set: part n is heard (every part still runs, for tempo)
  // Events the model may read and hand out in all (a file that asks for more
  // ends with an error), and stream events per part without time passing.
  uint64_t maxEvents = uint64_t{1} << 26;
  uint64_t maxEventsPerInstant = 1u << 16;  // added to the part's data length
  // The work a song may ask for as it plays: stream events read plus events
  // handed out (chip writes included) may not pass an allowance (plus the
  // bytes of the parts' data, so that a long file is read whole) plus so
  // many per second of song.  A song denser than that ends with an error, so that
  // every tool's time and output stay bounded under the default time cap.
  uint64_t eventAllowance = 1u << 20;
  uint64_t maxEventsPerSecond = 20000;
};

// An FM part that keyed a note on a tone nobody hears: one the bank does not
// define (beyond it, or an all-zero record), or one whose outputs L and R are
// both off.
struct SilentTone {
  int tone = 0;
  bool undefined = false;
};

// What the model learned about the song; complete once next() returned false.
struct Summary {
  // Every heard part had ended or had played its endless loop `loops` times.
  // Set as soon as the model passes that point, before any later event.
  std::optional<Tick> songEnd;
  Tick stopTick = 0;      // the last tick of the render: the song end plus the tail, or the cap
  uint64_t stopStep = 0;  // steps of the song at stopTick
  bool capped = false;    // stopped by maxSeconds before the song ended
  std::array<std::optional<Tick>, kPartCount> loopStart;   // first entry into the endless loop
  std::array<std::optional<Tick>, kPartCount> loopLength;  // ticks of its first pass
  std::array<bool, kPartCount> notes{};                    // the part keyed on a note
  int playCount = 0;                                       // from the start-of-song event
  std::array<std::optional<SilentTone>, kPartCount> silentTone;  // the first one of each part
};

// The one-line warning about a part's silent tone ("FM2 plays tone 3, ...").
std::string silentToneWarning(int part, const SilentTone& silent);

class Player {
 public:
  // `krb` (and the bytes it refers to) must outlive the player.  `bank` is
  // an FMB bank (6152 bytes; a shorter one is padded with zeros) or empty:
  // then every FM tone is the built-in default tone.
  Player(const KrbFile& krb, std::span<const uint8_t> bank, const Options& options);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // The next event in time order; false at the end or after an error.
  bool next(Event& event);
  // A one-line reason when the stream was malformed; empty otherwise.
  const std::string& error() const;
  const Summary& summary() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tallow::playback
