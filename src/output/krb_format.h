// The KRB file format, the one description that the compiler, the optimiser,
// the layout and the tools that read KRB files share.
//
// A KRB file is a 259-byte header followed by the event streams of the
// fifteen parts in part order, with no gaps.  All multi-byte numbers are
// little-endian.  A stream is a sequence of events: a one-byte code followed
// by a fixed number of operand bytes that depends on the code alone.  Codes
// 0x00-0x79 are notes (the code is the pitch, a 16-bit length in steps
// follows); 0x80-0xA4 are commands; 0xFF ends a stream.  Every other code is
// no event: its length in the table is 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/parts.h"

namespace tallow {

// Event codes, named by what they mean to the sound driver.  Where the
// meaning is the driver's own business, the event is named by the MML command
// that writes it.
enum EventCode : uint8_t {
  kEventTempo = 0x80,               // 16-bit timer value
  kEventTone = 0x81,                // tone number
  kEventSettingP = 0x82,            // "p" value
  kEventGate = 0x83,                // driver gate 0-8
  kEventVolume = 0x84,              // volume value 0-127
  kEventLfo = 0x85,                 // "w" of the KR2 format: six bytes
  kEventTie = 0x86,                 // the next note continues the sounding one
  kEventSettingAtT = 0x87,          // "@T": two bytes
  kEventSettingAtL = 0x88,          // "@L": two bytes
  kEventPolyMode = 0x89,            // count byte 1, mode
  kEventChord = 0x8A,               // count byte 6, 16-bit length, four pitches (0x90: none)
  kEventKeySetting = 0x8B,          // "@K", "@kp": count byte 3, three bytes
  kEventUnassigned8C = 0x8C,        // written by no command; two operand bytes
  kEventFmSwitch = 0x8D,            // count byte 1, switch value or channel mask
  kEventSweepSetting = 0x8E,        // "@S", "@ks": count byte 3, three bytes
  kEventStart = 0x8F,               // start of the song: count byte 1, play count
  kEventRest = 0x90,                // 16-bit length
  kEventDetune = 0x91,              // signed 16-bit detune
  kEventFilter = 0x92,              // "@f" of the KR2 format
  kEventPan = 0x93,                 // 0 left, 64 centre, 127 right
  kEventLevel = 0x94,               // "@r", "@r#": a second volume byte
  kEventLoopStart = 0x95,           // start of a driver loop
  kEventLoopEnd = 0x96,             // repeat byte: played R + 1 times, 0 endlessly
  kEventRegister = 0x97,            // chip half, register, value
  kEventSettingAtE = 0x98,          // "@e": count byte 1, value
  kEventBend = 0x99,                // "@B": count byte 8, four 16-bit values
  kEventDelay = 0x9A,               // "@D": count byte 8, four 16-bit values
  kEventLoopEscape = 0x9B,          // count byte 5, repeat byte, four zero bytes
  kEventChannelSet = 0x9C,          // "@C": count byte 4, four bytes
  kEventSettingAtQ = 0x9D,          // "@Q": count byte 2, 16-bit value
  kEventWave = 0x9F,                // "@WP", KR3 "w": count byte 8, eight bytes
  kEventWaveAmplitude = 0xA0,       // "@WA": count byte 8, eight bytes
  kEventFilterDetune = 0xA1,        // "@FD", KR3 "@f": count byte 3, 16-bit value, byte
  kEventNoise = 0xA2,               // "@N": count byte 1, value
  kEventRelativeTotalLevel = 0xA3,  // "@tl": count byte 4, four signed bytes
  kEventRelativeAttack = 0xA4,      // "@ar": count byte 4, four signed bytes
  kEventEnd = 0xFF,                 // end of a stream
};

constexpr uint8_t kLastNoteCode = 0x79;  // codes 0x7A-0x7F are no event
constexpr uint8_t kFirstCommandCode = 0x80;
constexpr uint8_t kChordNoPitch = 0x90;       // an empty slot of a chord
constexpr uint8_t kEscapePlaceholder = 0xFF;  // an escape's repeat byte before "@j" fills it

constexpr bool isNoteCode(uint8_t code) { return code <= kLastNoteCode; }

struct EventInfo {
  uint8_t code;
  uint8_t length;    // bytes, the code included
  const char* name;  // as krbdump lists it
};

// Every command event, in code order.
inline constexpr EventInfo kCommandEvents[] = {
    {kEventTempo, 3, "tempo"},
    {kEventTone, 2, "tone"},
    {kEventSettingP, 2, "setting"},
    {kEventGate, 2, "gate"},
    {kEventVolume, 2, "volume"},
    {kEventLfo, 7, "lfo"},
    {kEventTie, 1, "tie"},
    {kEventSettingAtT, 3, "setting"},
    {kEventSettingAtL, 3, "setting"},
    {kEventPolyMode, 3, "poly-mode"},
    {kEventChord, 8, "chord"},
    {kEventKeySetting, 5, "key-setting"},
    {kEventUnassigned8C, 3, "command"},
    {kEventFmSwitch, 3, "fm-switch"},
    {kEventSweepSetting, 5, "sweep-setting"},
    {kEventStart, 3, "start"},
    {kEventRest, 3, "rest"},
    {kEventDetune, 3, "detune"},
    {kEventFilter, 2, "filter"},
    {kEventPan, 2, "pan"},
    {kEventLevel, 2, "level"},
    {kEventLoopStart, 1, "loop-start"},
    {kEventLoopEnd, 2, "loop-end"},
    {kEventRegister, 4, "register"},
    {kEventSettingAtE, 3, "setting"},
    {kEventBend, 10, "bend"},
    {kEventDelay, 10, "delay"},
    {kEventLoopEscape, 7, "loop-escape"},
    {kEventChannelSet, 6, "channel-set"},
    {kEventSettingAtQ, 4, "setting"},
    {kEventWave, 10, "wave"},
    {kEventWaveAmplitude, 10, "wave-amp"},
    {kEventFilterDetune, 5, "filter-detune"},
    {kEventNoise, 3, "noise"},
    {kEventRelativeTotalLevel, 6, "relative-tl"},
    {kEventRelativeAttack, 6, "relative-ar"},
};

constexpr size_t kNoteEventLength = 3;

constexpr std::array<uint8_t, 256> makeEventLengths() {
  std::array<uint8_t, 256> lengths{};
  for (int code = 0; code <= kLastNoteCode; ++code) lengths[code] = kNoteEventLength;
  // 0x7A-0x7F are no event, but a stream walk steps over them as over notes;
  // the optimiser refuses them by code.
  for (int code = kLastNoteCode + 1; code < kFirstCommandCode; ++code) {
    lengths[code] = kNoteEventLength;
  }
  for (const EventInfo& e : kCommandEvents) lengths[e.code] = e.length;
  return lengths;
}

// The length of the event with each code; 0 for a code that is no command
// event (0x9E, 0xA5-0xFF).  The end code 0xFF stands alone: 1 byte.
inline constexpr std::array<uint8_t, 256> kEventLength = makeEventLengths();

// The name of an event code for listings: "note", a command's name, "end",
// or "undefined".
constexpr const char* eventName(uint8_t code) {
  if (code < kFirstCommandCode) return "note";
  if (code == kEventEnd) return "end";
  for (const EventInfo& e : kCommandEvents) {
    if (e.code == code) return e.name;
  }
  return "undefined";
}

// The header: offsets and sizes of its fields.
namespace krb_header {
constexpr size_t kTag = 0x000;  // "KR3" or "KR2", 3 bytes
constexpr size_t kTagSize = 3;
constexpr size_t kTitle = 0x003;
constexpr size_t kTitleSize = 64;
constexpr size_t kArtist = 0x043;
constexpr size_t kArtistSize = 16;
constexpr size_t kFmbName = 0x053;
constexpr size_t kPmbName = 0x05F;
constexpr size_t kWpkName = 0x0E5;
constexpr size_t kBankNameSize = 12;
constexpr size_t kPartCount = 0x06B;  // always 15
constexpr size_t kSoundUse = 0x06C;
constexpr size_t kPartTable = 0x06D;  // 15 entries: 32-bit offset, 32-bit length
constexpr size_t kPartEntrySize = 8;
constexpr size_t kReserved = 0x0F1;    // 12 zero bytes
constexpr size_t kZenlen = 0x0FD;      // whole-note length in steps, 16 bits
constexpr size_t kLock = 0x0FF;        // 0x00 permitted, 0xFF locked against reverse compilation
constexpr size_t kStartEvent = 0x100;  // 0x8F 0x01 play count: FM1's entry starts here
constexpr size_t kStartEventSize = 3;
constexpr size_t kSize = 0x103;
}  // namespace krb_header

constexpr uint8_t kLockPermitted = 0x00;
constexpr uint8_t kLockLocked = 0xFF;
inline constexpr char kTagKr3[] = "KR3";
inline constexpr char kTagKr2[] = "KR2";

}  // namespace tallow
