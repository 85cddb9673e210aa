// The renderer's core: event dispatch, advancing time in bounded chunks,
// mixing with headroom, the DC-blocking high-pass, the fade, the end after
// the last releases and the 16-bit conversion.
#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallow::render {
namespace {

using playback::Event;
using playback::EventKind;
using playback::Tick;

// Mix levels: a PCM or BEEP part at full volume peaks at an eighth of full
// scale, -18 dBFS; one full-level FM carrier at a tenth (a quarter of the
// chip's full scale times 0.4), so that six FM channels of two full-level
// carriers each cannot clip even in phase, and a song with all fifteen parts
// loud at once keeps clear of clipping.
constexpr float kFmGain = 0.4f;
constexpr float kVoiceGain = 0.125f;
// The end of a song waits for its releases until the mix stays below this
// (-90 dBFS) for a whole stretch of kTailChunk frames.
constexpr float kSilence = 3.1623e-5f;
constexpr size_t kTailChunk = 1024;
constexpr double kEndRampSeconds = 0.005;  // the last frames fade to silence: no click
constexpr Tick kChunkTicks = 4096;         // about 74 ms: bounds the buffers
constexpr int kDetuneOctave = 1024;        // PCM and BEEP detune units per octave
// A KRB file stores tone numbers from 0, for "@1" up with the default start
// number (".vstart 1"); samples are named by the number as written in MML.
constexpr int kToneNumberBase = 1;

bool isVoicePart(int part) { return part >= kFirstPcmPart && part < kPartCount; }

}  // namespace

// The pitch factor of a PCM or BEEP detune: 1024 units are an octave up
// (factor 1 + v / 1024), and negative values mirror it (1 / (1 - v / 1024)).
double pcmDetuneFactor(int detune) {
  return detune >= 0 ? 1.0 + detune / double(kDetuneOctave)
                     : 1.0 / (1.0 - detune / double(kDetuneOctave));
}

Renderer::Renderer(const RenderSettings& settings, std::unique_ptr<FmSound> fm, SampleBank& samples,
                   FrameSink& sink)
    : settings_(settings),
      clock_(settings.outputRate, 1),
      voiceSettings_(settings.outputRate),
      fm_(std::move(fm)),
      samples_(samples),
      sink_(sink),
      dcBlocker_(settings.dcCutoff, settings.outputRate) {
  for (int part = kFirstPcmPart; part < kPartCount; ++part) {
    parts_.emplace_back(voiceSettings_, part == kBeepPart ? VoiceKind::kSquare : VoiceKind::kTone);
  }
}

bool Renderer::apply(const Event& event, std::string& error) {
  if (!advance(event.tick, error)) return false;
  // A part counts as played when it started a note that can be heard.
  if (event.kind == EventKind::kNoteOn && event.part < kPartCount &&
      (fm_ || !isFmPart(event.part))) {
    stats_.played[event.part] = true;
  }
  if (event.kind == EventKind::kChipWrite) {
    if (fm_) fm_->write(event.port, event.reg, event.value);
    return true;
  }
  return isVoicePart(event.part) ? applyVoiceEvent(event, error) : true;
}

bool Renderer::applyVoiceEvent(const Event& event, std::string& error) {
  PartVoices& voices = parts_[event.part - kFirstPcmPart];
  const double frequency = noteFrequency(event.pitch, pcmDetuneFactor(event.detune));
  switch (event.kind) {
    case EventKind::kNoteOn:
      voices.noteOn(event.pitch, frequency);
      break;
    case EventKind::kPitch:
      voices.setFrequency(event.pitch, frequency);
      break;
    case EventKind::kNoteOff:
      voices.noteOff(event.pitch);
      break;
    case EventKind::kEnd:
      voices.releaseAll();
      break;
    case EventKind::kVolume:
      voices.setVolume(event.amount);
      break;
    case EventKind::kPan:
      voices.setPan(event.amount);
      break;
    case EventKind::kTone:
      if (isPcmPart(event.part) && !samples_.empty()) {
        const exports::PcmSample* sample = samples_.find(event.amount + kToneNumberBase, error);
        if (!error.empty()) return false;
        voices.setSample(sample, settings_.pcmRoot);
      }
      break;
    default:
      break;
  }
  return true;
}

void Renderer::setFade(Tick start, double seconds) {
  fadeStart_ = clock_.frameAt(start);
  fadeFrames_ = static_cast<uint64_t>(std::max(0.0, seconds) * settings_.outputRate);
  endFrame_ = std::min(endFrame_, *fadeStart_ + fadeFrames_);
}

bool Renderer::advance(Tick tick, std::string& error) {
  while (clock_.frameAt(tick_) < endFrame_) {
    const Tick step = std::min(tick, tick_ + kChunkTicks);
    renderVoices(std::min(clock_.frameAt(step), endFrame_));
    size_t frames = pendingLeft_.size();
    if (fm_) {
      fm_->advanceTo(step);
      frames = std::min(frames, fm_->ready());
    }
    if (!mix(frames, error)) return false;
    tick_ = std::max(tick_, step);
    if (step >= tick) break;
  }
  return true;
}

