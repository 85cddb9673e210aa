// Loading sample files for the PCM parts, lazily, by tone number.
#include "render/sample_bank.h"

#include <sys/stat.h>

#include <cstdint>

#include "base/files.h"
#include "export/audio_output.h"

#ifdef TALLOW_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace tallow::render {
namespace {

constexpr const char* kExtensions[] = {".wav", ".flac", ".ogg", ".aiff", ".aif"};

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<exports::PcmSample> loadWav(const std::string& path, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!readFilePrefix(path, SampleBank::kMaxFileBytes + 1, bytes)) {
    error = "cannot be read";
    return nullptr;
  }
  if (bytes.size() > SampleBank::kMaxFileBytes) {
    error = "is larger than 64 MiB";
    return nullptr;
  }
  auto sample = exports::parseWav(bytes, error);
  return sample ? std::make_unique<exports::PcmSample>(std::move(*sample)) : nullptr;
}

#ifdef TALLOW_HAVE_SNDFILE
std::unique_ptr<exports::PcmSample> loadSndfile(const std::string& path, std::string& error) {
  SF_INFO info{};
  SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
  if (!sf) {
    error = "is no sound file that can be read";
    return nullptr;
  }
  constexpr sf_count_t kMaxFrames = SampleBank::kMaxFileBytes / 2;
  if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0 || info.frames < 0 ||
      info.frames > kMaxFrames) {
    error = info.frames > kMaxFrames ? "is too long" : "is neither mono nor stereo";
    sf_close(sf);
    return nullptr;
  }
  std::vector<float> frames(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(sf, frames.data(), info.frames);
  sf_close(sf);
  auto sample = std::make_unique<exports::PcmSample>();
  sample->rate = static_cast<uint32_t>(info.samplerate);
  const size_t count = got > 0 ? static_cast<size_t>(got) : 0;
  sample->left.resize(count);
  if (info.channels == 2) sample->right.resize(count);
  for (size_t i = 0; i < count; ++i) {
    sample->left[i] = frames[i * info.channels];
    if (info.channels == 2) sample->right[i] = frames[i * 2 + 1];
  }
  return sample;
}
#endif

}  // namespace

// WAV files in 16-bit PCM are read by this code in every build, so that they
// sound the same with and without libsndfile; other files need libsndfile.
std::unique_ptr<exports::PcmSample> SampleBank::load(const std::string& path,
                                                     std::string& error) const {
  const bool isWav = path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
  if (isWav) {
    if (auto sample = loadWav(path, error)) return sample;
  }
#ifdef TALLOW_HAVE_SNDFILE
  error.clear();
  return loadSndfile(path, error);
#else
  return nullptr;
#endif
}

const exports::PcmSample* SampleBank::find(int tone, std::string& error) {
  if (directory_.empty()) return nullptr;
  auto it = cache_.find(tone);
  if (it != cache_.end()) return it->second.get();
  std::unique_ptr<exports::PcmSample> sample;
  const size_t extensions = exports::haveSndfile() ? std::size(kExtensions) : 1;
  for (size_t i = 0; i < extensions && !sample; ++i) {
    const std::string path = directory_ + "/" + std::to_string(tone) + kExtensions[i];
    if (!isRegularFile(path)) continue;
    sample = load(path, error);
    if (!sample) {
      error = path + " " + error;
      return nullptr;
    }
  }
  if (!sample) missing_.push_back(tone);
  return cache_.emplace(tone, std::move(sample)).first->second.get();
}

}  // namespace tallow::render
