// The note and detune events every note-playing command writes: the detune
// value of a note (in whole key widths and the fraction between them), the
// note byte raised by the whole semitones of an FM part's detune, and the two
// events on the current part's stream.
#include "events/note_events.h"

#include <algorithm>

#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr int kFmStepUp[12] = {35, 39, 41, 44, 46, 49, 52, 55, 58, 62, 65, 73};
constexpr int kFmStepDown[12] = {37, 35, 39, 41, 44, 46, 49, 52, 55, 58, 62, 65};
constexpr int kPcmDetuneBase[13] = {0, 61, 128, 194, 266, 343, 424, 510, 601, 698, 801, 909, 1024};
constexpr int kPcmDetuneStep[13] = {61, 67, 66, 72, 77, 81, 86, 91, 97, 103, 108, 115, 0};

// x / 10 rounded half up (x >= 0).
int64_t roundTenths(int64_t x) { return x / 10 + (x % 10 > 4 ? 1 : 0); }

int64_t fmDetune(int pitch, int64_t t, int64_t k) {
  int64_t q = t / k;
  if (t >= 0) {
    int64_t n = std::min<int64_t>(pitch + q, 127);
    return roundTenths((t % k) * kFmStepUp[n % 12] * 10 / k);
  }
  int64_t n = std::max<int64_t>(pitch + q, 0);
  return -roundTenths(((-t) % k) * kFmStepDown[n % 12] * 10 / k);
}

int64_t pcmDetune(int64_t t, int64_t k) {
  int64_t a = t < 0 ? -t : t;
  int64_t i = std::min<int64_t>(a / k, 12);
  int64_t b = kPcmDetuneBase[i] + roundTenths((a % k) * kPcmDetuneStep[i] * 10 / k);
  return t <= 0 ? -std::min<int64_t>(b, 1024) : std::min<int64_t>(b, 1023);
}

}  // namespace

int32_t detuneValue(const CompileContext& ctx, int pitch, int64_t extra) {
  const PartState& p = ctx.parts[ctx.currentPart];
  int64_t t = int64_t{p.detune} + p.secondDetune + extra;
  int64_t k = ctx.settings.keywidth;
  int64_t value = k == 0           ? std::clamp<int64_t>(t, -1024, 1023)
                  : ctx.onFmPart() ? fmDetune(pitch, t, k)
                                   : pcmDetune(t, k);
  return static_cast<int32_t>(value);
}

int64_t noteByteOf(const CompileContext& ctx, int pitch, int64_t extra) {
  const PartState& p = ctx.parts[ctx.currentPart];
  int64_t k = ctx.settings.keywidth;
  if (!ctx.onFmPart() || k == 0) return pitch;
  return pitch + (int64_t{p.secondDetune} + p.detune + extra) / k;
}

namespace {

// The byte of a note event ("音程が範囲外です" beyond 127).
int noteByte(CompileContext& ctx, int pitch, int64_t extra) {
  int64_t note = noteByteOf(ctx, pitch, extra);
  if (note < 0 || note > 127) ctx.error("音程が範囲外です");
  return static_cast<int>(note);
}

}  // namespace

void emitDetune(CompileContext& ctx, int pitch, int64_t extra) {
  ctx.emitByteWord(kEventDetune, detuneValue(ctx, pitch, extra));
}

void emitNote(CompileContext& ctx, int pitch, int64_t extra, int32_t length) {
  if (length == 0) return;
  ctx.emitByteWord(noteByte(ctx, pitch, extra), length);
}

}  // namespace tallow
