// Laying out the KRB image: the image is allocated once at its final size
// and the streams are copied in and released one by one.
#include "output/krb_layout.h"

#include <cstring>

#include "output/krb_format.h"

namespace tallow {
namespace {

void putText(uint8_t* at, const std::string& text, size_t field) {
  std::memcpy(at, text.data(), text.size() < field ? text.size() : field);
}

void putLong(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void fillHeader(const KrbHeaderFields& f, uint8_t* h) {
  namespace k = krb_header;
  std::memset(h, 0, k::kSize);
  std::memcpy(h + k::kTag, f.kr3 ? kTagKr3 : kTagKr2, k::kTagSize);
  putText(h + k::kTitle, f.title, k::kTitleSize);
  putText(h + k::kArtist, f.artist, k::kArtistSize);
  putText(h + k::kFmbName, f.fmbName, k::kBankNameSize);
  putText(h + k::kPmbName, f.pmbName, k::kBankNameSize);
  h[k::kPartCount] = kPartCount;
  h[k::kSoundUse] = static_cast<uint8_t>(f.soundUse);
  putText(h + k::kWpkName, f.wpkName, k::kBankNameSize);
  h[k::kZenlen] = static_cast<uint8_t>(f.zenlen & 0xFF);
  h[k::kZenlen + 1] = static_cast<uint8_t>((f.zenlen >> 8) & 0xFF);
  h[k::kLock] = f.reverseCompilationPermitted ? kLockPermitted : kLockLocked;
  h[k::kStartEvent] = kEventStart;
  h[k::kStartEvent + 1] = 0x01;  // the count of bytes that follow
  h[k::kStartEvent + 2] = static_cast<uint8_t>(f.playCount);
}

}  // namespace

bool endStream(ByteBuffer& stream) {
  if (!stream.reserve(1)) return false;
  stream.put(kEventEnd);
  return true;
}

bool layOutImage(const KrbHeaderFields& fields, std::array<ByteBuffer, kPartCount>& streams,
                 Allocator& allocator, ByteBlock& image) {
  size_t total = krb_header::kSize;
  for (const ByteBuffer& stream : streams) total += stream.length();
  if (total > kMaxBlockSize) return false;
  auto* data = static_cast<uint8_t*>(allocator.allocate(total));
  if (data == nullptr) return false;
  image.adopt(allocator, data, total);
  fillHeader(fields, data);
  size_t position = krb_header::kSize;
  for (int part = 0; part < kPartCount; ++part) {
    ByteBuffer& stream = streams[part];
    uint8_t* entry = data + krb_header::kPartTable + krb_header::kPartEntrySize * part;
    // FM1's entry covers the start-of-song event at the end of the header.
    size_t before = part == 0 ? krb_header::kStartEventSize : 0;
    putLong(entry, static_cast<uint32_t>(position - before));
    putLong(entry + 4, static_cast<uint32_t>(stream.length() + before));
    if (stream.length() > 0) std::memcpy(data + position, stream.data(), stream.length());
    position += stream.length();
    stream.release();
  }
  return true;
}

}  // namespace tallow
