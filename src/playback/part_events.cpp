// What the driver model does with each event of a part's data: notes, rests,
// ties and the gate; volume, pan, tone, detune and tempo; driver loops and
// their escapes; register writes and the FM operator offsets; chords on FM3.
// Events whose meaning the format leaves to the driver and that the model
// does not render are read and passed over (the rendering notes list them).
#include <algorithm>
#include <cstdio>

#include "output/fm_registers.h"
#include "output/krb_format.h"
#include "playback/player_state.h"

namespace tallow::playback {
namespace {

constexpr int kFm3Part = 2;
constexpr uint8_t kMaxVolume = 127;
constexpr uint8_t kMaxPan = 127;
constexpr uint16_t kTimerMask = 0x3FF;  // the timer register holds ten bits
constexpr int kChipPorts = 2;

uint16_t word(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

std::string hexByte(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

bool sameNotes(const PartRun& p, std::span<const uint8_t> pitches, int count) {
  return p.noteCount == count &&
         std::equal(pitches.begin(), pitches.begin() + count, p.notes.begin());
}

}  // namespace

bool Player::State::fail(int part, const std::string& what) {
  if (error.empty()) error = std::string(kPartNames[part]) + ": " + what;
  return false;
}

void Player::State::release(int part) {
  PartRun& p = parts[part];
  p.releaseIn.reset();
  p.tied = false;
  if (p.noteCount == 0) return;
  WriteSink s = sink(part);
  if (isFmPart(part)) voices[part].keyOff(s);
  for (int i = 0; i < p.noteCount; ++i) {
    Event e;
    e.kind = EventKind::kNoteOff;
    e.pitch = p.notes[i];
    s.add(e);
  }
  p.noteCount = 0;
}

// Keys on `pitches` (a note, or the filled slots of a chord), or moves the
// notes that a tie continues to them without a new key-on.
void Player::State::startNotes(int part, std::span<const uint8_t> slots, uint16_t length,
                               size_t at) {
  PartRun& p = parts[part];
  WriteSink s = sink(part);
  std::array<uint8_t, 4> pitches{};
  uint8_t slotMask = 0;
  int count = 0;
  for (size_t k = 0; k < slots.size(); ++k) {
    if (slots[k] > kLastNoteCode) continue;  // an empty chord slot
    pitches[count++] = slots[k];
    slotMask |= static_cast<uint8_t>(1u << k);
  }
  bool chordMode = slots.size() > 1 && part == kFm3Part && voices[part].specialMode();
  bool continuing = p.tied && p.noteCount > 0 && count > 0;
  if (!continuing) release(part);
  if (count > 0 && isFmPart(part)) {
    FmVoice& voice = voices[part];
    if (chordMode) {
      for (size_t k = 0; k < slots.size(); ++k) {
        if (slotMask >> k & 1)
          voice.setOperatorFrequency(static_cast<int>(k), fmFrequency(slots[k], p.detune), s);
      }
    } else {
      voice.setFrequency(fmFrequency(pitches[0], p.detune), s);
    }
    if (!continuing) {
      voice.keyOn(s, chordMode ? slotMask : 0xF);
      noteSilentTone(part);
    }
  }
  bool moved = !sameNotes(p, pitches, count) || p.noteDetune != p.detune;
  if (continuing && moved && count == 1 && p.noteCount == 1) {
    Event e;
    e.kind = EventKind::kPitch;
    e.pitch = pitches[0];
    e.offset = static_cast<uint32_t>(at);
    e.detune = p.detune;
    s.add(e);
  } else if (!continuing || moved) {
    // Notes for listeners that think in notes: a tied chord that changes is
    // let go and struck again (the chip itself gets no new key-on).
    for (int i = 0; continuing && i < p.noteCount; ++i) {
      Event e;
      e.kind = EventKind::kNoteOff;
      e.pitch = p.notes[i];
      s.add(e);
    }
    for (int i = 0; i < count; ++i) {
      Event e;
      e.kind = EventKind::kNoteOn;
      e.pitch = pitches[i];
      e.offset = static_cast<uint32_t>(at);
      e.detune = p.detune;
      s.add(e);
      summary.notes[part] = summary.notes[part] || p.heard;
    }
  }
  std::copy(pitches.begin(), pitches.end(), p.notes.begin());
  p.noteCount = count;
  p.noteDetune = p.detune;
  p.wait = length;
  // A tie mark right behind the note continues it into the next one.
  p.tied = p.pos < p.data.size() && p.data[p.pos] == kEventTie;
  p.releaseIn.reset();
  if (!p.tied && count > 0) {
    bool gated = p.gate > 0 && p.gate < kFullGate;
    p.releaseIn = gated ? std::max<uint64_t>(1, uint64_t{length} * p.gate / kFullGate) : length;
  }
}

// A register write of the song: operator and channel registers of the six
// channels go through the channel's voice (volume on TL, remembered values),
// everything else straight to the chip.
void Player::State::writeRegister(int part, int port, uint8_t r, uint8_t value) {
  namespace reg = fm_register;
  WriteSink s = sink(part);
  int channel = r & 3;
  bool channelReg = channel != 3 && r >= reg::kDetuneMultiple && r <= reg::kOutputModulation + 2 &&
                    (r < reg::kCh3FrequencyLow || r >= reg::kFeedbackAlgorithm);
  if (!channelReg) {
    s.write(port, r, value);
    return;
  }
  FmVoice& voice = voices[port * kFmChannelsPerHalf + channel];
  if (r < reg::kFrequencyLow) {
    voice.registerWritten(static_cast<uint8_t>(r & 0xF0), r >> 2 & 3, value, s);
  } else {
    voice.registerWritten(static_cast<uint8_t>(r & 0xFC), 0, value, s);
  }
}

// Driver loops: 0x95 opens one, 0x96 R ends a pass (the body plays R + 1
// times, R = 0 endlessly), 0x9B leaves it behind its end on pass E.
bool Player::State::loopEvent(int part, uint8_t code, const uint8_t* e, size_t at) {
  PartRun& p = parts[part];
  if (code == kEventLoopStart) {
    if (p.depth == kLoopDepth) return fail(part, "opens more than 8 driver loops at once");
    p.frames[p.depth++] = {static_cast<uint32_t>(p.pos), 0, tick};
    std::optional<uint32_t> end = p.loops.loopEnd(static_cast<uint32_t>(at));
    if (end && p.data[*end + 1] == 0 && !summary.loopStart[part]) {
      summary.loopStart[part] = tick;
      Event ev;
      ev.kind = EventKind::kLoopStart;
      sink(part).add(ev);
    }
    return true;
  }
  if (p.depth == 0) {
    return fail(part, (code == kEventLoopEnd ? "a driver loop ends" : "a loop escape stands") +
                          std::string(" outside any loop at offset ") +
                          std::to_string(p.fileOffset + at));
  }
  LoopFrame& frame = p.frames[p.depth - 1];
  if (code == kEventLoopEscape) {
    uint8_t pass = e[2];
    if (pass == kEscapePlaceholder || frame.passes != pass) return true;
    std::optional<uint32_t> end = p.loops.loopEnd(static_cast<uint32_t>(at));
    if (!end)
      return fail(part, "a loop escape at offset " + std::to_string(p.fileOffset + at) +
                            " has no loop end");
    p.pos = *end + kEventLength[kEventLoopEnd];
    --p.depth;
    return true;
  }
  ++frame.passes;
  uint8_t repeat = e[1];
  if (repeat != 0) {
    if (frame.passes < uint32_t{repeat} + 1) {
      p.pos = frame.bodyStart;
    } else {
      --p.depth;
    }
    return true;
  }
  if (frame.passTick == tick) {
    return fail(part, "an endless loop at offset " + std::to_string(p.fileOffset + at) +
                          " takes no time (a loop that never advances)");
  }
  frame.passTick = tick;
  p.pos = frame.bodyStart;
  ++p.endlessPasses;
  if (p.endlessPasses == 1 && summary.loopStart[part]) {
    summary.loopLength[part] = tick - *summary.loopStart[part];
  }
  if (p.endlessPasses == static_cast<uint32_t>(options.loops) && !p.done) {
    p.done = true;
    p.parked = true;
  }
  return true;
}

// Reads and carries out the event at the part's position.
bool Player::State::runEvent(int part) {
  PartRun& p = parts[part];
  if (++eventsRun + eventsOut + queue.size() > options.maxEvents) {
    return fail(part, "the song needs more than " + std::to_string(options.maxEvents) + " events");
  }
  if (overBudget()) {
    if (error.empty()) {
      error = "the song is too dense to play: it asks for more than " +
              std::to_string(options.maxEventsPerSecond) +
              " driver events a second of music (after the first " +
              std::to_string(options.eventAllowance + dataBytes) + ")";
    }
    return false;
  }
  if (++p.instantEvents > options.maxEventsPerInstant + p.data.size()) {
    return fail(part, "more than " + std::to_string(p.instantEvents - 1) +
                          " events without time passing (a loop that never advances)");
  }
  size_t at = p.pos;
  if (at >= p.data.size()) return fail(part, "the data ends without an end code");
  uint8_t code = p.data[at];
  size_t length = kEventLength[code];
  if (code == kEventEnd) {
    release(part);
    p.ended = p.done = true;
    Event e;
    e.kind = EventKind::kEnd;
    sink(part).add(e);
    return true;
  }
  if (length == 0 || (code > kLastNoteCode && code < kEventTempo)) {
    return fail(part, "undefined event code " + hexByte(code) + " at offset " +
                          std::to_string(p.fileOffset + at));
  }
  if (length > p.data.size() - at) {
    return fail(part, "the event " + hexByte(code) + " at offset " +
                          std::to_string(p.fileOffset + at) +
                          " runs past the end of the part's data");
  }
  p.pos = at + length;
  return commandEvent(part, code, p.data.data() + at, at);
}

bool Player::State::commandEvent(int part, uint8_t code, const uint8_t* e, size_t at) {
  PartRun& p = parts[part];
  WriteSink s = sink(part);
  bool fm = isFmPart(part);
  Event ev;
  if (isNoteCode(code)) {
    uint16_t length = word(e + 1);
    if (length > 0) startNotes(part, std::span<const uint8_t>(e, 1), length, at);
    return true;
  }
  switch (code) {
    case kEventTempo:
      // The tempo belongs to the whole song: listeners hear it from every part.
      timer = word(e + 1) & kTimerMask;
      ev.kind = EventKind::kTempo;
      ev.amount = static_cast<int16_t>(timer);
      s.heard = true;
      s.add(ev);
      return true;
    case kEventTone:
      if (fm) selectTone(part, e[1]);
      ev.kind = EventKind::kTone;
      ev.amount = e[1];
      s.add(ev);
      return true;
    case kEventGate:
      p.gate = e[1];
      return true;
    case kEventVolume:
      p.volume = std::min(e[1], kMaxVolume);
      if (fm) voices[part].setVolume(p.volume, s);
      ev.kind = EventKind::kVolume;
      ev.amount = p.volume;
      s.add(ev);
      return true;
    case kEventPolyMode:
      if (part == kFm3Part) voices[part].setSpecialMode(e[2] == 1 || e[2] == 2, s);
      return true;
    case kEventChord:
      if (word(e + 2) > 0) startNotes(part, std::span<const uint8_t>(e + 4, 4), word(e + 2), at);
      return true;
    case kEventStart:
      summary.playCount = e[2];
      return true;
    case kEventRest:
      release(part);
      p.wait = word(e + 1);
      return true;
    case kEventDetune:
      p.detune = static_cast<int16_t>(word(e + 1));
      return true;
    case kEventPan:
      ev.kind = EventKind::kPan;
      ev.amount = std::min(e[1], kMaxPan);
      if (fm) voices[part].setPan(static_cast<uint8_t>(ev.amount), s);
      s.add(ev);
      return true;
    case kEventLoopStart:
    case kEventLoopEnd:
    case kEventLoopEscape:
      return loopEvent(part, code, e, at);
    case kEventRegister:
      if (e[1] < kChipPorts) writeRegister(part, e[1], e[2], e[3]);
      return true;
    case kEventRelativeTotalLevel:
    case kEventRelativeAttack:
      if (fm) {
        std::array<int8_t, 4> offsets{};
        for (int op = 0; op < 4; ++op) offsets[op] = static_cast<int8_t>(e[2 + op]);
        if (code == kEventRelativeTotalLevel)
          voices[part].setRelativeLevels(offsets, s);
        else
          voices[part].setRelativeAttacks(offsets, s);
      }
      return true;
    default:  // the driver's own settings that the model does not render
      return true;
  }
}

}  // namespace tallow::playback
