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

bool renderSong(const KrbFile& krb, std::span<const uint8_t> bank, const SongSettings& settings,
                SampleBank& samples, FrameSink& sink, SongResult& result, std::string& error) {
  playback::Options play = settings.play;
  play.tailSeconds = settings.fadeSeconds;
  std::unique_ptr<FmSound> fm;
  if (settings.fmSound && anyFmHeard(play)) fm = makeChipFmSound(settings.render.outputRate);
  Renderer renderer(settings.render, std::move(fm), samples, sink);
  playback::Player player(krb, bank, play);
  std::optional<playback::Tick> stop;  // the end of a song that does not loop
  bool decided = false;
  playback::Event event;
  while (player.next(event)) {
    const playback::Summary& summary = player.summary();
    if (!decided && summary.songEnd) {
      decided = true;
      result.faded = loopsForever(summary, play);
      if (result.faded) {
        renderer.setFade(*summary.songEnd, settings.fadeSeconds);
      } else {
        stop = *summary.songEnd;
      }
    }
    if (stop && event.tick > *stop) break;
    if (!renderer.apply(event, error)) return fail(renderer, result);
  }
  if (!player.error().empty()) {
    error = player.error();
    result.failure = SongFailure::kKrb;
    return false;
  }
  const playback::Summary& summary = player.summary();
  result.capped = summary.capped;
  result.silentTone = summary.silentTone;
  if (!decided && summary.songEnd) {
    result.faded = loopsForever(summary, play);
    if (result.faded) {
      renderer.setFade(*summary.songEnd, settings.fadeSeconds);
    } else {
      stop = *summary.songEnd;
    }
  }
  const bool ended = stop && !result.capped;
  if (!(ended ? renderer.finishReleased(*stop, releaseTail(renderer, *stop, settings), error)
              : renderer.finish(stop ? *stop : summary.stopTick, error))) {
    return fail(renderer, result);
  }
  result.stats = renderer.stats();
  return true;
}

}  // namespace tallow::render
