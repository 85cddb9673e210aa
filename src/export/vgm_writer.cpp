// Writing VGM files from the driver model's chip writes.
#include "export/vgm_writer.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/utf8.h"

namespace tallow::exports {
namespace {

constexpr uint32_t kVgmVersion = 0x151;
constexpr size_t kHeaderSize = 0x80;
constexpr size_t kEofOffset = 0x04, kVersion = 0x08, kGd3Offset = 0x14, kTotalSamples = 0x18,
                 kLoopOffset = 0x1C, kLoopSamples = 0x20, kDataOffset = 0x34, kYm2608Clock = 0x48;
constexpr uint8_t kWritePort0 = 0x56, kWritePort1 = 0x57, kWait = 0x61, kWait735 = 0x62,
                  kWait882 = 0x63, kWaitShort = 0x70, kEndOfData = 0x66;
constexpr uint32_t kGd3Version = 0x100;
constexpr int kGd3Strings = 11;  // title, game, system, author (English, Japanese), date, by, notes

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void append32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The data part of the file (waits, writes, the loop point, the end mark),
// encoded as the writes come and handed to a sink in blocks.
class VgmData {
 public:
  VgmData(const VgmLayout& layout, ByteSink& sink) : layout_(layout), sink_(sink) {}

  void add(const ChipWrite& w) {
    if (w.tick >= layout_.end) return;
    markLoop(w.tick);
    waitUntil(w.tick);
    emit(w.port == 0 ? kWritePort0 : kWritePort1);
    emit(w.reg);
    emit(w.value);
  }

  // Waits to the end and marks it; returns the bytes of the data part.
  uint64_t finish() {
    markLoop(layout_.end);
    waitUntil(layout_.end);
    emit(kEndOfData);
    sink_.put(block_);
    block_.clear();
    return size_;
  }

  // Bytes of the data part before the loop point, when there is one.
  std::optional<uint64_t> loopAt() const { return loopAt_; }

 private:
  static constexpr size_t kBlock = 1 << 12;

  void emit(uint8_t byte) {
    block_.push_back(byte);
    ++size_;
    if (block_.size() == kBlock) {
      sink_.put(block_);
      block_.clear();
    }
  }

  void markLoop(playback::Tick tick) {
    if (!layout_.loopStart || loopAt_ || tick < *layout_.loopStart) return;
    waitUntil(*layout_.loopStart);
    loopAt_ = size_;
  }

  void waitUntil(playback::Tick tick) {
    constexpr uint64_t kLongest = 0xFFFF;
    uint64_t samples = ticksToSamples(tick) - at_;
    at_ = ticksToSamples(tick);
    while (samples > 0) {
      uint64_t n = std::min(samples, kLongest);
      if (n <= 16) {
        emit(static_cast<uint8_t>(kWaitShort + n - 1));
      } else if (n == 735) {
        emit(kWait735);
      } else if (n == 882) {
        emit(kWait882);
      } else {
        emit(kWait);
        emit(static_cast<uint8_t>(n & 0xFF));
        emit(static_cast<uint8_t>(n >> 8));
      }
      samples -= n;
    }
  }

