// The KRB listing used by the krbdump tool and by tests for readable diffs.
#include "output/krbdump.h"

#include <cstdio>
#include <string_view>

#include "driver/compile_job.h"
#include "output/events.h"
#include "output/krb_layout.h"

namespace tallow {
namespace {

constexpr const char* kNoteNames[12] = {"c",  "c+", "d",  "d+", "e",  "f",
                                        "f+", "g",  "g+", "a",  "a+", "b"};

struct EventName {
  uint8_t code;
  const char* name;
};

constexpr EventName kEventNames[] = {
    {0x80, "tempo"},         {0x81, "tone"},       {0x82, "setting"},       {0x83, "gate"},
    {0x84, "volume"},        {0x85, "lfo"},        {0x86, "tie"},           {0x87, "setting"},
    {0x88, "setting"},       {0x89, "poly-mode"},  {0x8A, "chord"},         {0x8B, "key-setting"},
    {0x8C, "command"},       {0x8D, "fm-switch"},  {0x8E, "sweep-setting"}, {0x8F, "start"},
    {0x90, "rest"},          {0x91, "detune"},     {0x92, "filter"},        {0x93, "pan"},
    {0x94, "level"},         {0x95, "loop-start"}, {0x96, "loop-end"},      {0x97, "register"},
    {0x98, "setting"},       {0x99, "bend"},       {0x9A, "delay"},         {0x9B, "loop-escape"},
    {0x9C, "channel-set"},   {0x9D, "setting"},    {0x9F, "wave"},          {0xA0, "wave-amp"},
    {0xA1, "filter-detune"}, {0xA2, "noise"},      {0xA3, "relative-tl"},   {0xA4, "relative-ar"},
};

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

const char* eventName(uint8_t code) {
  if (code < 0x80) return "note";
  if (code == kEndCode) return "end";
  for (const EventName& e : kEventNames) {
    if (e.code == code) return e.name;
  }
  return "undefined";
}

// The decoded operands of an event of `count` bytes.
std::string operands(const uint8_t* e, size_t count) {
  auto word = [&](size_t at) { return e[at] | e[at + 1] << 8; };
  char buf[64] = "";
  if (e[0] < 0x80) {
    std::snprintf(buf, sizeof buf, "o%d%s %d", e[0] / 12 - 1, kNoteNames[e[0] % 12], word(1));
  } else if (e[0] == 0x91) {
    std::snprintf(buf, sizeof buf, "%d", static_cast<int16_t>(word(1)));
  } else if (e[0] == 0x80 || e[0] == 0x90) {
    std::snprintf(buf, sizeof buf, "%d", word(1));
  } else if (count == 2) {
    std::snprintf(buf, sizeof buf, "%d", e[1]);
  }
  return buf;
}

void dumpPart(const std::vector<uint8_t>& f, int part, std::string& out) {
  size_t offset = readLong(f, kPartTableOffset + 8 * part);
  size_t length = readLong(f, kPartTableOffset + 8 * part + 4);
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
    size_t count = code == kEndCode ? 1 : kEventLength[code];
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
  if (f.size() < kKrbHeaderSize) return "not a KRB file: shorter than its 259-byte header\n";
  std::string out;
  char line[200];
  auto put = [&](const char* name, const std::string& value) {
    std::snprintf(line, sizeof line, "%-8s %s\n", name, value.c_str());
    out += line;
  };
  put("tag", field(f, 0x00, 3));
  put("title", field(f, 0x03, 64));
  put("artist", field(f, 0x43, 16));
  put("fmb", field(f, 0x53, 12));
  put("pmb", field(f, 0x5F, 12));
  put("wpk", field(f, 0xE5, 12));
  put("parts", std::to_string(f[0x6B]));
  put("snduse", std::to_string(f[0x6C]));
  put("zenlen", std::to_string(f[0xFD] | f[0xFE] << 8));
  bool locked = f[0xFF] == 0xFF;
  put("lock", locked ? "FF (locked)" : hex(&f[0xFF], 1));
  put("start", hex(&f[0x100], 3));
  if (locked && !options.ignoreLock) {
    out += "events not listed: the author locked this file against reverse compilation\n";
    return out;
  }
  for (int part = 0; part < kPartCount; ++part) dumpPart(f, part, out);
  return out;
}

std::vector<uint8_t> partStream(const std::vector<uint8_t>& f, int part) {
  if (f.size() < kKrbHeaderSize) return {};
  size_t offset = readLong(f, kPartTableOffset + 8 * part);
  size_t length = readLong(f, kPartTableOffset + 8 * part + 4);
  if (part == 0) {
    offset += 3;
    length = length >= 3 ? length - 3 : 0;
  }
  if (offset > f.size() || length > f.size() - offset) return {};
  return std::vector<uint8_t>(f.begin() + offset, f.begin() + offset + length);
}

}  // namespace tallow
