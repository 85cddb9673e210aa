// The KRB listing used by the krbdump tool and by tests for readable diffs.
#include "krbdump/krbdump.h"

#include <cstdio>
#include <string_view>

#include "base/parts.h"
#include "output/krb_format.h"

namespace tallow {
namespace {

constexpr const char* kNoteNames[12] = {"c",  "c+", "d",  "d+", "e",  "f",
                                        "f+", "g",  "g+", "a",  "a+", "b"};

uint32_t readLong(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

std::string field(const std::vector<uint8_t>& f, size_t at, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && f[at + i] != 0; ++i) text.push_back(static_cast<char>(f[at + i]));
  return text;
}

std::string hex(const uint8_t* bytes, size_t count) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
    out += buf;
  }
  return out;
}

// The decoded operands of an event of `count` bytes.
std::string operands(const uint8_t* e, size_t count) {
  auto word = [&](size_t at) { return e[at] | e[at + 1] << 8; };
  char buf[64] = "";
  if (e[0] < kFirstCommandCode) {
    std::snprintf(buf, sizeof buf, "o%d%s %d", e[0] / 12 - 1, kNoteNames[e[0] % 12], word(1));
  } else if (e[0] == kEventDetune) {
    std::snprintf(buf, sizeof buf, "%d", static_cast<int16_t>(word(1)));
  } else if (e[0] == kEventTempo || e[0] == kEventRest) {
    std::snprintf(buf, sizeof buf, "%d", word(1));
  } else if (count == 2) {
    std::snprintf(buf, sizeof buf, "%d", e[1]);
  }
  return buf;
}

void dumpPart(const std::vector<uint8_t>& f, int part, std::string& out) {
  size_t offset = readLong(f, krb_header::kPartTable + krb_header::kPartEntrySize * part);
  size_t length = readLong(f, krb_header::kPartTable + krb_header::kPartEntrySize * part + 4);
  char line[160];
  std::snprintf(line, sizeof line, "%s offset 0x%zX length %zu\n", kPartNames[part], offset,
                length);
  out += line;
  if (offset > f.size() || length > f.size() - offset) {
    out += "  (the entry lies outside the file)\n";
    return;
  }
  for (size_t at = offset; at < offset + length;) {
    uint8_t code = f[at];
    size_t count = code == kEventEnd ? 1 : kEventLength[code];
    if (count == 0 || count > offset + length - at) {
      std::snprintf(line, sizeof line, "  %06zX: %-30s undefined\n", at, hex(&f[at], 1).c_str());
      out += line;
      return;
    }
    std::snprintf(line, sizeof line, "  %06zX: %-30s %s %s\n", at, hex(&f[at], count).c_str(),
                  eventName(code), operands(&f[at], count).c_str());
    out += line;
    at += count;
  }
}

}  // namespace

std::string dumpKrb(const std::vector<uint8_t>& f, const KrbDumpOptions& options) {
  if (f.size() < krb_header::kSize) return "not a KRB file: shorter than its 259-byte header\n";
  std::string out;
  char line[200];
  auto put = [&](const char* name, const std::string& value) {
    std::snprintf(line, sizeof line, "%-8s %s\n", name, value.c_str());
    out += line;
  };
  namespace k = krb_header;
  put("tag", field(f, k::kTag, k::kTagSize));
  put("title", field(f, k::kTitle, k::kTitleSize));
  put("artist", field(f, k::kArtist, k::kArtistSize));
  put("fmb", field(f, k::kFmbName, k::kBankNameSize));
  put("pmb", field(f, k::kPmbName, k::kBankNameSize));
  put("wpk", field(f, k::kWpkName, k::kBankNameSize));
  put("parts", std::to_string(f[k::kPartCount]));
  put("snduse", std::to_string(f[k::kSoundUse]));
  put("zenlen", std::to_string(f[k::kZenlen] | f[k::kZenlen + 1] << 8));
  bool locked = f[k::kLock] == kLockLocked;
  put("lock", locked ? "FF (locked)" : hex(&f[k::kLock], 1));
  put("start", hex(&f[k::kStartEvent], k::kStartEventSize));
  if (locked && !options.ignoreLock) {
    out += "events not listed: the author locked this file against reverse compilation\n";
    return out;
  }
  for (int part = 0; part < kPartCount; ++part) dumpPart(f, part, out);
  return out;
}

std::vector<uint8_t> partStream(const std::vector<uint8_t>& f, int part) {
  if (f.size() < krb_header::kSize) return {};
  size_t offset = readLong(f, krb_header::kPartTable + krb_header::kPartEntrySize * part);
  size_t length = readLong(f, krb_header::kPartTable + krb_header::kPartEntrySize * part + 4);
  if (part == 0) {
    offset += krb_header::kStartEventSize;
    length = length >= krb_header::kStartEventSize ? length - krb_header::kStartEventSize : 0;
  }
  if (offset > f.size() || length > f.size() - offset) return {};
  return std::vector<uint8_t>(f.begin() + offset, f.begin() + offset + length);
}

}  // namespace tallow
