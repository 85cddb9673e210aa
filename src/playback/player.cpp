// The schedule of the driver model: the set-up, the parts in step at each
// step boundary, time jumping over whole runs of steps, the end of the song,
// the tail and the time cap.
#include <algorithm>
#include <cmath>

#include "output/fm_registers.h"
#include "output/fmb_format.h"
#include "playback/player_state.h"

namespace tallow::playback {

Tick secondsToTicks(double seconds) {
  constexpr double kMaxTicks = 4.0e18;
  if (!(seconds > 0)) return 0;
  double ticks = std::floor(seconds * 1e9 / kTickNanoseconds);
  return ticks >= kMaxTicks ? static_cast<Tick>(kMaxTicks) : static_cast<Tick>(ticks);
}

Player::State::State(const KrbFile& krb, std::span<const uint8_t> bankBytes, const Options& opts)
    : options(opts) {
  options.loops = std::max(options.loops, 1);
  hasBank = !bankBytes.empty();
  std::copy_n(bankBytes.begin(), std::min(bankBytes.size(), bank.size()), bank.begin());
  parts.reserve(kPartCount);
  for (int part = 0; part < kPartCount; ++part) {
    parts.emplace_back(krb.partData(part));
    parts.back().heard = (options.parts >> part & 1) != 0;
    parts.back().fileOffset = krb.entries[part].offset;
    dataBytes += parts.back().data.size();
  }
  for (int part = 0; part < kFmPartCount; ++part) voices.emplace_back(part);
  capTick = secondsToTicks(options.maxSeconds);
}

WriteSink Player::State::sink(int part) {
  WriteSink s;
  s.out = &queue;
  s.tick = tick;
  s.step = step;
  s.part = static_cast<uint8_t>(part);
  s.heard = part == kSongPart || parts[part].heard;
  return s;
}

std::span<const uint8_t> Player::State::toneRecord(int tone) const {
  if (!hasBank) return kDefaultTone;
  if (tone < 0 || static_cast<size_t>(tone) >= kToneRecordCount) return {};
  return std::span<const uint8_t>(bank).subspan(toneRecordOffset(tone), kToneRecordSize);
}

// Six FM channels, the hardware LFO off, channel 3 in its normal mode, every
// key off; then tone 0 on the channel of every heard FM part.
void Player::State::loadSetup() {
  namespace reg = fm_register;
  constexpr uint8_t kSixChannels = 0x80;
  WriteSink song = sink(kSongPart);
  song.write(0, reg::kChannelMode, kSixChannels);
  song.write(0, reg::kLfo, 0);
  song.write(0, reg::kTimerControl, 0);
  for (int part = 0; part < kFmPartCount; ++part) voices[part].keyOff(song);
  for (int part = 0; part < kFmPartCount; ++part) {
    if (parts[part].heard) selectTone(part, 0);
  }
}

// A tone number beyond the bank leaves the channel's tone as it was.
void Player::State::selectTone(int part, int tone) {
  std::span<const uint8_t> record = toneRecord(tone);
  PartRun& p = parts[part];
  p.tone = tone;
  p.toneUndefined = record.empty() || std::all_of(record.begin(), record.end(),
                                                  [](uint8_t byte) { return byte == 0; });
  if (!record.empty()) voices[part].selectTone(record, sink(part));
}

// Called at a key-on of a heard FM part: remembers the first tone of the
// part that cannot be heard, for the tools' warnings.
void Player::State::noteSilentTone(int part) {
  const PartRun& p = parts[part];
  if (summary.silentTone[part] || !p.heard) return;
  if (p.toneUndefined || voices[part].outputsOff()) {
    summary.silentTone[part] = SilentTone{p.tone, p.toneUndefined};
  }
}

bool Player::State::overBudget() const {
  double budget = static_cast<double>(options.eventAllowance + dataBytes) +
                  static_cast<double>(options.maxEventsPerSecond) * tickSeconds(tick);
  return static_cast<double>(eventsRun + eventsOut + queue.size()) > budget;
}

std::string silentToneWarning(int part, const SilentTone& silent) {
  std::string tone = std::string(kPartNames[part]) + " plays tone " + std::to_string(silent.tone);
  return silent.undefined ? tone + ", which the bank does not define"
                          : tone + ", whose outputs L and R are both off: it is silent";
}

// Reads the events of the parts in `mask`, in part order, from the cursor
// on, until each waits for a later step.  False when it stopped early: on an
// error, or with a full queue to hand out first (the cursor stays).
bool Player::State::runPass(uint16_t mask) {
  for (; cursor < kPartCount; ++cursor) {
    if ((mask >> cursor & 1) == 0) continue;
    PartRun& p = parts[cursor];
    while (!p.ended && !p.parked && p.wait == 0) {
      if (!runEvent(cursor) || queue.size() >= kQueueChunk) return false;
    }
  }
  return true;
}

void Player::State::checkSongEnd() {
  if (summary.songEnd) return;
  for (const PartRun& p : parts) {
    if (p.heard && !p.done) return;
  }
  summary.songEnd = tick;
  Tick tail = secondsToTicks(options.tailSeconds);
  stopTick = std::min(capTick, tick + std::min(tail, capTick));
}

// Moves time to the next step at which a part has something to do, or to
// the end of the render.
void Player::State::advance() {
  std::optional<uint64_t> delta;
  for (const PartRun& p : parts) {
    if (!p.ended && p.wait > 0) delta = std::min(delta.value_or(p.wait), p.wait);
    if (p.releaseIn) delta = std::min(delta.value_or(*p.releaseIn), *p.releaseIn);
  }
  Tick limit = std::min(capTick, stopTick.value_or(capTick));
  uint64_t stepTicks = kTimerBase - timer;
  // Waits are 16-bit step counts: the product cannot overflow.
  if (!delta || tick + *delta * stepTicks >= limit) {
    step += (limit - tick) / stepTicks;
    tick = limit;
    finish();
    return;
  }
  tick += *delta * stepTicks;
  step += *delta;
  for (int part = 0; part < kPartCount; ++part) {
    PartRun& p = parts[part];
    p.instantEvents = 0;
    if (!p.ended) p.wait -= std::min(p.wait, *delta);
    if (p.releaseIn) *p.releaseIn -= std::min(*p.releaseIn, *delta);
  }
  for (int part = 0; part < kPartCount; ++part) {
    if (parts[part].releaseIn == 0u) release(part);
  }
  cursor = 0;
  phase = Phase::kPass;
}

void Player::State::finish() {
  if (finished) return;
  for (int part = 0; part < kPartCount; ++part) release(part);
  finished = true;
  summary.stopTick = tick;
  summary.stopStep = step;
  summary.capped = !summary.songEnd.has_value() && error.empty();
}

// One stage of the schedule at the current step boundary.
void Player::State::runStage() {
  switch (phase) {
    case Phase::kSetup:
      loadSetup();
      phase = Phase::kPass;
      return;
    case Phase::kPass:
      if (runPass(kAllParts)) phase = Phase::kCheck;
      return;
    case Phase::kCheck: {
      checkSongEnd();
      if (stopTick && tick >= *stopTick) return finish();
      parkedMask = 0;
      for (int part = 0; part < kPartCount; ++part) {
        if (!parts[part].parked) continue;
        parts[part].parked = false;
        parkedMask |= static_cast<uint16_t>(1u << part);
      }
      cursor = 0;
      phase = Phase::kParked;
      return;
    }
    case Phase::kParked:
      if (runPass(parkedMask)) advance();
      return;
  }
}

// Runs the model until it has events to hand out or is finished.
bool Player::State::refill() {
  eventsOut += queue.size();
  queue.clear();
  queueRead = 0;
  while (queue.empty() && !finished) {
    runStage();
    if (!error.empty() && !finished) {
      finished = true;
      summary.stopTick = tick;
      summary.stopStep = step;
    }
  }
  return !queue.empty();
}

Player::Player(const KrbFile& krb, std::span<const uint8_t> bank, const Options& options)
    : state_(std::make_unique<State>(krb, bank, options)) {}

Player::~Player() = default;

bool Player::next(Event& event) {
  State& s = *state_;
  if (s.queueRead == s.queue.size() && !s.refill()) return false;
  event = s.queue[s.queueRead++];
  return true;
}

const std::string& Player::error() const { return state_->error; }
const Summary& Player::summary() const { return state_->summary; }

}  // namespace tallow::playback
