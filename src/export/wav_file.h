// The RIFF/WAVE container for 16-bit PCM: the 44-byte header the renderer
// writes, and a reader for the sample files the PCM parts may play.
//
// Written files are always plain PCM (format tag 1), 16 bits, little-endian,
// with the sizes of the RIFF and data chunks filled in once the length is
// known.  The reader accepts 16-bit PCM in format 1 or in the extensible
// format with a PCM sub-format, mono or stereo, at any rate, and skips
// chunks it does not know; anything else is refused with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tallow::exports {

namespace wav {
constexpr size_t kHeaderSize = 44;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kBitsPerSample = 16;
constexpr size_t kRiffSizeOffset = 4;
constexpr size_t kDataSizeOffset = 40;
// The largest data chunk a RIFF file can describe.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderSize - 8);
}  // namespace wav

// The header of a 16-bit PCM file of `frames` frames.
std::vector<uint8_t> wavHeader(uint32_t rate, uint16_t channels, uint64_t frames);

// Sample frames as floats in -1..1 at their own rate.  A mono sample has
// `right` empty.
struct PcmSample {
  uint32_t rate = 0;
  std::vector<float> left;
  std::vector<float> right;

  bool stereo() const { return !right.empty(); }
  size_t frames() const { return left.size(); }
};

// Decodes a 16-bit PCM WAV file.  On failure returns nothing and sets
// `error` to a one-line reason.
std::optional<PcmSample> parseWav(std::span<const uint8_t> bytes, std::string& error);

}  // namespace tallow::exports
