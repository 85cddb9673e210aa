// Helpers for the driver model's tests.
#include "support/playback_support.h"

#include <algorithm>

#include "output/fmb_format.h"
#include "output/krb_format.h"
#include "output/krb_reader.h"
#include "support/compile_helpers.h"
#include "support/temp_dir.h"

namespace tallow::testing {

std::vector<uint8_t> compileMml(std::string_view mml, std::string* messages) {
  TempDir dir;
  dir.write("song.mml", mml);
  DriverResult r = runProgram({dir.file("song.mml")});
  if (messages) *messages = r.out + r.err;
  if (r.status != 0) return {};
  std::string bytes = dir.read("SONG.KRB");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> makeKrb(const std::vector<std::vector<uint8_t>>& streams, int zenlen) {
  namespace k = krb_header;
  std::vector<uint8_t> file(k::kSize, 0);
  std::copy_n(kTagKr3, 3, file.begin());
  file[k::kPartCount] = kPartCount;
  file[k::kZenlen] = static_cast<uint8_t>(zenlen);
  file[k::kZenlen + 1] = static_cast<uint8_t>(zenlen >> 8);
  file[k::kStartEvent] = kEventStart;
  file[k::kStartEvent + 1] = 1;
  file[k::kStartEvent + 2] = 1;
  for (int part = 0; part < kPartCount; ++part) {
    std::vector<uint8_t> s =
        part < static_cast<int>(streams.size()) ? streams[part] : std::vector<uint8_t>{};
    s.push_back(kEventEnd);
    size_t offset = file.size() - (part == 0 ? k::kStartEventSize : 0);
    size_t length = s.size() + (part == 0 ? k::kStartEventSize : 0);
    size_t at = k::kPartTable + k::kPartEntrySize * part;
    for (int i = 0; i < 4; ++i) {
      file[at + i] = static_cast<uint8_t>(offset >> (8 * i));
      file[at + 4 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    file.insert(file.end(), s.begin(), s.end());
  }
  return file;
}

std::vector<uint8_t> makeBank(int index, const std::array<uint8_t, 48>& record) {
  std::vector<uint8_t> bank(kFmbFileSize, 0);
  std::copy(record.begin(), record.end(), bank.begin() + toneRecordOffset(index));
  return bank;
}

Played play(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& bank,
            playback::Options options) {
  Played result;
  std::string error;
  std::optional<KrbFile> krb = readKrb(bytes, error);
  if (!krb) {
    result.error = error;
    return result;
  }
  playback::Player player(*krb, bank, options);
  playback::Event e;
  while (player.next(e)) result.events.push_back(e);
  result.summary = player.summary();
  result.error = player.error();
  return result;
}

std::vector<playback::Event> writesOf(const std::vector<playback::Event>& events, int part) {
  return eventsOf(events, part, playback::EventKind::kChipWrite);
}

std::vector<playback::Event> eventsOf(const std::vector<playback::Event>& events, int part,
                                      playback::EventKind kind) {
  std::vector<playback::Event> out;
  for (const auto& e : events) {
    if (e.part == part && e.kind == kind) out.push_back(e);
  }
  return out;
}

}  // namespace tallow::testing
