// The piecewise song: the renderer's 16-bit frames wait in a queue until
// they are asked for; the model is stepped only while the queue holds fewer
// frames than asked.  The renderer hands its frames over in chunks of at
// most about 74 ms; each chunk is queued with the parts' levels measured
// while it was rendered.
#include "web/song_stream.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace tallow::web {

constexpr float kFullScale = 32768.0f;
// The output rates the renderer takes (those krb2wav's --rate accepts).
constexpr uint32_t kMinRate = 8000, kMaxRate = 192000;

class SongStream::Queue final : public render::FrameSink {
 public:
  using Levels = std::array<float, kPartCount>;
  explicit Queue(SongStream& owner) : owner_(owner) {}
  bool write(std::span<const int16_t> interleaved) override {
    samples.insert(samples.end(), interleaved.begin(), interleaved.end());
    if (owner_.song_) chunks_.push_back({interleaved.size() / 2, owner_.song_->takePartLevels()});
    return true;
  }
  size_t frames() const { return samples.size() / 2; }
  // Drops the first `frames` frames; the parts' highest levels among them.
  Levels take(size_t frames) {
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(2 * frames));
    Levels levels{};
    while (frames > 0 && !chunks_.empty()) {
      Chunk& c = chunks_.front();
      for (int part = 0; part < kPartCount; ++part) {
        levels[part] = std::max(levels[part], c.levels[part]);
      }
      size_t n = std::min(frames, c.frames);
      c.frames -= n;
      frames -= n;
      if (c.frames == 0) chunks_.pop_front();
    }
    return levels;
  }
  std::deque<int16_t> samples;  // interleaved stereo

 private:
  struct Chunk {
    size_t frames;  // not yet taken
    Levels levels;  // RMS, full scale 1
  };
  SongStream& owner_;
  std::deque<Chunk> chunks_;
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
  s->queue_ = std::make_unique<Queue>(*s);
  render::SongSettings metered = settings;
  metered.render.meterParts = true;
  s->song_ =
      std::make_unique<render::SongRender>(*s->krb_, s->bank_, metered, *s->samples_, *s->queue_);
  return s;
}

// Steps the model until `frames` frames wait or the song has ended.
bool SongStream::fill(size_t frames, std::string& error) {
  while (!ended_ && queue_->frames() < frames) {
    if (song_->step(error)) continue;
    ended_ = true;
    render::SongResult result;
    if (!song_->finish(result, error)) return false;
  }
  return true;
}

// Hands out `frames` frames' levels on the meter's scale: decibels from -60
// to 0 as 0 to 1.
void SongStream::takeLevels(size_t frames) {
  constexpr float kFloorDb = -60.0f;
  std::array<float, kPartCount> rms = queue_->take(frames);
  for (int part = 0; part < kPartCount; ++part) {
    float db = rms[part] > 0 ? 20.0f * std::log10(rms[part]) : kFloorDb;
    pieceLevels_[part] = std::clamp(1.0f - db / kFloorDb, 0.0f, 1.0f);
  }
}

bool SongStream::seek(uint64_t frame, std::string& error) {
  constexpr size_t kPiece = 1 << 16;
  while (position_ < frame) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(frame - position_, kPiece));
    if (!fill(want, error)) return false;
    size_t got = std::min(want, queue_->frames());
    if (got == 0) break;
    queue_->take(got);
    position_ += got;
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
  takeLevels(got);
  position_ += got;
  return static_cast<long>(got);
}

}  // namespace tallow::web
