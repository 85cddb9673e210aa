// The voices of the PCM and BEEP parts, rendered at the output rate.
//
// A part has a few voices: a note starts in a free one (or takes over the
// quietest) while the notes before it finish their release, so a note never
// starts or stops with a jump in the wave.  Several notes may sound at once
// (a chord); each is released by its pitch.  Every voice starts with a short
// linear attack and ends with a short linear release; volume and pan changes
// glide over a few milliseconds.  The part's sound:
//   - PCM, built in: a tone whose upper harmonics decay after the attack
//     (band-limited wave tables, see voice_tables.h), settling to a sustain;
//   - PCM, sampled: the part's current sample played once, pitched from its
//     root note, with linear interpolation;
//   - BEEP: a square wave, band-limited like the built-in tone.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "export/wav_file.h"
#include "render/voice_tables.h"

namespace tallow::render {

enum class VoiceKind : uint8_t { kTone, kSample, kSquare };

// Voices are rendered in blocks of at most this many samples.
constexpr size_t kVoiceBlock = 256;

// The shape of a voice's loudness over time, in output samples.
class Envelope {
 public:
  struct Shape {
    float attackStep = 1;  // added per sample during the attack
    // decayPowers[n]: the factor by which the distance to the sustain level
    // shrinks in n samples, n = 0..kVoiceBlock; null: no decay (the level
    // stays at the sustain).
    const float* decayPowers = nullptr;
    float sustain = 1;
    int releaseSamples = 1;  // the release takes this long from any level
  };

  void start() {
    stage_ = Stage::kAttack;
    level_ = 0;
  }
  void release(const Shape& shape);
  bool active() const { return stage_ != Stage::kOff; }
  void stop() {
    stage_ = Stage::kOff;
    level_ = 0;
  }
  float level() const { return level_; }
  // Writes the levels of the next levels.size() samples; those after the
  // end of the release are 0.
  void fill(const Shape& shape, std::span<float> levels);

 private:
  enum class Stage : uint8_t { kOff, kAttack, kDecay, kRelease };
  Stage stage_ = Stage::kOff;
  float level_ = 0;
  float releaseStep_ = 0;
};

struct Voice {
  VoiceKind kind = VoiceKind::kTone;
  Envelope envelope;
  double phase = 0;                      // sample: source frames
  double increment = 0;                  // per output sample, in cycles or source frames
  uint32_t tonePhase = 0, toneStep = 0;  // tone and square: cycles in units of 2^-32
  float brightness = 0;                  // weight of the bright tone, decaying
  bool muted = false;                    // a pitch beyond what the output rate can carry
  const exports::PcmSample* sample = nullptr;
  int pitch = -1;  // the note held by this voice; -1 once released
};

// The constants of one render, derived from the output rate.  The shapes
// point into the power tables: the settings are neither copied nor moved.
struct VoiceSettings {
  explicit VoiceSettings(uint32_t outputRate);
  VoiceSettings(const VoiceSettings&) = delete;
  VoiceSettings& operator=(const VoiceSettings&) = delete;

  uint32_t outputRate;
  Envelope::Shape toneShape;
  Envelope::Shape flatShape;  // samples and BEEP: attack, full level, release
  // Powers 0..kVoiceBlock of the per-sample factors, so that a block's
  // decays are computed without a chain from sample to sample.
  std::vector<float> decayPowers, brightnessPowers;
  float glideFactor;  // volume and pan changes, per sample
  VoiceTables tables;
};

class PartVoices {
 public:
  PartVoices(const VoiceSettings& settings, VoiceKind kind);

  // `sample` replaces the built-in tone for the following notes (nullptr:
  // the built-in tone again).  `rootNote` is the pitch the sample plays
  // unchanged.
  void setSample(const exports::PcmSample* sample, int rootNote);
  void noteOn(int pitch, double frequency);
  // Moves the latest note to another pitch without a new attack.
  void setFrequency(int pitch, double frequency);
  void noteOff(int pitch);
  void releaseAll();
  void setVolume(int volume);  // 0-127
  void setPan(int pan);        // 0 left, 64 centre, 127 right

  static constexpr int kVoices = 8;

  bool silent() const;
  // Adds this part's next left.size() frames into left and right.
  void render(std::span<float> left, std::span<float> right);

 private:
  void tune(Voice& voice, double frequency) const;
  void release(Voice& voice);
  // Adds the voice into `mono`, or into `left` and `right` when it plays a
  // stereo sample (then returns true).
  bool renderVoice(Voice& voice, std::span<float> mono, std::span<float> left,
                   std::span<float> right);
  void renderTone(Voice& voice, std::span<float> out) const;
  void renderSquare(Voice& voice, std::span<float> out) const;
  void renderSample(Voice& voice, std::span<float> left, std::span<float> right) const;
  void mixInto(size_t n, bool stereo, std::span<float> left, std::span<float> right);
  void updateTargets();
  int freeVoice() const;

  const VoiceSettings& settings_;
  VoiceKind kind_;
  const exports::PcmSample* sample_ = nullptr;
  double rootFrequency_ = 0;
  std::array<Voice, kVoices> voices_;
  int latest_ = -1;  // the voice of the latest note while it is held, or -1
  std::vector<float> mono_, left_, right_, levels_;  // one block each
  float volume_ = 1, panLeft_ = 1, panRight_ = 1;
  float targetLeft_ = 0, targetRight_ = 0;
  float gainLeft_ = 0, gainRight_ = 0;
};

// The frequency of a note: 440 Hz x 2^((pitch - 69) / 12) x factor.
double noteFrequency(int pitch, double detuneFactor);

}  // namespace tallow::render
