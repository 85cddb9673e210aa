// The loop from the driver model's events to the renderer, and where a song
// ends.
#include "render/render_song.h"

#include <optional>

#include "render/fm_sound.h"

namespace tallow::render {
namespace {

bool heard(const playback::Options& play, int part) { return play.parts >> part & 1; }

// True when a heard part entered an endless loop: the song never ends by
// itself and gets the fade.
bool loopsForever(const playback::Summary& summary, const playback::Options& play) {
  for (int part = 0; part < kPartCount; ++part) {
    if (heard(play, part) && summary.loopStart[part]) return true;
  }
  return false;
}

bool anyFmHeard(const playback::Options& play) {
  for (int part = 0; part < kFmPartCount; ++part) {
    if (heard(play, part)) return true;
  }
  return false;
}

// Frames that the releases after the song end at `end` may take: at most
// kReleaseTailSeconds, and not past the time cap.
uint64_t releaseTail(const Renderer& renderer, playback::Tick end, const SongSettings& settings) {
  const playback::Options& play = settings.play;
  const uint64_t endFrame = renderer.frameAt(end);
  const double rate = settings.render.outputRate;
  const uint64_t cap = static_cast<uint64_t>(play.maxSeconds * rate);
  const uint64_t tail = static_cast<uint64_t>(kReleaseTailSeconds * rate);
  return cap > endFrame ? std::min(tail, cap - endFrame) : 0;
}

bool fail(const Renderer& renderer, SongResult& result) {
  result.failure = renderer.sinkFailed() ? SongFailure::kOutput : SongFailure::kSample;
  return false;
}

}  // namespace

SongRender::SongRender(const KrbFile& krb, std::span<const uint8_t> bank,
                       const SongSettings& settings, SampleBank& samples, FrameSink& sink)
    : settings_(settings) {
  settings_.play.tailSeconds = settings.fadeSeconds;
  std::unique_ptr<FmSound> fm;
  if (settings.fmSound && anyFmHeard(settings_.play)) {
    fm = makeChipFmSound(settings.render.outputRate, settings.render.meterParts);
  }
  renderer_ = std::make_unique<Renderer>(settings.render, std::move(fm), samples, sink);
  player_ = std::make_unique<playback::Player>(krb, bank, settings_.play);
}

SongRender::~SongRender() = default;

// Once the model knows where the song ends: a song that loops forever fades
// out from there, any other stops there.
void SongRender::decideEnd(const playback::Summary& summary) {
  if (decided_ || !summary.songEnd) return;
  decided_ = true;
  faded_ = loopsForever(summary, settings_.play);
  if (faded_) {
    renderer_->setFade(*summary.songEnd, settings_.fadeSeconds);
  } else {
    stop_ = *summary.songEnd;
  }
}

bool SongRender::step(std::string& error, playback::Event* applied) {
  playback::Event event;
  if (failed_ || !player_->next(event)) return false;
  decideEnd(player_->summary());
  if (stop_ && event.tick > *stop_) return false;
  failed_ = !renderer_->apply(event, error);
  if (applied != nullptr) *applied = event;
  return !failed_;
}

bool SongRender::finish(SongResult& result, std::string& error) {
  if (failed_) return fail(*renderer_, result);
  if (!player_->error().empty()) {
    error = player_->error();
    result.failure = SongFailure::kKrb;
    return false;
  }
  const playback::Summary& summary = player_->summary();
  result.capped = summary.capped;
  result.silentTone = summary.silentTone;
  decideEnd(summary);
  result.faded = faded_;
  const bool ended = stop_ && !result.capped;
  if (!(ended ? renderer_->finishReleased(*stop_, releaseTail(*renderer_, *stop_, settings_), error)
              : renderer_->finish(stop_ ? *stop_ : summary.stopTick, error))) {
    return fail(*renderer_, result);
  }
  result.stats = renderer_->stats();
  return true;
}

bool renderSong(const KrbFile& krb, std::span<const uint8_t> bank, const SongSettings& settings,
                SampleBank& samples, FrameSink& sink, SongResult& result, std::string& error) {
  SongRender song(krb, bank, settings, samples, sink);
  while (song.step(error)) {}
  return song.finish(result, error);
}

}  // namespace tallow::render
