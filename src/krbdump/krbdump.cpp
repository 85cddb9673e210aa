// The KRB listing used by the krbdump tool and by tests for readable diffs.
// It walks each part's stream with the event length table; positions are
// counted along the stream as written (a driver loop's body once).
#include "krbdump/krbdump.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "output/krb_format.h"
#include "playback/playback.h"

namespace tallow {
namespace {

constexpr const char* kNoteNames[12] = {"c",  "c+", "d",  "d+", "e",  "f",
                                        "f+", "g",  "g+", "a",  "a+", "b"};
constexpr int kTimerBase = 1024;
constexpr double kTickSeconds = 18e-6;

std::string hex(const uint8_t* bytes, size_t count) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
    out += buf;
  }
  return out;
}

int word(const uint8_t* e, size_t at) { return e[at] | e[at + 1] << 8; }

// How many times a driver loop with repeat byte `r` plays.
std::string plays(int r) {
  char buf[32];
  std::snprintf(buf, sizeof buf, r == 0 ? "plays forever" : "plays %d times", r + 1);
  return buf;
}

// The repeat bytes of the driver loops, by the offset of their start event:
// each loop start is matched with the loop end that closes it.
std::vector<int> loopCounts(std::span<const uint8_t> s) {
  std::vector<int> counts(s.size(), -1);
  std::vector<size_t> open;
  for (size_t at = 0; at < s.size();) {
    uint8_t code = s[at];
    size_t count = code == kEventEnd ? 1 : kEventLength[code];
    if (count == 0 || count > s.size() - at) break;
    if (code == kEventLoopStart) open.push_back(at);
    if (code == kEventLoopEnd && !open.empty()) {
      counts[open.back()] = s[at + 1];
      open.pop_back();
    }
    at += count;
  }
  return counts;
}

// The decoded operands of an event of `count` bytes; `zenlen` for tempos,
// `loopCount` the repeat byte of a loop start (-1: not closed).
std::string operands(const uint8_t* e, size_t count, int zenlen, int loopCount) {
  char buf[96] = "";
  if (e[0] < kFirstCommandCode) {
    std::snprintf(buf, sizeof buf, "o%d%s %d", e[0] / 12 - 1, kNoteNames[e[0] % 12], word(e, 1));
  } else if (e[0] == kEventDetune) {
    std::snprintf(buf, sizeof buf, "%d", static_cast<int16_t>(word(e, 1)));
  } else if (e[0] == kEventTempo) {
    std::snprintf(buf, sizeof buf, "%d (%.1f BPM)", word(e, 1), beatsPerMinute(word(e, 1), zenlen));
  } else if (e[0] == kEventRest) {
    std::snprintf(buf, sizeof buf, "%d", word(e, 1));
  } else if (e[0] == kEventLoopStart) {
    std::snprintf(buf, sizeof buf, "(%s)", loopCount < 0 ? "not closed" : plays(loopCount).c_str());
  } else if (e[0] == kEventLoopEnd) {
    std::snprintf(buf, sizeof buf, "%d (%s)", e[1], plays(e[1]).c_str());
  } else if (e[0] == kEventLoopEscape) {
    std::snprintf(buf, sizeof buf, "%d (leaves on pass %d)", e[2], e[2] + 1);
  } else if (count == 2) {
    std::snprintf(buf, sizeof buf, "%d", e[1]);
  }
  return buf;
}

// The running position of a part in steps.  Events of a driver loop's body
// are shown at their first pass; after the loop the position counts every
// pass, up to the escape in the last one.
class Position {
 public:
  uint64_t steps() const { return steps_; }
  // The steps of one pass of the part's endless loop, once it has closed.
  std::optional<uint64_t> endlessLoop() const { return endlessLoop_; }

  void pass(const uint8_t* e) {
    if (isNoteCode(e[0]) || e[0] == kEventRest) steps_ += static_cast<uint64_t>(word(e, 1));
    if (e[0] == kEventChord) steps_ += static_cast<uint64_t>(word(e, 2));
    if (e[0] == kEventLoopStart) loops_.push_back({steps_, steps_, 0});
    if (e[0] == kEventLoopEscape && !loops_.empty() && e[2] != kEscapePlaceholder) {
      loops_.back().escape = steps_;
      loops_.back().escapeCount = e[2];
    }
    if (e[0] == kEventLoopEnd && !loops_.empty()) closeLoop(e[1]);
  }

