// Laying out the KRB image: every stream is ended and optimised first, then
// the image is allocated once at its final size and the streams are copied
// in and released one by one, so that memory stays near one copy of the data.
#include "output/krb_layout.h"

#include <cstring>

#include "compiler/context.h"
#include "driver/paths.h"
#include "output/events.h"
#include "output/optimizer.h"

namespace tallow {
namespace {

void putText(uint8_t* at, const std::string& text, size_t field) {
  std::memcpy(at, text.data(), text.size() < field ? text.size() : field);
}

void putLong(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void fillHeader(const HeaderSettings& s, uint8_t* h) {
  std::memset(h, 0, kKrbHeaderSize);
  std::memcpy(h, s.krbType == kKrbTypeKr3 ? "KR3" : "KR2", 3);
  putText(h + 0x03, s.title, 64);
  putText(h + 0x43, s.artist, 16);
  putText(h + 0x53, s.fmbName, 12);
  putText(h + 0x5F, s.pmbName, 12);
  h[0x6B] = 15;
  h[0x6C] = static_cast<uint8_t>(s.soundUse);
  putText(h + 0xE5, s.wpkName, 12);
  h[0xFD] = static_cast<uint8_t>(s.zenlen & 0xFF);
  h[0xFE] = static_cast<uint8_t>((s.zenlen >> 8) & 0xFF);
  h[0xFF] = s.decompile != 0 ? 0x00 : 0xFF;
  h[0x100] = 0x8F;
  h[0x101] = 0x01;
  h[0x102] = static_cast<uint8_t>(s.playCount);
}

// Appends the end code and, unless optimisation is off, optimises twice.
void finishStream(CompileContext& ctx, ByteBuffer& stream) {
  if (!stream.reserve(1)) ctx.error("メモリが足りません");
  stream.put(kEndCode);
  if (!ctx.job.optimize) return;
  for (int pass = 0; pass < 2; ++pass) {
    size_t length = optimizeStream(stream.data(), stream.length());
    if (length == 0) ctx.error("最適化に失敗しました");
    stream.setLength(length);
  }
}

void fillJob(CompileContext& ctx) {
  const HeaderSettings& s = ctx.settings;
  CompileJob& job = ctx.job;
  setPathField(job.outputPath, upperFileName(s.outputName));
  job.outputFilePath = toOpenPath(job.outputPath);
  job.title = s.title;
  job.artist = s.artist;
  job.fmbName = upperLetters(s.fmbName);
  job.pmbName = upperLetters(s.pmbName);
  job.wpkName = upperLetters(s.wpkName);
  job.soundUse = s.soundUse;
  job.wholeNoteTicks = s.zenlen;
  job.allowDecompile = s.decompile;
}

}  // namespace

void buildImage(CompileContext& ctx) {
  size_t total = kKrbHeaderSize;
  for (int part = 0; part < kPartCount; ++part) {
    ctx.currentPart = part;
    finishStream(ctx, ctx.tracks[part]);
    total += ctx.tracks[part].length();
  }
  if (total > kMaxBlockSize) ctx.error("メモリが足りません");
  Allocator& allocator = *ctx.program.allocator;
  auto* image = static_cast<uint8_t*>(allocator.allocate(total));
  if (image == nullptr) ctx.error("メモリが足りません");
  ctx.job.outputImage.adopt(allocator, image, total);
  fillHeader(ctx.settings, image);
  size_t position = kKrbHeaderSize;
  for (int part = 0; part < kPartCount; ++part) {
    ByteBuffer& stream = ctx.tracks[part];
    uint8_t* entry = image + kPartTableOffset + 8 * part;
    bool first = part == 0;
    putLong(entry, static_cast<uint32_t>(first ? position - 3 : position));
    putLong(entry + 4, static_cast<uint32_t>(first ? stream.length() + 3 : stream.length()));
    if (stream.length() > 0) std::memcpy(image + position, stream.data(), stream.length());
    position += stream.length();
    stream.release();
  }
  ctx.job.outputSize = static_cast<uint32_t>(total);
  fillJob(ctx);
}

}  // namespace tallow
