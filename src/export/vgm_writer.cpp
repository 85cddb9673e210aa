// Writing VGM files from the driver model's chip writes.
#include "export/vgm_writer.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/utf8.h"

namespace tallow::playback {
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

void appendWait(std::vector<uint8_t>& out, uint64_t samples) {
  constexpr uint64_t kLongest = 0xFFFF;
  while (samples > 0) {
    uint64_t n = std::min(samples, kLongest);
    if (n <= 16) {
      out.push_back(static_cast<uint8_t>(kWaitShort + n - 1));
    } else if (n == 735) {
      out.push_back(kWait735);
    } else if (n == 882) {
      out.push_back(kWait882);
    } else {
      out.push_back(kWait);
      out.push_back(static_cast<uint8_t>(n & 0xFF));
      out.push_back(static_cast<uint8_t>(n >> 8));
    }
    samples -= n;
  }
}

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

std::vector<uint8_t> gd3(const VgmSong& song) {
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

}  // namespace

std::vector<uint8_t> buildVgm(const VgmSong& song) {
  std::vector<uint8_t> out(kHeaderSize, 0);
  std::copy_n("Vgm ", 4, out.begin());
  put32(out, kVersion, kVgmVersion);
  put32(out, kDataOffset, static_cast<uint32_t>(kHeaderSize - kDataOffset));
  put32(out, kYm2608Clock, kVgmChipClock);
  uint64_t at = 0;  // samples written
  std::optional<size_t> loopAt;
  auto markLoop = [&](Tick tick) {
    if (!song.loopStart || loopAt || tick < *song.loopStart) return;
    appendWait(out, ticksToSamples(*song.loopStart) - at);
    at = ticksToSamples(*song.loopStart);
    loopAt = out.size();
  };
  for (const ChipWrite& w : song.writes) {
    if (w.tick >= song.end) break;
    markLoop(w.tick);
    appendWait(out, ticksToSamples(w.tick) - at);
    at = ticksToSamples(w.tick);
    out.push_back(w.port == 0 ? kWritePort0 : kWritePort1);
    out.push_back(w.reg);
    out.push_back(w.value);
  }
  markLoop(song.end);
  uint64_t total = ticksToSamples(song.end);
  appendWait(out, total - at);
  out.push_back(kEndOfData);
  put32(out, kTotalSamples, static_cast<uint32_t>(total));
  if (loopAt) {
    put32(out, kLoopOffset, static_cast<uint32_t>(*loopAt - kLoopOffset));
    put32(out, kLoopSamples, static_cast<uint32_t>(total - ticksToSamples(*song.loopStart)));
  }
  put32(out, kGd3Offset, static_cast<uint32_t>(out.size() - kGd3Offset));
  std::vector<uint8_t> tag = gd3(song);
  out.insert(out.end(), tag.begin(), tag.end());
  put32(out, kEofOffset, static_cast<uint32_t>(out.size() - kEofOffset));
  return out;
}

namespace {

// The loop of the heard FM parts, when they agree on one.
std::optional<Tick> agreedLoop(const Summary& summary, const Options& options,
                               const std::array<std::optional<Tick>, kPartCount>& ends, Tick& end,
                               bool& disagree) {
  std::optional<Tick> start, length;
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

bool renderVgm(const KrbFile& krb, std::span<const uint8_t> bank, const Options& options,
               VgmResult& result, std::string& error) {
  Options fmOnly = options;
  fmOnly.tailSeconds = 0;
  Player player(krb, bank, fmOnly);
  VgmSong song;
  std::array<std::optional<Tick>, kPartCount> ends;
  Event e;
  while (player.next(e)) {
    if (e.kind == EventKind::kChipWrite) song.writes.push_back({e.tick, e.port, e.reg, e.value});
    if (e.kind == EventKind::kEnd) ends[e.part] = e.tick;
  }
  if (!player.error().empty()) {
    error = player.error();
    return false;
  }
  const Summary& summary = player.summary();
  for (int part = kFmPartCount; part < kPartCount; ++part) {
    result.otherNotes = result.otherNotes || summary.notes[part];
  }
  song.end = summary.stopTick;
  song.loopStart = agreedLoop(summary, options, ends, song.end, result.loopsDisagree);
  result.looped = song.loopStart.has_value();
  song.title = userTextToUtf8(krb.title);
  song.artist = userTextToUtf8(krb.artist);
  result.bytes = buildVgm(song);
  return true;
}

}  // namespace tallow::playback
