// Rendering the PCM and BEEP voices: envelopes, oscillators, volume and pan.
#include "render/voices.h"

#include <algorithm>
#include <cmath>

namespace tallow::render {
namespace {

constexpr double kAttackSeconds = 0.003;
constexpr double kReleaseSeconds = 0.015;
constexpr double kToneDecaySeconds = 0.6;  // time constant toward the sustain
constexpr double kToneSustain = 0.5;
constexpr double kBrightnessSeconds = 0.12;  // time constant of the upper harmonics
constexpr double kGlideSeconds = 0.002;      // volume and pan changes
constexpr float kSquareAmplitude = 0.5f;
constexpr double kMaxSampleStep = 64;  // source frames per output frame
constexpr int kCentrePan = 64;
constexpr int kMaxPan = 127;
constexpr int kMaxVolume = 127;

// The powers 0..kVoiceBlock of the factor by which a decay with time
// constant `seconds` shrinks in one sample.
std::vector<float> powersOfDecay(double seconds, uint32_t rate) {
  std::vector<float> powers(kVoiceBlock + 1);
  for (size_t n = 0; n <= kVoiceBlock; ++n) {
    powers[n] = static_cast<float>(std::exp(-static_cast<double>(n) / (seconds * rate)));
  }
  return powers;
}

}  // namespace

void Envelope::release(const Shape& shape) {
  if (stage_ == Stage::kOff || stage_ == Stage::kRelease) return;
  stage_ = Stage::kRelease;
  releaseStep_ = std::max(level_, 1e-6f) / static_cast<float>(shape.releaseSamples);
}

void Envelope::fill(const Shape& shape, std::span<float> levels) {
  size_t i = 0;
  while (i < levels.size()) {
    switch (stage_) {
      case Stage::kOff:
        std::fill(levels.begin() + static_cast<ptrdiff_t>(i), levels.end(), 0.0f);
        return;
      case Stage::kAttack:
        while (i < levels.size() && stage_ == Stage::kAttack) {
          level_ += shape.attackStep;
          if (level_ >= 1) {
            level_ = 1;
            stage_ = Stage::kDecay;
          }
          levels[i++] = level_;
        }
        break;
      case Stage::kDecay: {
        const size_t count = std::min(levels.size() - i, kVoiceBlock);
        if (!shape.decayPowers) level_ = shape.sustain;
        const float distance = level_ - shape.sustain;
        const float* powers = shape.decayPowers;
        for (size_t j = 0; j < count; ++j) {
          levels[i + j] = powers ? shape.sustain + distance * powers[j + 1] : shape.sustain;
        }
        if (powers) level_ = shape.sustain + distance * powers[count];
        i += count;
        break;
      }
      case Stage::kRelease:
        while (i < levels.size() && stage_ == Stage::kRelease) {
          level_ -= releaseStep_;
          if (level_ <= 0) stop();
          levels[i++] = level_;
        }
        break;
    }
  }
}

VoiceSettings::VoiceSettings(uint32_t rate)
    : outputRate(rate),
      decayPowers(powersOfDecay(kToneDecaySeconds, rate)),
      brightnessPowers(powersOfDecay(kBrightnessSeconds, rate)) {
  const float attackStep = static_cast<float>(1.0 / (kAttackSeconds * rate));
  const int releaseSamples = std::max(1, static_cast<int>(kReleaseSeconds * rate));
  toneShape = {attackStep, decayPowers.data(), static_cast<float>(kToneSustain), releaseSamples};
  flatShape = {attackStep, nullptr, 1, releaseSamples};
  glideFactor = static_cast<float>(1 - std::exp(-1.0 / (kGlideSeconds * rate)));
}

double noteFrequency(int pitch, double detuneFactor) {
  return 440.0 * std::exp2((pitch - 69) / 12.0) * detuneFactor;
}

PartVoices::PartVoices(const VoiceSettings& settings, VoiceKind kind)
    : settings_(settings),
      kind_(kind),
      mono_(kVoiceBlock),
      left_(kVoiceBlock),
      right_(kVoiceBlock),
      levels_(kVoiceBlock) {
  updateTargets();
  gainLeft_ = targetLeft_;
  gainRight_ = targetRight_;
}

void PartVoices::setSample(const exports::PcmSample* sample, int rootNote) {
  if (kind_ == VoiceKind::kSquare) return;
  sample_ = sample && sample->frames() > 1 ? sample : nullptr;
  kind_ = sample_ ? VoiceKind::kSample : VoiceKind::kTone;
  rootFrequency_ = noteFrequency(rootNote, 1);
}

bool PartVoices::silent() const {
  return std::none_of(voices_.begin(), voices_.end(),
                      [](const Voice& v) { return v.envelope.active(); });
}

// A silent voice, else the quietest released one, else the quietest.
int PartVoices::freeVoice() const {
  int best = 0;
  auto rank = [](const Voice& v) { return v.envelope.level() + (v.pitch >= 0 ? 2.0f : 0.0f); };
  for (int i = 0; i < kVoices; ++i) {
    if (!voices_[i].envelope.active()) return i;
    if (rank(voices_[i]) < rank(voices_[best])) best = i;
  }
  return best;
}

void PartVoices::noteOn(int pitch, double frequency) {
  latest_ = freeVoice();
  Voice& voice = voices_[latest_];
  voice = Voice{};
  voice.kind = kind_;
  voice.sample = sample_;
  voice.brightness = 1;
  voice.pitch = pitch;
  tune(voice, frequency);
  voice.envelope.start();
}

void PartVoices::setFrequency(int pitch, double frequency) {
  if (latest_ < 0) return;
  voices_[latest_].pitch = pitch;
  tune(voices_[latest_], frequency);
}

void PartVoices::release(Voice& voice) {
  voice.envelope.release(voice.kind == VoiceKind::kTone ? settings_.toneShape
                                                        : settings_.flatShape);
  voice.pitch = -1;
}

void PartVoices::noteOff(int pitch) {
  for (int i = 0; i < kVoices; ++i) {
    if (voices_[i].pitch != pitch) continue;
    release(voices_[i]);
    if (i == latest_) latest_ = -1;
  }
}

void PartVoices::releaseAll() {
  for (Voice& voice : voices_) {
    if (voice.pitch >= 0) release(voice);
  }
  latest_ = -1;
}

void PartVoices::tune(Voice& voice, double frequency) const {
  if (voice.kind == VoiceKind::kSample) {
    const double step =
        voice.sample->rate / static_cast<double>(settings_.outputRate) * frequency / rootFrequency_;
    voice.increment = std::min(step, kMaxSampleStep);
    voice.muted = !(step > 0);
    return;
  }
  voice.increment = frequency / settings_.outputRate;
  voice.muted = !(voice.increment > 0 && voice.increment < VoiceTables::kHighestHarmonic);
  voice.toneStep = voice.muted ? 0 : static_cast<uint32_t>(std::ldexp(voice.increment, 32));
}

void PartVoices::setVolume(int volume) {
  volume_ = static_cast<float>(std::clamp(volume, 0, kMaxVolume)) / kMaxVolume;
  updateTargets();
}

// Pan as the FM chip's output bits have it: the centre plays at full level
// on both sides, and moving toward one side lowers the other one linearly
// until it is silent at 0 (full left) or 127 (full right).
void PartVoices::setPan(int pan) {
  pan = std::clamp(pan, 0, kMaxPan);
  panLeft_ = pan <= kCentrePan ? 1.0f : float(kMaxPan - pan) / (kMaxPan - kCentrePan);
  panRight_ = pan >= kCentrePan ? 1.0f : float(pan) / kCentrePan;
  updateTargets();
}

void PartVoices::updateTargets() {
  targetLeft_ = volume_ * panLeft_;
  targetRight_ = volume_ * panRight_;
}

void PartVoices::render(std::span<float> left, std::span<float> right) {
  for (size_t done = 0; done < left.size();) {
    const size_t n = std::min(kVoiceBlock, left.size() - done);
    std::fill_n(mono_.begin(), n, 0.0f);
    bool stereo = false;
    for (Voice& voice : voices_) {
      if (!voice.envelope.active()) continue;
      if (voice.kind == VoiceKind::kSample && voice.sample->stereo() && !stereo) {
        std::fill_n(left_.begin(), n, 0.0f);
        std::fill_n(right_.begin(), n, 0.0f);
        stereo = true;
      }
      renderVoice(voice, std::span(mono_.data(), n), std::span(left_.data(), n),
                  std::span(right_.data(), n));
    }
    mixInto(n, stereo, left.subspan(done, n), right.subspan(done, n));
    done += n;
  }
}

// Adds the block times the part's gains, which glide toward their targets.
void PartVoices::mixInto(size_t n, bool stereo, std::span<float> left, std::span<float> right) {
  constexpr float kSettled = 1e-5f;
  if (gainLeft_ == targetLeft_ && gainRight_ == targetRight_) {
    const float gl = gainLeft_, gr = gainRight_;
    for (size_t i = 0; i < n; ++i) {
      left[i] += (stereo ? mono_[i] + left_[i] : mono_[i]) * gl;
      right[i] += (stereo ? mono_[i] + right_[i] : mono_[i]) * gr;
    }
    return;
  }
  const float glide = settings_.glideFactor;
  for (size_t i = 0; i < n; ++i) {
    const float l = stereo ? mono_[i] + left_[i] : mono_[i];
    const float r = stereo ? mono_[i] + right_[i] : mono_[i];
    gainLeft_ += (targetLeft_ - gainLeft_) * glide;
    gainRight_ += (targetRight_ - gainRight_) * glide;
    left[i] += l * gainLeft_;
    right[i] += r * gainRight_;
  }
  if (std::abs(targetLeft_ - gainLeft_) < kSettled) gainLeft_ = targetLeft_;
  if (std::abs(targetRight_ - gainRight_) < kSettled) gainRight_ = targetRight_;
}

bool PartVoices::renderVoice(Voice& voice, std::span<float> mono, std::span<float> left,
                             std::span<float> right) {
  const Envelope::Shape& shape =
      voice.kind == VoiceKind::kTone ? settings_.toneShape : settings_.flatShape;
  std::span<float> levels(levels_.data(), mono.size());
  voice.envelope.fill(shape, levels);
  if (voice.muted) return false;
  switch (voice.kind) {
    case VoiceKind::kTone:
      renderTone(voice, mono);
      return false;
    case VoiceKind::kSquare:
      renderSquare(voice, mono);
      return false;
    case VoiceKind::kSample:
      if (voice.sample->stereo()) {
        renderSample(voice, left, right);
        return true;
      }
      renderSample(voice, mono, {});
      return false;
  }
  return false;
}

namespace {

// A one-cycle table of 2^kSizeBits entries (plus the repeated first) read at
// a 32-bit phase, interpolated linearly.
template <int kSizeBits>
struct TableReader {
  static constexpr int kFractionBits = 32 - kSizeBits;
  static constexpr float kFractionScale = 1.0f / (1u << kFractionBits);
  uint32_t at;
  float frac;
  explicit TableReader(uint32_t phase)
      : at(phase >> kFractionBits),
        frac(static_cast<float>(phase & ((1u << kFractionBits) - 1)) * kFractionScale) {}
  float operator()(const float* table) const {
    return table[at] + frac * (table[at + 1] - table[at]);
  }
};

using ToneReader = TableReader<11>;
static_assert(VoiceTables::kSize == 1u << 11);
using SquareReader = TableReader<12>;
static_assert(VoiceTables::kSquareSize == 1u << 12);

}  // namespace

void PartVoices::renderTone(Voice& voice, std::span<float> out) const {
  VoiceTables::Pair tables{};
  if (!settings_.tables.find(voice.increment, tables)) return;
  uint32_t phase = voice.tonePhase;
  const float brightness = voice.brightness;
  const float* decay = settings_.brightnessPowers.data();
  for (size_t i = 0; i < out.size(); ++i) {
    const ToneReader read(phase);
    out[i] += (read(tables.mellow) + brightness * decay[i] * read(tables.bright)) * levels_[i];
    phase += voice.toneStep;  // wraps around at a whole cycle
  }
  voice.tonePhase = phase;
  voice.brightness = brightness * decay[out.size()];
}

void PartVoices::renderSquare(Voice& voice, std::span<float> out) const {
  const float* table = settings_.tables.square(voice.increment);
  if (!table) return;
  uint32_t phase = voice.tonePhase;
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] += kSquareAmplitude * SquareReader(phase)(table) * levels_[i];
    phase += voice.toneStep;
  }
  voice.tonePhase = phase;
}

void PartVoices::renderSample(Voice& voice, std::span<float> left, std::span<float> right) const {
  const exports::PcmSample& s = *voice.sample;
  const size_t frames = s.frames();
  double pos = voice.phase;
  for (size_t i = 0; i < left.size(); ++i) {
    const size_t at = static_cast<size_t>(pos);
    if (at + 1 >= frames) {
      voice.envelope.stop();
      break;
    }
    const float frac = static_cast<float>(pos - static_cast<double>(at));
    left[i] += (s.left[at] + frac * (s.left[at + 1] - s.left[at])) * levels_[i];
    if (!right.empty())
      right[i] += (s.right[at] + frac * (s.right[at + 1] - s.right[at])) * levels_[i];
    pos += voice.increment;
  }
  voice.phase = pos;
}

}  // namespace tallow::render