// The render ends at `endFrame` (at least where it is), its last few
// milliseconds fading to silence.
void Renderer::setEnd(uint64_t endFrame) {
  endFrame_ = std::max(endFrame, stats_.frames);
  const uint64_t ramp = static_cast<uint64_t>(kEndRampSeconds * settings_.outputRate);
  rampStart_ = std::max(stats_.frames, endFrame_ > ramp ? endFrame_ - ramp : 0);
}

bool Renderer::finish(Tick end, std::string& error) {
  uint64_t last = clock_.frameAt(end);
  if (fadeStart_) last = std::min(last, *fadeStart_ + fadeFrames_);
  setEnd(last);
  if (!advance(end, error)) return false;
  renderVoices(endFrame_);
  if (fm_) fm_->extend(pendingLeft_.size());
  return mix(pendingLeft_.size(), error);
}

bool Renderer::finishReleased(Tick end, uint64_t maxTailFrames, std::string& error) {
  const uint64_t songEnd = clock_.frameAt(end);
  setEnd(songEnd + maxTailFrames);
  if (!advance(end, error)) return false;
  while (stats_.frames < endFrame_) {
    const uint64_t until = std::min(endFrame_, stats_.frames + kTailChunk);
    renderVoices(until);
    const size_t frames = static_cast<size_t>(until - stats_.frames);
    if (fm_) fm_->extend(frames);
    if (!mix(frames, error)) return false;
    if (stats_.frames >= songEnd + kTailChunk && lastPeak_ < kSilence) break;
  }
  return true;
}

void Renderer::renderVoices(uint64_t untilFrame) {
  if (untilFrame <= voiceFrames_) return;
  const size_t start = pendingLeft_.size();
  const size_t count = static_cast<size_t>(untilFrame - voiceFrames_);
  pendingLeft_.resize(start + count, 0.0f);
  pendingRight_.resize(start + count, 0.0f);
  for (PartVoices& voices : parts_) {
    if (voices.silent()) continue;
    voices.render(std::span(pendingLeft_).subspan(start), std::span(pendingRight_).subspan(start));
  }
  voiceFrames_ = untilFrame;
}

float Renderer::fadeGain(uint64_t frame) const {
  float gain = 1;
  if (fadeStart_ && frame >= *fadeStart_) {
    const uint64_t into = frame - *fadeStart_;
    if (into >= fadeFrames_) return 0;
    gain = static_cast<float>(0.5 * (1 + std::cos(std::numbers::pi * into / fadeFrames_)));
  }
  if (frame >= rampStart_ && endFrame_ > rampStart_) {
    gain *= static_cast<float>(endFrame_ - frame) / static_cast<float>(endFrame_ - rampStart_);
  }
  return gain;
}

// 16-bit samples, rounded half away from zero; beyond full scale clipped
// (and counted), never wrapped.  Written without branches so that it runs
// on whole vectors.
float Renderer::convert(std::span<const float> left, std::span<const float> right) {
  out_.resize(left.size() * 2);
  float peak = 0;
  uint64_t clipped = 0;
  auto convertOne = [&](float value) {
    const float magnitude = std::abs(value);
    peak = std::max(peak, magnitude);
    clipped += magnitude > 1.0f;
    const float scaled = std::clamp(value, -1.0f, 1.0f) * 32767.0f;
    return static_cast<int16_t>(scaled + (scaled >= 0 ? 0.5f : -0.5f));
  };
  for (size_t i = 0; i < left.size(); ++i) {
    out_[2 * i] = convertOne(left[i]);
    out_[2 * i + 1] = convertOne(right[i]);
  }
  stats_.peak = std::max(stats_.peak, peak);
  stats_.clipped += clipped;
  return peak;
}

bool Renderer::mix(size_t frames, std::string& error) {
  if (frames == 0) return true;
  std::span<float> left(pendingLeft_.data(), frames), right(pendingRight_.data(), frames);
  for (size_t i = 0; i < frames; ++i) {
    left[i] *= kVoiceGain;
    right[i] *= kVoiceGain;
  }
  if (fm_) fm_->take(left, right, kFmGain);
  dcBlocker_.process(left, right);
  const uint64_t first = stats_.frames;
  const bool fading = (fadeStart_ && first + frames > *fadeStart_) || first + frames > rampStart_;
  if (fading) {
    for (size_t i = 0; i < frames; ++i) {
      const float gain = fadeGain(first + i);
      left[i] *= gain;
      right[i] *= gain;
    }
  }
  lastPeak_ = convert(left, right);
  pendingLeft_.erase(pendingLeft_.begin(), pendingLeft_.begin() + static_cast<ptrdiff_t>(frames));
  pendingRight_.erase(pendingRight_.begin(),
                      pendingRight_.begin() + static_cast<ptrdiff_t>(frames));
  stats_.frames += frames;
  if (!sink_.write(out_)) {
    sinkFailed_ = true;
    error = "cannot write the output file";
    return false;
  }
  return true;
}

}  // namespace tallow::render
