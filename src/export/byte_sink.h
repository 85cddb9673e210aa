// Where the export writers put their bytes, as they make them: a tool's
// output file, a vector (tests, fuzzing), a counter (a pass that only
// measures), or a scratch file that holds one MIDI track until its length
// is known.  No sink keeps more than a fixed buffer in memory but the
// vector.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/output_file.h"

namespace tallow::exports {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void put(std::span<const uint8_t> bytes) = 0;
  void put(std::initializer_list<uint8_t> bytes) { put(std::span(bytes.begin(), bytes.size())); }
};

class VectorSink final : public ByteSink {
 public:
  explicit VectorSink(std::vector<uint8_t>& out) : out_(out) {}
  void put(std::span<const uint8_t> bytes) override {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }

 private:
  std::vector<uint8_t>& out_;
};

class CountingSink final : public ByteSink {
 public:
  void put(std::span<const uint8_t> bytes) override { count_ += bytes.size(); }
  uint64_t count() const { return count_; }

 private:
  uint64_t count_ = 0;
};

class OutputSink final : public ByteSink {
 public:
  explicit OutputSink(OutputFile& file) : file_(file) {}
  void put(std::span<const uint8_t> bytes) override { file_.write(bytes.data(), bytes.size()); }

 private:
  OutputFile& file_;
};

// A file without a name in $TMPDIR (or /tmp): gone when closed, whatever
// ends the process.  Buffered; copyTo() hands its bytes to another sink.
class ScratchFile final : public ByteSink {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool create();
  void put(std::span<const uint8_t> bytes) override;
  uint64_t size() const { return size_; }
  // False when a write or a read of the scratch file failed.
  bool copyTo(ByteSink& out);

 private:
  bool flush();

  int fd_ = -1;
  bool failed_ = false;
  uint64_t size_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace tallow::exports