 private:
  struct Loop {
    uint64_t start, escape;
    int escapeCount;
  };

  void closeLoop(int repeat) {
    Loop loop = loops_.back();
    loops_.pop_back();
    if (repeat == 0) {  // endless: nothing comes after it
      if (!endlessLoop_) endlessLoop_ = steps_ - loop.start;
      return;
    }
    uint64_t body = steps_ - loop.start;
    bool escapes = loop.escape != loop.start;
    steps_ = (escapes ? loop.escape : steps_) +
             body * static_cast<uint64_t>(escapes ? loop.escapeCount : repeat);
  }

  uint64_t steps_ = 0;
  std::vector<Loop> loops_;
  std::optional<uint64_t> endlessLoop_;
};

void dumpPart(const KrbFile& file, int part, std::string& out) {
  const KrbPartEntry& entry = file.entries[part];
  char line[200];
  std::snprintf(line, sizeof line, "%s offset 0x%zX length %zu\n", kPartNames[part], entry.offset,
                entry.length);
  out += line;
  std::span<const uint8_t> s = file.partData(part);
  std::vector<int> counts = loopCounts(s);
  Position position;
  for (size_t at = 0; at < s.size();) {
    const uint8_t* e = s.data() + at;
    uint8_t code = e[0];
    size_t count = code == kEventEnd ? 1 : kEventLength[code];
    if (count == 0 || count > s.size() - at) {
      std::snprintf(line, sizeof line, "  %06zX: %-30s undefined\n", entry.offset + at,
                    hex(e, 1).c_str());
      out += line;
      return;
    }
    std::string what =
        std::string(eventName(code)) + " " + operands(e, count, file.zenlen, counts[at]);
    std::snprintf(line, sizeof line, "  %06zX: %-30s %-30s %7llu %s\n", entry.offset + at,
                  hex(e, count).c_str(), what.c_str(),
                  static_cast<unsigned long long>(position.steps()),
                  barsAndBeats(position.steps(), file.zenlen).c_str());
    out += line;
    position.pass(e);
    at += count;
  }
}

Text header(const KrbFile& file) {
  Text out;
  auto put = [&](const char* name, const Text& value) {
    char label[16];
    std::snprintf(label, sizeof label, "%-8s ", name);
    out += Text::own(label);
    out += value;
    out += Text::own("\n");
  };
  namespace k = krb_header;
  put("tag", Text::user(file.tag));
  put("title", Text::user(file.title));
  put("artist", Text::user(file.artist));
  put("fmb", Text::user(file.fmbName));
  put("pmb", Text::user(file.pmbName));
  put("wpk", Text::user(file.wpkName));
  put("parts", Text::own(std::to_string(file.partCount)));
  put("snduse", Text::own(std::to_string(file.soundUse)));
  put("zenlen", Text::own(std::to_string(file.zenlen)));
  put("lock", Text::own(file.locked ? "FF (locked)" : hex(&file.bytes[k::kLock], 1)));
  put("start", Text::own(hex(&file.bytes[k::kStartEvent], k::kStartEventSize)));
  return out;
}

}  // namespace

std::string barsAndBeats(uint64_t steps, int zenlen) {
  if (zenlen < 4) return "-";
  uint64_t whole = static_cast<uint64_t>(zenlen);
  uint64_t beat = whole / 4;
  uint64_t inBar = steps % whole;
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%llu:%llu",
                        static_cast<unsigned long long>(steps / whole + 1),
                        static_cast<unsigned long long>(inBar / beat + 1));
  if (inBar % beat != 0) {
    std::snprintf(buf + n, sizeof buf - n, "+%llu", static_cast<unsigned long long>(inBar % beat));
  }
  return buf;
}

double beatsPerMinute(int value, int zenlen) {
  double step = (kTimerBase - value) * kTickSeconds;
  if (step <= 0 || zenlen <= 0) return 0;
  return 60.0 / (step * zenlen / 4.0);
}

int partIndex(std::string_view name) {
  for (int part = 0; part < kPartCount; ++part) {
    std::string_view candidate = kPartNames[part];
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size(); ++i) {
      same = same && std::toupper(static_cast<unsigned char>(name[i])) == candidate[i];
    }
    if (same) return part;
  }
  return -1;
}

