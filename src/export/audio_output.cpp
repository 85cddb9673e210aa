// The output file: WAV written directly, FLAC and Ogg through libsndfile.
#include "export/audio_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/output_file.h"
#include "export/wav_file.h"

#ifdef TALLOW_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace tallow::exports {
namespace {

std::string lowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

#ifdef TALLOW_HAVE_SNDFILE
int sndfileFormat(AudioFormat format) {
  return format == AudioFormat::kFlac ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                      : SF_FORMAT_OGG | SF_FORMAT_VORBIS;
}
#endif

}  // namespace

bool haveSndfile() {
#ifdef TALLOW_HAVE_SNDFILE
  return true;
#else
  return false;
#endif
}

std::optional<AudioFormat> audioFormatFor(const std::string& path, std::string& error) {
  const std::string ext = lowerExtension(path);
  if (ext == "wav") return AudioFormat::kWav;
  // Standard output, a FIFO or a device without an extension takes WAV.
  struct stat st;
  if (ext.empty() && (path == "-" || (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
                                      !S_ISDIR(st.st_mode)))) {
    return AudioFormat::kWav;
  }
  if (ext == "flac" || ext == "ogg") {
    if (haveSndfile()) return ext == "flac" ? AudioFormat::kFlac : AudioFormat::kOgg;
    error = "." + ext + " output needs a build with libsndfile; use .wav";
    return std::nullopt;
  }
  error = haveSndfile() ? "the output file must end in .wav, .flac or .ogg"
                        : "the output file must end in .wav";
  return std::nullopt;
}

AudioWriter::~AudioWriter() { abandon(); }

bool AudioWriter::open(const std::string& path, AudioFormat format, uint32_t rate,
                       std::string& error) {
  abandon();
  format_ = format;
  rate_ = rate;
  frames_ = 0;
  failed_ = !file_.open(path);
  if (failed_) {
    error = "cannot create the output file";
    return false;
  }
  if (format == AudioFormat::kWav) {
    std::vector<uint8_t> header = wavHeader(rate, kChannels, 0);
    // An output that cannot be rewritten (a pipe) gets the sizes of a
    // stream of unknown length, as streamed WAV files have them.
    if (!file_.seekable()) {
      for (size_t at : {wav::kRiffSizeOffset, wav::kDataSizeOffset}) {
        std::fill_n(header.begin() + static_cast<std::ptrdiff_t>(at), 4, 0xFF);
      }
    }
    file_.write(header.data(), header.size());
  } else {
#ifdef TALLOW_HAVE_SNDFILE
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = kChannels;
    info.format = sndfileFormat(format);
    sndfile_ = sf_open_fd(file_.flushedFd(), SFM_WRITE, &info, SF_FALSE);
    failed_ = !sndfile_;
#else
    failed_ = true;
#endif
  }
  if (failed_) {
    error = "cannot write the output file";
    abandon();
    return false;
  }
  return true;
}

bool AudioWriter::write(std::span<const int16_t> interleaved) {
  if (failed_) return false;
  const size_t frames = interleaved.size() / kChannels;
  if (format_ == AudioFormat::kWav) {
    // WAV data is little-endian; store the samples byte by byte.
    bytes_.resize(interleaved.size() * 2);
    for (size_t i = 0; i < interleaved.size(); ++i) {
      const auto v = static_cast<uint16_t>(interleaved[i]);
      bytes_[2 * i] = static_cast<uint8_t>(v);
      bytes_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    file_.write(bytes_.data(), bytes_.size());
    failed_ = file_.failed();
#ifdef TALLOW_HAVE_SNDFILE
  } else if (sndfile_) {
    auto* sf = static_cast<SNDFILE*>(sndfile_);
    failed_ = sf_writef_short(sf, interleaved.data(), static_cast<sf_count_t>(frames)) !=
              static_cast<sf_count_t>(frames);
#endif
  } else {
    failed_ = true;
  }
  frames_ += frames;
  return !failed_;
}

bool AudioWriter::finishWav() {
  if (frames_ * kChannels * 2 > wav::kMaxDataBytes) return false;
  if (file_.seekable()) {
    const std::vector<uint8_t> header = wavHeader(rate_, kChannels, frames_);
    file_.patch(0, header.data(), header.size());
  }
  return !failed_;
}

bool AudioWriter::finishSndfile() {
#ifdef TALLOW_HAVE_SNDFILE
  const bool ok = sf_close(static_cast<SNDFILE*>(sndfile_)) == 0 && !failed_;
  sndfile_ = nullptr;
  return ok;
#else
  return false;
#endif
}

bool AudioWriter::commit(std::string& error) {
  bool ok = format_ == AudioFormat::kWav ? finishWav() : sndfile_ && finishSndfile();
  ok = file_.commit() && ok;
  if (!ok) {
    error = frames_ * kChannels * 2 > wav::kMaxDataBytes
                ? "the sound is longer than a WAV file can hold (4 GiB)"
                : "cannot write the output file";
    abandon();
    return false;
  }
  return true;
}

void AudioWriter::abandon() {
#ifdef TALLOW_HAVE_SNDFILE
  if (sndfile_) sf_close(static_cast<SNDFILE*>(sndfile_));
#endif
  sndfile_ = nullptr;
  file_.abandon();
}

}  // namespace tallow::exports
