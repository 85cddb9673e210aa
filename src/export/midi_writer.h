// The MIDI export: a Standard MIDI File of type 1 with a conductor track
// (tempo) and one track per part that plays notes.  One MIDI tick is one
// step of the driver; the division is .zenlen / 4 ticks a quarter note, and
// the tempo events follow the timer values so that the file lasts as long as
// the song.  Notes take their velocity from the part's volume, program
// changes come from tone numbers, pan from the pan events (CC 10), pitch
// bend from the detune (bend range 12 semitones, set with RPN 0).  A tied
// note that moves to another semitone (a portamento) stays one note bent
// across the glide; a volume change inside a note (an envelope) is
// expression, CC 11.  Endless
// loops are unrolled as the model plays them.
//
// Channels: FM1-FM6 on 1-6, PCM1-PCM8 on 7-9 and 11-15 (10 is the drum
// channel of General MIDI, which would turn a melody into drums), BEEP on 16.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "export/byte_sink.h"
#include "playback/playback.h"

namespace tallow::exports {

constexpr int kBendRangeSemitones = 12;

// The 0-based MIDI channel of a part.
int midiChannel(int part);

// The ticks of a quarter note: .zenlen / 4, kept within 1 and the largest
// value whose tempo still fits the 24 bits of a tempo event.
int midiDivision(int zenlen);

// The pitch-bend value (0-16383, centre 8192) of `detune` on a note of
// `pitch` of `part`: F-number units on FM parts, 1/1024 octave elsewhere.
int midiBend(int part, int pitch, int detune);

// The pitch-bend value that takes the key `struck` to `pitch`/`detune`
// (a glide); nothing when that is beyond the bend range.
std::optional<int> midiGlideBend(int part, int struck, int pitch, int detune);

// Plays `krb` with the model and writes its MIDI file to `out`: each
// track is kept in a scratch file until the song has played, so that memory
// does not grow with the song.  False with `error` on a malformed stream, a
// track too long for the format or a scratch file that fails (then nothing
// has been written).  The bank (or none) only decides what the model
// reports in `summary`, when asked for.
bool renderMidi(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
                ByteSink& out, std::string& error, playback::Summary* summary = nullptr);
bool renderMidi(const KrbFile& krb, const playback::Options& options, std::vector<uint8_t>& out,
                std::string& error);

}  // namespace tallow::exports
