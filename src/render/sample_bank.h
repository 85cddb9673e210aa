// The samples that PCM parts play when a sample directory is given: tone N
// ("@N" in MML) is the file N.wav in that directory (with libsndfile also N.flac, N.ogg,
// N.aiff, in any format it reads).  Files are loaded on first use and kept.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/wav_file.h"

namespace tallow::render {

class SampleBank {
 public:
  // The most bytes one sample file may hold.
  static constexpr size_t kMaxFileBytes = 64u << 20;

  SampleBank() = default;
  explicit SampleBank(std::string directory) : directory_(std::move(directory)) {}

  bool empty() const { return directory_.empty(); }

  // The sample of `tone`; nullptr when the directory has none for it (the
  // tone is then recorded in missingTones()).  A file that exists but cannot
  // be read sets `error` and returns nullptr.
  const exports::PcmSample* find(int tone, std::string& error);

  // The tones asked for that had no file, in the order first asked.
  const std::vector<int>& missingTones() const { return missing_; }

 private:
  std::unique_ptr<exports::PcmSample> load(const std::string& path, std::string& error) const;

  std::string directory_;
  std::map<int, std::unique_ptr<exports::PcmSample>> cache_;
  std::vector<int> missing_;
};

}  // namespace tallow::render