  const VgmLayout& layout_;
  ByteSink& sink_;
  std::vector<uint8_t> block_;
  uint64_t size_ = 0;
  uint64_t at_ = 0;  // samples written
  std::optional<uint64_t> loopAt_;
};

// UTF-8 text (valid) as NUL-terminated UTF-16LE.
void appendUtf16(std::vector<uint8_t>& out, std::string_view text) {
  auto unit = [&out](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  for (size_t i = 0; i < text.size();) {
    size_t n = utf8SequenceLength(text.substr(i));
    if (n == 0) {  // not expected of converted text: skip the byte
      ++i;
      continue;
    }
    uint32_t cp = static_cast<uint8_t>(text[i]);
    if (n > 1) cp &= 0x3Fu >> (n - 1);
    for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<uint8_t>(text[i + k]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
    i += n;
  }
  unit(0);
}

std::vector<uint8_t> gd3(const VgmLayout& song) {
  std::vector<uint8_t> strings;
  const std::string_view fields[kGd3Strings] = {song.title,  song.title,  "", "",        "", "",
                                                song.artist, song.artist, "", "krb2vgm", ""};
  for (std::string_view field : fields) appendUtf16(strings, field);
  std::vector<uint8_t> out = {'G', 'd', '3', ' '};
  append32(out, kGd3Version);
  append32(out, static_cast<uint32_t>(strings.size()));
  out.insert(out.end(), strings.begin(), strings.end());
  return out;
}

std::vector<uint8_t> header(const VgmLayout& song, uint64_t dataBytes,
                            std::optional<uint64_t> loopAt, uint64_t tagBytes) {
  std::vector<uint8_t> out(kHeaderSize, 0);
  std::copy_n("Vgm ", 4, out.begin());
  put32(out, kVersion, kVgmVersion);
  put32(out, kDataOffset, static_cast<uint32_t>(kHeaderSize - kDataOffset));
  put32(out, kYm2608Clock, kVgmChipClock);
  uint64_t total = ticksToSamples(song.end);
  put32(out, kTotalSamples, static_cast<uint32_t>(total));
  if (loopAt) {
    put32(out, kLoopOffset, static_cast<uint32_t>(kHeaderSize + *loopAt - kLoopOffset));
    put32(out, kLoopSamples, static_cast<uint32_t>(total - ticksToSamples(*song.loopStart)));
  }
  put32(out, kGd3Offset, static_cast<uint32_t>(kHeaderSize + dataBytes - kGd3Offset));
  put32(out, kEofOffset, static_cast<uint32_t>(kHeaderSize + dataBytes + tagBytes - kEofOffset));
  return out;
}

// Writes the file whose writes `feed(VgmData&)` adds, twice in the same
// order: once to measure the data part, once into `out`.  False, with
// nothing written, when a pass fails or the file would pass 4 GiB.
template <typename Feed>
bool writeVgm(const VgmLayout& song, Feed feed, ByteSink& out, std::string& error) {
  CountingSink counter;
  VgmData measure(song, counter);
  if (!feed(measure)) return false;
  uint64_t dataBytes = measure.finish();
  std::vector<uint8_t> tag = gd3(song);
  if (kHeaderSize + dataBytes + tag.size() > kMaxVgmBytes) {
    error = "the VGM file would be larger than 4 GiB, more than its format can describe";
    return false;
  }
  out.put(header(song, dataBytes, measure.loopAt(), tag.size()));
  VgmData data(song, out);
  if (!feed(data)) return false;
  data.finish();
  out.put(tag);
  return true;
}

}  // namespace

std::vector<uint8_t> buildVgm(const VgmSong& song) {
  std::vector<uint8_t> out;
  VectorSink sink(out);
  std::string error;
  auto feed = [&song](VgmData& data) {
    for (const ChipWrite& w : song.writes) data.add(w);
    return true;
  };
  writeVgm(song, feed, sink, error);
  return out;
}

namespace {

// The loop of the heard FM parts, when they agree on one.
std::optional<playback::Tick> agreedLoop(
    const playback::Summary& summary, const playback::Options& options,
    const std::array<std::optional<playback::Tick>, kPartCount>& ends, playback::Tick& end,
    bool& disagree) {
  std::optional<playback::Tick> start, length;
  for (int part = 0; part < kFmPartCount; ++part) {
    if ((options.parts >> part & 1) == 0 || !summary.loopLength[part]) continue;
    if (start && (*start != *summary.loopStart[part] || *length != *summary.loopLength[part])) {
      disagree = true;
      return std::nullopt;
    }
    start = summary.loopStart[part];
    length = summary.loopLength[part];
  }
  if (!start || summary.capped) return std::nullopt;
  for (int part = 0; part < kFmPartCount; ++part) {
    if ((options.parts >> part & 1) == 0 || summary.loopLength[part]) continue;
    if (!ends[part] || *ends[part] > *start) {
      disagree = true;
      return std::nullopt;
    }
  }
  end = *start + *length;
  return start;
}

}  // namespace

bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
               ByteSink& out, VgmResult& result, std::string& error) {
  playback::Options fmOnly = options;
  fmOnly.tailSeconds = 0;
  auto feed = [&](VgmData& data) {
    playback::Player player(krb, bank, fmOnly);
    playback::Event e;
    while (player.next(e)) {
      if (e.kind == playback::EventKind::kChipWrite) data.add({e.tick, e.port, e.reg, e.value});
    }
    error = player.error();
    return error.empty();
  };
  playback::Player player(krb, bank, fmOnly);
  std::array<std::optional<playback::Tick>, kPartCount> ends;
  playback::Event e;
  while (player.next(e)) {
    if (e.kind == playback::EventKind::kEnd) ends[e.part] = e.tick;
  }
  if (!player.error().empty()) {
    error = player.error();
    return false;
  }
  const playback::Summary& summary = player.summary();
  for (int part = kFmPartCount; part < kPartCount; ++part) {
    result.otherNotes = result.otherNotes || summary.notes[part];
  }
  VgmLayout song;
  song.end = summary.stopTick;
  song.loopStart = agreedLoop(summary, options, ends, song.end, result.loopsDisagree);
  result.looped = song.loopStart.has_value();
  result.silentTone = summary.silentTone;
  song.title = userTextToUtf8(krb.title);
  song.artist = userTextToUtf8(krb.artist);
  return writeVgm(song, feed, out, error);
}

bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
               VgmResult& result, std::string& error) {
  VectorSink sink(result.bytes);
  return renderVgm(krb, bank, options, sink, result, error);
}

}  // namespace tallow::exports
