// Reading and checking a KRB file's header and part table.
#include "output/krb_reader.h"

#include "output/krb_format.h"

namespace tallow {
namespace {

uint32_t readLong(std::span<const uint8_t> f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

std::string field(std::span<const uint8_t> f, size_t at, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && f[at + i] != 0; ++i) text.push_back(static_cast<char>(f[at + i]));
  return text;
}

}  // namespace

std::span<const uint8_t> KrbFile::partData(int part) const {
  const KrbPartEntry& e = entries[part];
  return bytes.subspan(e.offset, e.length);
}

std::span<const uint8_t> KrbFile::partStream(int part) const {
  std::span<const uint8_t> data = partData(part);
  if (part != 0) return data;
  size_t skip =
      data.size() < krb_header::kStartEventSize ? data.size() : krb_header::kStartEventSize;
  return data.subspan(skip);
}

std::optional<KrbFile> readKrb(std::span<const uint8_t> f, std::string& error) {
  namespace k = krb_header;
  if (f.size() < k::kSize) {
    error = "not a KRB file: shorter than its 259-byte header";
    return std::nullopt;
  }
  KrbFile file;
  file.bytes = f;
  file.tag = std::string(reinterpret_cast<const char*>(f.data()) + k::kTag, k::kTagSize);
  if (file.tag != kTagKr3 && file.tag != kTagKr2) {
    error = "not a KRB file: its tag is neither KR3 nor KR2";
    return std::nullopt;
  }
  file.partCount = f[k::kPartCount];
  if (file.partCount != kPartCount) {
    error = "not a KRB file: its part count is " + std::to_string(file.partCount) + ", not 15";
    return std::nullopt;
  }
  file.title = field(f, k::kTitle, k::kTitleSize);
  file.artist = field(f, k::kArtist, k::kArtistSize);
  file.fmbName = field(f, k::kFmbName, k::kBankNameSize);
  file.pmbName = field(f, k::kPmbName, k::kBankNameSize);
  file.wpkName = field(f, k::kWpkName, k::kBankNameSize);
  file.soundUse = f[k::kSoundUse];
  file.zenlen = f[k::kZenlen] | f[k::kZenlen + 1] << 8;
  file.locked = f[k::kLock] == kLockLocked;
  file.playCount = f[k::kStartEvent + 2];
  for (int part = 0; part < kPartCount; ++part) {
    size_t at = k::kPartTable + k::kPartEntrySize * part;
    KrbPartEntry& e = file.entries[part];
    e.offset = readLong(f, at);
    e.length = readLong(f, at + 4);
    if (e.offset > f.size() || e.length > f.size() - e.offset) {
      error = std::string("not a KRB file: the entry of ") + kPartNames[part] +
              " lies outside the file";
      return std::nullopt;
    }
  }
  return file;
}

}  // namespace tallow
