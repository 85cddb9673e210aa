// Writing the WAV header and reading 16-bit PCM WAV sample files.
#include "export/wav_file.h"

#include <algorithm>
#include <cstring>

namespace tallow::exports {
namespace {

constexpr uint32_t kFmtChunkSize = 16;
constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kExtensibleSize = 40;   // the fmt chunk of the extensible format
constexpr size_t kSubFormatOffset = 24;  // within that chunk
constexpr uint32_t kMaxSampleRate = 1000000;

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

void putTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

uint32_t get16(std::span<const uint8_t> b, size_t at) { return b[at] | b[at + 1] << 8; }

uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return get16(b, at) | static_cast<uint32_t>(get16(b, at + 2)) << 16;
}

bool hasTag(std::span<const uint8_t> b, size_t at, const char* tag) {
  return std::memcmp(b.data() + at, tag, 4) == 0;
}

struct Format {
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint16_t bits = 0;
};

bool readFormat(std::span<const uint8_t> chunk, Format& format, std::string& error) {
  if (chunk.size() < kFmtChunkSize) {
    error = "the format chunk is too short";
    return false;
  }
  uint16_t tag = static_cast<uint16_t>(get16(chunk, 0));
  if (tag == wav::kFormatExtensible && chunk.size() >= kExtensibleSize) {
    tag = static_cast<uint16_t>(get16(chunk, kSubFormatOffset));
  }
  format.channels = static_cast<uint16_t>(get16(chunk, 2));
  format.rate = get32(chunk, 4);
  format.bits = static_cast<uint16_t>(get16(chunk, 14));
  if (tag != wav::kFormatPcm || format.bits != wav::kBitsPerSample) {
    error = "not 16-bit PCM";
  } else if (format.channels != 1 && format.channels != 2) {
    error = "neither mono nor stereo";
  } else if (format.rate == 0 || format.rate > kMaxSampleRate) {
    error = "the sample rate is out of range";
  }
  return error.empty();
}

PcmSample decode(std::span<const uint8_t> data, const Format& format) {
  PcmSample sample;
  sample.rate = format.rate;
  const size_t frameBytes = 2u * format.channels;
  const size_t frames = data.size() / frameBytes;
  sample.left.resize(frames);
  if (format.channels == 2) sample.right.resize(frames);
  constexpr float kScale = 1.0f / 32768.0f;
  for (size_t i = 0; i < frames; ++i) {
    const size_t at = i * frameBytes;
    sample.left[i] = static_cast<int16_t>(get16(data, at)) * kScale;
    if (format.channels == 2) sample.right[i] = static_cast<int16_t>(get16(data, at + 2)) * kScale;
  }
  return sample;
}

}  // namespace

std::vector<uint8_t> wavHeader(uint32_t rate, uint16_t channels, uint64_t frames) {
  const uint32_t blockAlign = channels * (wav::kBitsPerSample / 8);
  const uint64_t dataBytes = std::min<uint64_t>(frames * blockAlign, wav::kMaxDataBytes);
  std::vector<uint8_t> out;
  out.reserve(wav::kHeaderSize);
  putTag(out, "RIFF");
  put32(out, static_cast<uint32_t>(dataBytes + wav::kHeaderSize - kChunkHeaderSize));
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  put32(out, kFmtChunkSize);
  put16(out, wav::kFormatPcm);
  put16(out, channels);
  put32(out, rate);
  put32(out, rate * blockAlign);
  put16(out, blockAlign);
  put16(out, wav::kBitsPerSample);
  putTag(out, "data");
  put32(out, static_cast<uint32_t>(dataBytes));
  return out;
}

std::optional<PcmSample> parseWav(std::span<const uint8_t> bytes, std::string& error) {
  if (bytes.size() < kRiffHeaderSize || !hasTag(bytes, 0, "RIFF") || !hasTag(bytes, 8, "WAVE")) {
    error = "not a RIFF/WAVE file";
    return std::nullopt;
  }
  std::optional<Format> format;
  for (size_t at = kRiffHeaderSize; bytes.size() - at >= kChunkHeaderSize;) {
    const size_t size = get32(bytes, at + 4);
    const size_t body = at + kChunkHeaderSize;
    // A data chunk cut short by the end of the file is read as far as it goes.
    const size_t available = std::min(size, bytes.size() - body);
    auto chunk = bytes.subspan(body, available);
    if (hasTag(bytes, at, "fmt ")) {
      format.emplace();
      if (!readFormat(chunk, *format, error)) return std::nullopt;
    } else if (hasTag(bytes, at, "data")) {
      if (!format) break;
      return decode(chunk, *format);
    }
    if (available < size) break;
    at = body + size + (size & 1);  // chunks are padded to an even size
    if (at > bytes.size()) break;
  }
  error = format ? "no data chunk" : "no format chunk before the data";
  return std::nullopt;
}

}  // namespace tallow::exports
