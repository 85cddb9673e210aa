// The inside of the driver model, shared by its two halves: the schedule
// (player.cpp: steps, time, the end of the song) and the events of one part
// (part_events.cpp: what each event code does).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "playback/driver_channel.h"
#include "playback/loop_map.h"
#include "playback/playback.h"

namespace tallow::playback {

constexpr int kLoopDepth = 8;  // open driver loops per part
constexpr uint8_t kFullGate = 8;

struct LoopFrame {
  uint32_t bodyStart = 0;  // offset after the loop start
  uint32_t passes = 0;     // passes completed
  Tick passTick = 0;       // when the current pass began
};

// One part as the driver runs it.
struct PartRun {
  explicit PartRun(std::span<const uint8_t> bytes) : data(bytes), loops(bytes) {}

  std::span<const uint8_t> data;
  size_t fileOffset = 0;  // of the data, for messages
  LoopMap loops;
  size_t pos = 0;
  bool heard = true;
  bool ended = false;   // met its end code
  bool done = false;    // ended, or played its endless loop often enough
  bool parked = false;  // finished its loops at this instant: resumes after the end check
  uint64_t wait = 0;    // steps until its next events are read
  std::optional<uint64_t> releaseIn;  // steps until the sounding notes are released
  uint64_t instantEvents = 0;         // events read since time last passed
  std::array<LoopFrame, kLoopDepth> frames{};
  int depth = 0;
  uint32_t endlessPasses = 0;

  // What sounds.
  std::array<uint8_t, 4> notes{};  // pitches keyed on (a chord has up to four)
  int noteCount = 0;
  bool tied = false;  // the sounding notes continue into the next note
  int16_t noteDetune = 0;
  int16_t detune = 0;
  uint8_t gate = kFullGate;
  uint8_t volume = 127;
  int tone = 0;                // the FM tone last selected
  bool toneUndefined = false;  // ... is not in the bank
};

struct Player::State {
  State(const KrbFile& krb, std::span<const uint8_t> bank, const Options& options);

  // The schedule (player.cpp).
  enum class Phase { kSetup, kPass, kCheck, kParked };
  static constexpr size_t kQueueChunk = 4096;

  bool refill();
  void runStage();
  bool runPass(uint16_t mask);
  void advance();
  void finish();
  void checkSongEnd();
  WriteSink sink(int part);

  // The events of one part (part_events.cpp).  runEvent carries out the
  // event at the part's position; false on an error (then `error` says why).
  bool runEvent(int part);
  bool commandEvent(int part, uint8_t code, const uint8_t* event, size_t at);
  bool loopEvent(int part, uint8_t code, const uint8_t* event, size_t at);
  void writeRegister(int part, int port, uint8_t reg, uint8_t value);
  void release(int part);
  void startNotes(int part, std::span<const uint8_t> pitches, uint16_t length, size_t at);
  void loadSetup();
  std::span<const uint8_t> toneRecord(int tone) const;
  void selectTone(int part, int tone);
  void noteSilentTone(int part);
  bool overBudget() const;
  bool fail(int part, const std::string& what);

  Options options;
  std::array<uint8_t, 6152> bank{};
  bool hasBank = false;
  std::vector<PartRun> parts;
  std::vector<FmVoice> voices;
  Summary summary;
  std::string error;

  Tick tick = 0;
  uint64_t step = 0;
  int timer = kInitialTimerValue;
  Tick capTick = 0;
  std::optional<Tick> stopTick;
  uint64_t eventsRun = 0;
  uint64_t eventsOut = 0;  // handed out before the current queue
  uint64_t dataBytes = 0;  // of every part: added to the allowance of events
  Phase phase = Phase::kSetup;
  int cursor = 0;           // the part the current pass is at
  uint16_t parkedMask = 0;  // the parts resumed after the end check
  bool finished = false;

  std::vector<Event> queue;
  size_t queueRead = 0;
};

}  // namespace tallow::playback
