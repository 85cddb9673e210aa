// The sound of the compiled song for the page's player, in pieces: each call
// hands out at most the frames asked for, as floats in -1..1, so that the
// player can keep a buffer a fraction of a second ahead of the speakers.
//
// Invariants: the frames are those the WAV export (and krb2wav) writes for
// the same song, rate and parts, from `startFrame` on; the stream owns the
// bytes it plays, so the song may be compiled again while it lives.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/parts.h"
#include "output/krb_reader.h"
#include "render/render_song.h"

namespace tallow::web {

class SongStream {
 public:
  // Nothing, with a one-line reason, for a malformed file or a rate the
  // renderer does not take.
  static std::unique_ptr<SongStream> open(std::vector<uint8_t> krb, std::vector<uint8_t> bank,
                                          const std::string& sampleDir,
                                          const render::SongSettings& settings, std::string& error);
  ~SongStream();

  // Skips the frames before `frame` (they are rendered, not handed out).
  bool seek(uint64_t frame, std::string& error);
  // Renders up to `frames` frames into left() and right(); fewer at the end
  // of the song, 0 after it.  -1 with a reason when the song failed.
  long render(size_t frames, std::string& error);
  const std::vector<float>& left() const { return left_; }
  const std::vector<float>& right() const { return right_; }
  // Each part's level during the latest piece, for a meter: its measured
  // sound (RMS) from -60 dB (0) to full scale (1).
  const std::array<float, kPartCount>& levels() const { return pieceLevels_; }
  uint64_t position() const { return position_; }  // frames handed out or skipped

 private:
  class Queue;
  SongStream() = default;
  bool fill(size_t frames, std::string& error);
  void takeLevels(size_t frames);

  std::vector<uint8_t> krbBytes_, bank_;
  std::optional<KrbFile> krb_;
  std::unique_ptr<render::SampleBank> samples_;
  std::unique_ptr<Queue> queue_;
  std::unique_ptr<render::SongRender> song_;
  bool ended_ = false;
  uint64_t position_ = 0;
  std::vector<float> left_, right_;
  std::array<float, kPartCount> pieceLevels_{};
};

}  // namespace tallow::web
