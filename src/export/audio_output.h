// Writing the rendered sound to a file: 16-bit stereo, streamed in blocks.
//
// The output is an OutputFile: "-" is standard output, a FIFO or device is
// written through, and any other path is written to a temporary file that
// commit() renames over it, so a failed or abandoned render leaves no
// partial file behind and any previous file intact.  A WAV file that cannot
// be rewritten at the end (a pipe) declares the sizes of a stream of
// unknown length.  WAV is always
// written by this code itself (same bytes in every build); FLAC and Ogg
// Vorbis need libsndfile, which the build uses when it is found
// (TALLOW_HAVE_SNDFILE).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/output_file.h"

namespace tallow::exports {

enum class AudioFormat { kWav, kFlac, kOgg };

// True when this build writes FLAC and Ogg and reads samples through
// libsndfile.
bool haveSndfile();

// The format named by the extension of `path` (any case).  Nothing, with a
// one-line reason in `error`, for an unknown extension or one that this build
// cannot write.
std::optional<AudioFormat> audioFormatFor(const std::string& path, std::string& error);

class AudioWriter {
 public:
  static constexpr int kChannels = 2;

  AudioWriter() = default;
  ~AudioWriter();  // abandons an uncommitted file
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  bool open(const std::string& path, AudioFormat format, uint32_t rate, std::string& error);
  // Appends interleaved stereo frames; false once any write has failed.
  bool write(std::span<const int16_t> interleaved);
  // Completes the file and puts it in place; false with a reason on failure.
  bool commit(std::string& error);
  // Removes the temporary file.
  void abandon();

 private:
  bool finishWav();
  bool finishSndfile();

  OutputFile file_;
  AudioFormat format_ = AudioFormat::kWav;
  uint32_t rate_ = 0;
  uint64_t frames_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> bytes_;
  void* sndfile_ = nullptr;  // SNDFILE* of libsndfile
};

}  // namespace tallow::exports
