// The renderer's core: takes the driver model's events in time order, sends
// FM writes to the FM sound and notes to the PCM and BEEP voices, and mixes
// both into 16-bit stereo frames for a sink.
//
// Invariants: frames are handed to the sink in order and exactly once; the
// FM sound and the voices are both advanced to an event's instant before the
// event is applied; only frames that both have produced are mixed.  The mix
// has a fixed headroom and no constant offset (a DC-blocking high-pass); a
// sample beyond full scale is clipped (and counted), never wrapped.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/parts.h"
#include "playback/playback.h"
#include "render/dc_blocker.h"
#include "render/fm_sound.h"
#include "render/frame_clock.h"
#include "render/sample_bank.h"
#include "render/voices.h"

namespace tallow::render {

// The pitch factor of a PCM or BEEP part's detune value.
double pcmDetuneFactor(int detune);

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Takes interleaved stereo frames; false when they could not be stored.
  virtual bool write(std::span<const int16_t> interleaved) = 0;
};

struct RenderSettings {
  uint32_t outputRate = 44100;
  int pcmRoot = 60;     // the note a sample plays at its own speed
  double dcCutoff = 5;  // Hz of the mix's DC-blocking high-pass; 0: none
  // Measure each part's output for takePartLevels (the sound is the same).
  bool meterParts = false;
};

struct RenderStats {
  uint64_t frames = 0;
  float peak = 0;                         // largest magnitude before clipping, 1 = full scale
  uint64_t clipped = 0;                   // samples beyond full scale
  std::array<bool, kPartCount> played{};  // parts that started a note that is heard
};

class Renderer {
 public:
  // `fm` may be null (no FM part sounds); `samples` may be empty.
  Renderer(const RenderSettings& settings, std::unique_ptr<FmSound> fm, SampleBank& samples,
           FrameSink& sink);

  // Renders up to the event's tick, then applies it.  False, with a reason,
  // when a sample file cannot be read or the sink fails.
  bool apply(const playback::Event& event, std::string& error);
  // The sound fades out from `start` over `seconds` and ends with the fade.
  void setFade(playback::Tick start, double seconds);
  // Renders up to `end` and hands out every frame before it.
  bool finish(playback::Tick end, std::string& error);
  // Renders up to `end`, then on while the notes released there die away:
  // until a stretch of the mix stays below -90 dBFS or `maxTailFrames`
  // frames more have been rendered.
  bool finishReleased(playback::Tick end, uint64_t maxTailFrames, std::string& error);

  const RenderStats& stats() const { return stats_; }
  bool sinkFailed() const { return sinkFailed_; }
  uint64_t frameAt(playback::Tick tick) const { return clock_.frameAt(tick); }
  // Each part's level (RMS, full scale 1, as mixed) over what was rendered
  // since the last call; zeros unless the settings ask for metering.
  std::array<float, kPartCount> takePartLevels();

 private:
  void renderVoices(uint64_t untilFrame);
  bool mix(size_t frames, std::string& error);
  bool advance(playback::Tick tick, std::string& error);
  bool applyVoiceEvent(const playback::Event& event, std::string& error);
  float fadeGain(uint64_t frame) const;
  void setEnd(uint64_t endFrame);
  // Returns the largest magnitude among the frames.
  float convert(std::span<const float> left, std::span<const float> right);

  RenderSettings settings_;
  FrameClock clock_;
  VoiceSettings voiceSettings_;
  std::unique_ptr<FmSound> fm_;
  SampleBank& samples_;
  FrameSink& sink_;
  std::vector<PartVoices> parts_;                // PCM1-PCM8 and BEEP
  std::array<double, kPartCount> partEnergy_{};  // metering: sums of squares
  uint64_t meteredFrames_ = 0;
  std::vector<float> meterLeft_, meterRight_;      // metering: the mix before a part
  std::vector<float> pendingLeft_, pendingRight_;  // voices, not yet mixed
  DcBlocker dcBlocker_;
  float lastPeak_ = 0;        // of the frames mixed last
  uint64_t voiceFrames_ = 0;  // frames the voices have rendered
  std::optional<uint64_t> fadeStart_;
  uint64_t fadeFrames_ = 0;
  uint64_t endFrame_ = UINT64_MAX;
  uint64_t rampStart_ = UINT64_MAX;  // the end's short fade to silence
  playback::Tick tick_ = 0;          // the time rendered up to
  std::vector<int16_t> out_;
  RenderStats stats_;
  bool sinkFailed_ = false;
};

}  // namespace tallow::render
