// The piecewise song: the renderer's 16-bit frames wait in a queue until
// they are asked for; the model is stepped only while the queue holds fewer
// frames than asked.
#include "web/song_stream.h"

#include <algorithm>

namespace tallow::web {

constexpr float kFullScale = 32768.0f;
// The output rates the renderer takes (those krb2wav's --rate accepts).
constexpr uint32_t kMinRate = 8000, kMaxRate = 192000;

class SongStream::Queue final : public render::FrameSink {
 public:
  bool write(std::span<const int16_t> interleaved) override {
    samples.insert(samples.end(), interleaved.begin(), interleaved.end());
    return true;
  }
  size_t frames() const { return samples.size() / 2; }
  std::deque<int16_t> samples;  // interleaved stereo
};

SongStream::~SongStream() = default;

std::unique_ptr<SongStream> SongStream::open(std::vector<uint8_t> krb, std::vector<uint8_t> bank,
                                             const std::string& sampleDir,
                                             const render::SongSettings& settings,
                                             std::string& error) {
  if (settings.render.outputRate < kMinRate || settings.render.outputRate > kMaxRate) {
    error = "the sound cannot be rendered at " + std::to_string(settings.render.outputRate) + " Hz";
    return nullptr;
  }
  std::unique_ptr<SongStream> s(new SongStream());
  s->krbBytes_ = std::move(krb);
  s->bank_ = std::move(bank);
  s->krb_ = readKrb(s->krbBytes_, error);
  if (!s->krb_) return nullptr;
  s->samples_ = std::make_unique<render::SampleBank>(sampleDir);
  s->queue_ = std::make_unique<Queue>();
  s->song_ =
      std::make_unique<render::SongRender>(*s->krb_, s->bank_, settings, *s->samples_, *s->queue_);
  return s;
}

// Steps the model until `frames` frames wait or the song has ended.
bool SongStream::fill(size_t frames, std::string& error) {
  playback::Event event;
  while (!ended_ && queue_->frames() < frames) {
    if (song_->step(error, &event)) {
      noteEvent(event);
      continue;
    }
    ended_ = true;
    render::SongResult result;
    if (!song_->finish(result, error)) return false;
  }
  return true;
}

// Notes on and off and volume changes become level changes at their frame.
void SongStream::noteEvent(const playback::Event& event) {
  const int part = event.part;
  if (part >= kPartCount) return;
  if (event.kind == playback::EventKind::kNoteOn) {
    sounding_[part] = true;
  } else if (event.kind == playback::EventKind::kNoteOff) {
    sounding_[part] = false;
  } else if (event.kind == playback::EventKind::kVolume) {
    volume_[part] = event.amount / 127.0f;
  } else {
    return;
  }
  float level = sounding_[part] ? volume_[part] : 0.0f;
  changes_.push_back({song_->frameAt(event.tick), static_cast<uint8_t>(part), level});
}

// The levels of the frames before `until`: where each part stood at the
// start of the piece, raised by every change within it.
void SongStream::takeLevels(uint64_t until) {
  pieceLevels_ = level_;
  while (!changes_.empty() && changes_.front().frame < until) {
    const LevelChange& c = changes_.front();
    level_[c.part] = c.level;
    pieceLevels_[c.part] = std::max(pieceLevels_[c.part], c.level);
    changes_.pop_front();
  }
}

bool SongStream::seek(uint64_t frame, std::string& error) {
  constexpr size_t kPiece = 1 << 16;
  while (position_ < frame) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(frame - position_, kPiece));
    if (!fill(want, error)) return false;
    size_t got = std::min(want, queue_->frames());
    if (got == 0) break;
    queue_->samples.erase(queue_->samples.begin(), queue_->samples.begin() + 2 * got);
    position_ += got;
    takeLevels(position_);
  }
  return true;
}

long SongStream::render(size_t frames, std::string& error) {
  if (!fill(frames, error)) return -1;
  size_t got = std::min(frames, queue_->frames());
  left_.resize(got);
  right_.resize(got);
  auto& q = queue_->samples;
  for (size_t i = 0; i < got; ++i) {
    left_[i] = q[2 * i] / kFullScale;
    right_[i] = q[2 * i + 1] / kFullScale;
  }
  q.erase(q.begin(), q.begin() + 2 * got);
  position_ += got;
  takeLevels(position_);
  return static_cast<long>(got);
}

}  // namespace tallow::web