Text dumpKrb(const KrbFile& file, const KrbDumpOptions& options) {
  Text out = header(file);
  if (file.locked && !options.ignoreLock) {
    out +=
        Text::own("events not listed: the author locked this file against reverse compilation\n");
    return out;
  }
  std::string parts;
  for (int part = 0; part < kPartCount; ++part) {
    if (options.parts[part]) dumpPart(file, part, parts);
  }
  out += Text::own(parts);
  return out;
}

std::string dumpKrb(const std::vector<uint8_t>& bytes, const KrbDumpOptions& options) {
  std::string error;
  std::optional<KrbFile> file = readKrb(bytes, error);
  if (!file) return error + "\n";
  return dumpKrb(*file, options).render(Encoding::kCp932);
}

namespace {

// A part as the summary shows it.
struct PartSummary {
  bool used = false;   // the stream holds more than its end
  bool notes = false;  // it plays notes or chords
  uint64_t steps = 0;  // its length, every pass of its finite loops, one of its endless loop
  std::optional<uint64_t> loopSteps;
  std::optional<double> seconds, loopSeconds;
};

PartSummary walkPart(std::span<const uint8_t> s) {
  PartSummary summary;
  Position position;
  for (size_t at = 0; at < s.size();) {
    uint8_t code = s[at];
    size_t count = code == kEventEnd ? 1 : kEventLength[code];
    if (count == 0 || count > s.size() - at || code == kEventEnd) break;
    summary.used = true;
    summary.notes = summary.notes || isNoteCode(code) || code == kEventChord;
    position.pass(&s[at]);
    at += count;
    if (position.endlessLoop()) break;
  }
  summary.steps = position.steps();
  summary.loopSteps = position.endlessLoop();
  return summary;
}

// Plays the song once through the driver model (all parts in step, every
// tempo event in force for the whole song) for the seconds of each part.
// Returns the model's complaint, or nothing.
std::string timeParts(const KrbFile& file, std::array<PartSummary, kPartCount>& parts) {
  playback::Options options;
  options.loops = 1;
  options.maxSeconds = 24 * 3600;
  playback::Player player(file, {}, options);
  playback::Event event;
  while (player.next(event)) {
    if (event.kind == playback::EventKind::kEnd && event.part < kPartCount) {
      parts[event.part].seconds = playback::tickSeconds(event.tick);
    }
  }
  const playback::Summary& summary = player.summary();
  for (int part = 0; part < kPartCount; ++part) {
    if (summary.loopStart[part] && summary.loopLength[part]) {
      parts[part].loopSeconds = playback::tickSeconds(*summary.loopLength[part]);
      parts[part].seconds =
          playback::tickSeconds(*summary.loopStart[part] + *summary.loopLength[part]);
    }
  }
  return player.error();
}

std::string seconds(const std::optional<double>& value) {
  char buf[32] = "-";
  if (value) std::snprintf(buf, sizeof buf, "%.2f", *value);
  return buf;
}

}  // namespace

Text summarizeKrb(const KrbFile& file, const KrbDumpOptions& options) {
  std::array<PartSummary, kPartCount> parts;
  for (int part = 0; part < kPartCount; ++part) parts[part] = walkPart(file.partStream(part));
  std::string complaint = timeParts(file, parts);
  std::string out = "part       steps   seconds  loop steps  loop seconds\n";
  char line[160];
  std::string ends;
  std::optional<uint64_t> firstEnd;
  bool differ = false;
  for (int part = 0; part < kPartCount; ++part) {
    const PartSummary& p = parts[part];
    if (!options.parts[part] || !p.used) continue;
    std::string loop = p.loopSteps ? std::to_string(*p.loopSteps) : "-";
    std::snprintf(line, sizeof line, "%-5s %10llu %9s %11s %13s\n", kPartNames[part],
                  static_cast<unsigned long long>(p.steps), seconds(p.seconds).c_str(),
                  loop.c_str(), seconds(p.loopSeconds).c_str());
    out += line;
    if (!p.notes) continue;
    if (firstEnd && *firstEnd != p.steps) differ = true;
    if (!firstEnd) firstEnd = p.steps;
    std::snprintf(line, sizeof line, "%s%s %llu", ends.empty() ? "" : ", ", kPartNames[part],
                  static_cast<unsigned long long>(p.steps));
    ends += line;
  }
  if (differ) out += "warning: the parts that play notes end at different steps: " + ends + "\n";
  if (!complaint.empty())
    out += "note: the seconds stop where the driver model did: " + complaint + "\n";
  return Text::own(out);
}

}  // namespace tallow
