// The output file: WAV written directly, FLAC and Ogg through libsndfile.
#include "export/audio_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "export/wav_file.h"

#ifdef TALLOW_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace tallow::render {
namespace {

std::string lowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
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
  path_ = path;
  format_ = format;
  rate_ = rate;
  frames_ = 0;
  failed_ = false;
  tempPath_ = directoryOf(path) + ".krb2wav-XXXXXX";
  const int fd = ::mkstemp(tempPath_.data());
  if (fd < 0) {
    tempPath_.clear();
    error = "cannot create the output file";
    return false;
  }
  ::fchmod(fd, newFileMode());
  if (format == AudioFormat::kWav) {
    file_ = ::fdopen(fd, "wb");
    if (!file_) ::close(fd);
    const std::vector<uint8_t> header = wavHeader(rate, kChannels, 0);
    failed_ = !file_ || std::fwrite(header.data(), 1, header.size(), file_) != header.size();
  } else {
#ifdef TALLOW_HAVE_SNDFILE
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = kChannels;
    info.format = sndfileFormat(format);
    sndfile_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!sndfile_) ::close(fd);
    failed_ = !sndfile_;
#else
    ::close(fd);
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
  if (file_) {
    // WAV data is little-endian; store the samples byte by byte.
    bytes_.resize(interleaved.size() * 2);
    for (size_t i = 0; i < interleaved.size(); ++i) {
      const auto v = static_cast<uint16_t>(interleaved[i]);
      bytes_[2 * i] = static_cast<uint8_t>(v);
      bytes_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    failed_ = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size();
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
  const std::vector<uint8_t> header = wavHeader(rate_, kChannels, frames_);
  bool ok = !failed_ && frames_ * kChannels * 2 <= wav::kMaxDataBytes;
  ok = ok && std::fseek(file_, 0, SEEK_SET) == 0;
  ok = ok && std::fwrite(header.data(), 1, header.size(), file_) == header.size();
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
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
  bool ok = false;
  if (file_) {
    ok = finishWav();
  } else if (sndfile_) {
    ok = finishSndfile();
  }
  ok = ok && ::rename(tempPath_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    error = "cannot write the output file";
    abandon();
    return false;
  }
  tempPath_.clear();
  return true;
}

void AudioWriter::abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
#ifdef TALLOW_HAVE_SNDFILE
  if (sndfile_) sf_close(static_cast<SNDFILE*>(sndfile_));
#endif
  sndfile_ = nullptr;
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

}  // namespace tallow::render
