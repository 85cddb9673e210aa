// The driver model: plays a KRB file as the sound driver would and hands out,
// in time order, what the driver sends to the hardware: FM chip register
// writes (two ports) and the note events of every part (for the PCM and BEEP
// voices, and for exports that think in notes).
//
// Time is counted in ticks of 18 microseconds: one step of the driver lasts
// (1024 - timer value) ticks, and every tempo event changes the timer value
// from that point on for the whole song.
//
// This header is the seam the consumers share (the WAV renderer, the VGM and
// MIDI writers, the listing of writes); its owner may refine it.
#pragma once

#include <cstdint>
#include <span>

namespace tallow::playback {

using Tick = uint64_t;
constexpr uint32_t kTickNanoseconds = 18000;
constexpr int kTimerBase = 1024;

enum class EventKind : uint8_t {
  kChipWrite,  // FM chip: port 0 or 1, register, value
  kNoteOn,     // a note starts: pitch and detune
  kNoteOff,    // the sounding note is released
  kPitch,      // the sounding note moves without a new key-on (tie, detune step)
  kVolume,     // amount: volume 0-127
  kPan,        // amount: 0 left, 64 centre, 127 right
  kTone,       // amount: tone number
  kTempo,      // amount: the new timer value (the part that wrote it)
  kLoopStart,  // the part's endless loop starts here, the first time round
  kEnd,        // the part has ended
};

struct Event {
  Tick tick = 0;
  uint8_t part = 0;  // 0-14; a chip write names the FM part that made it
  EventKind kind = EventKind::kEnd;
  uint8_t port = 0, reg = 0, value = 0;  // kChipWrite
  uint8_t pitch = 0;                     // kNoteOn, kPitch: note number 0-127
  int16_t detune = 0;                    // kNoteOn, kPitch: the part's detune units
  int16_t amount = 0;                    // kVolume, kPan, kTone, kTempo
};

}  // namespace tallow::playback
