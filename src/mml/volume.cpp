// Volume commands.  A part's loudness is a value 0..127, chosen directly or
// through a level 0..15 that indexes the part's own table.  Every command
// emits the volume event 0x84 with the value plus the offset, scaled; the
// "!" family changes the volume for the next note only.
#include "mml/volume.h"

#include "mml/command_table.h"
#include "mml/handlers.h"
#include "output/krb_format.h"
#include "state/compile_context.h"

namespace tallow {
namespace {

constexpr const char* kLevelTop = "音量が上限を超えました";
constexpr const char* kLevelBottom = "音量が下限を超えました";
constexpr const char* kValueTop = "音量が上限を越えました";
constexpr const char* kValueBottom = "音量が下限を越えました";

void emitVolume(CompileContext& ctx, int64_t value) {
  PartState& p = ctx.part();
  ctx.emitByte(scaledVolume(p, value + p.volumeOffset));
}

// An optional step: read when a digit follows (blanks skipped), else 1.
int32_t optionalStep(CompileContext& ctx, int32_t high) {
  if (ctx.scanner.peek(ctx.mml.empty) != kCodeNumber) return 1;
  return ctx.scanner.readNumber(0, high);
}

// `value` limited to low..high, with a volume warning when it was outside.
int32_t limited(CompileContext& ctx, int64_t value, int32_t low, int32_t high, const char* top,
                const char* bottom) {
  if (value > high) {
    ctx.warn(top, kWarnVolumeRange);
    return high;
  }
  if (value < low) {
    ctx.warn(bottom, kWarnVolumeRange);
    return low;
  }
  return static_cast<int32_t>(value);
}

void saveForOneNote(PartState& p) {
  p.savedVolumeValue = p.volumeValue;
  p.oneShotVolume = 1;
}

void stepLevel(CompileContext& ctx, int sign) {
  ctx.emitByte(kEventVolume);
  PartState& p = ctx.part();
  int64_t level = p.volumeLevel + sign * int64_t{optionalStep(ctx, 15)};
  p.volumeLevel = limited(ctx, level, 0, 15, kLevelTop, kLevelBottom);
  p.volumeValue = p.volumeTable[p.volumeLevel];
  emitVolume(ctx, p.volumeValue);
}

void stepValue(CompileContext& ctx, int sign) {
  ctx.emitByte(kEventVolume);
  PartState& p = ctx.part();
  int64_t value = p.volumeValue + sign * int64_t{optionalStep(ctx, 127)};
  p.volumeValue = limited(ctx, value, 0, 127, kValueTop, kValueBottom);
  emitVolume(ctx, p.volumeValue);
}

void oneNoteLevel(CompileContext& ctx, int32_t level) {
  PartState& p = ctx.part();
  saveForOneNote(p);
  p.volumeValue = p.volumeTable[level];
  emitVolume(ctx, p.volumeValue);
}

void oneNoteLevelStep(CompileContext& ctx, int sign) {
  ctx.emitByte(kEventVolume);
  int64_t level = ctx.part().volumeLevel + sign * int64_t{optionalStep(ctx, 15)};
  oneNoteLevel(ctx, limited(ctx, level, 0, 15, kLevelTop, kLevelBottom));
}

void oneNoteValueStep(CompileContext& ctx, int sign) {
  ctx.emitByte(kEventVolume);
  PartState& p = ctx.part();
  int64_t value = p.volumeValue + sign * int64_t{optionalStep(ctx, 127)};
  int32_t x = limited(ctx, value, 0, 127, kLevelTop, kLevelBottom);
  saveForOneNote(p);
  emitVolume(ctx, x);
  p.volumeValue = x;
}

}  // namespace

void onVolumeLevel(CompileContext& ctx) {
  ctx.emitByte(kEventVolume);
  PartState& p = ctx.part();
  p.volumeLevel = ctx.scanner.readNumber(0, 15);
  p.volumeValue = p.volumeTable[p.volumeLevel];
  emitVolume(ctx, p.volumeValue);
}

void onVolumeValue(CompileContext& ctx) {
  ctx.emitByte(kEventVolume);
  ctx.part().volumeValue = ctx.scanner.readNumber(0, 127);
  emitVolume(ctx, ctx.part().volumeValue);
}

void onVolumeOffset(CompileContext& ctx) {
  ctx.part().volumeOffset = ctx.scanner.readNumber(-128, 127);
}

void onVolumeTableEntry(CompileContext& ctx) {
  PartState& p = ctx.part();
  int32_t level = ctx.scanner.readNumber(0, 15);
  ctx.scanner.separator();
  int32_t value = ctx.scanner.readNumber(0, 127);
  p.volumeTable[level] = value;
  if (level != p.volumeLevel) return;
  p.volumeValue = value;
  ctx.emitByte(kEventVolume);
  emitVolume(ctx, value);
}

void onLevelUp(CompileContext& ctx) { stepLevel(ctx, 1); }

void onLevelDown(CompileContext& ctx) { stepLevel(ctx, -1); }

void onValueUp(CompileContext& ctx) { stepValue(ctx, 1); }

void onValueDown(CompileContext& ctx) { stepValue(ctx, -1); }

void onOneNoteLevel(CompileContext& ctx) {
  ctx.emitByte(kEventVolume);
  oneNoteLevel(ctx, ctx.scanner.readNumber(0, 15));
}

void onOneNoteLevelUp(CompileContext& ctx) { oneNoteLevelStep(ctx, 1); }

void onOneNoteLevelDown(CompileContext& ctx) { oneNoteLevelStep(ctx, -1); }

void onOneNoteValue(CompileContext& ctx) {
  ctx.emitByte(kEventVolume);
  PartState& p = ctx.part();
  int32_t value = ctx.scanner.readNumber(0, 127);
  saveForOneNote(p);
  p.volumeValue = value;
  emitVolume(ctx, value);
}

void onOneNoteValueUp(CompileContext& ctx) { oneNoteValueStep(ctx, 1); }

void onOneNoteValueDown(CompileContext& ctx) { oneNoteValueStep(ctx, -1); }

void onLevelByteDirect(CompileContext& ctx) {
  ctx.emitByte(kEventLevel);
  ctx.emitByte(scaledVolume(ctx.part(), ctx.scanner.readNumber(0, 127)));
}

void onLevelByte(CompileContext& ctx) {
  ctx.emitByte(kEventLevel);
  ctx.emitByte(scaledVolume(ctx.part(), ctx.part().volumeTable[ctx.scanner.readNumber(0, 15)]));
}

}  // namespace tallow
