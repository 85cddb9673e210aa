// Rendering a whole song: the driver model's events through the renderer,
// with the song's end decided by the model: a song that loops forever plays
// its loops, then fades out while it plays on; any other song ends where its
// last part ends, followed by the releases of its last notes (until the mix
// is below -90 dBFS, at most kReleaseTailSeconds, within the time cap).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "output/krb_reader.h"
#include "playback/playback.h"
#include "render/renderer.h"
#include "render/sample_bank.h"

namespace tallow::render {

constexpr double kReleaseTailSeconds = 10;

struct SongSettings {
  RenderSettings render;
  playback::Options play;  // tailSeconds is set from fadeSeconds
  double fadeSeconds = 4;
  // False: the FM parts stay silent (no bank); the chip is not run at all.
  bool fmSound = true;
};

enum class SongFailure { kNone, kKrb, kSample, kOutput };

struct SongResult {
  SongFailure failure = SongFailure::kNone;  // what the error is about
  RenderStats stats;
  bool faded = false;   // the song loops: it ended with the fade
  bool capped = false;  // the time cap ended it
  std::array<std::optional<playback::SilentTone>, kPartCount> silentTone;  // of the model
};

// A song rendered one event of the driver model at a time, for a caller
// that wants the sound in pieces (a player that keeps a buffer filled).
// The frames handed to the sink are those renderSong hands out, in order.
class SongRender {
 public:
  // `krb`, `bank`, `samples` and `sink` must outlive the object.
  SongRender(const KrbFile& krb, std::span<const uint8_t> bank, const SongSettings& settings,
             SampleBank& samples, FrameSink& sink);
  ~SongRender();
  SongRender(const SongRender&) = delete;
  SongRender& operator=(const SongRender&) = delete;

  // Applies the next event (rendering up to its instant), copied to
  // `applied` when given.  False once the song has no more events or has
  // failed; then call finish().
  bool step(std::string& error, playback::Event* applied = nullptr);
  // The output frame of an instant of the song.
  uint64_t frameAt(playback::Tick tick) const { return renderer_->frameAt(tick); }
  // Renderer::takePartLevels.
  std::array<float, kPartCount> takePartLevels() { return renderer_->takePartLevels(); }
  // Renders the rest up to the song's end and fills `result`.  False, with
  // a one-line reason, when the song failed.
  bool finish(SongResult& result, std::string& error);

 private:
  void decideEnd(const playback::Summary& summary);

  SongSettings settings_;
  std::unique_ptr<Renderer> renderer_;
  std::unique_ptr<playback::Player> player_;
  std::optional<playback::Tick> stop_;  // the end of a song that does not loop
  bool decided_ = false;
  bool faded_ = false;
  bool failed_ = false;
};

// Renders `krb` with `bank` (FMB bytes, or empty for the model's default
// tone) into `sink`.  False, with a one-line reason, for a malformed file, a
// sample that cannot be read, or a sink that fails.
bool renderSong(const KrbFile& krb, std::span<const uint8_t> bank, const SongSettings& settings,
                SampleBank& samples, FrameSink& sink, SongResult& result, std::string& error);

}  // namespace tallow::render
