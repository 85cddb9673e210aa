// Formatting the driver model's events as lines of text.
#include "export/writes_listing.h"

#include <cinttypes>
#include <cstdio>

#include "output/fm_registers.h"

namespace tallow::exports {

const char* fmRegisterName(uint8_t r) {
  namespace reg = fm_register;
  if (r == reg::kLfo) return "lfo";
  if (r == reg::kTimerControl) return "timer control, channel-3 mode";
  if (r == reg::kKeyOnOff) return "key on/off";
  if (r == reg::kChannelMode) return "channel mode";
  if (r < reg::kDetuneMultiple) return "other";
  if ((r & 3) == 3 && r < reg::kCh3FrequencyLow) return "unused";
  switch (r & 0xF0) {
    case reg::kDetuneMultiple:
      return "detune/multiple";
    case reg::kTotalLevel:
      return "total level";
    case reg::kKeyScaleAttack:
      return "key scale/attack rate";
    case reg::kAmDecay:
      return "am/decay rate";
    case reg::kSustainRate:
      return "sustain rate";
    case reg::kSustainRelease:
      return "sustain level/release rate";
    case reg::kSsgEnvelope:
      return "ssg envelope";
    default:
      break;
  }
  if (r >= reg::kCh3FrequencyHigh && r < reg::kFeedbackAlgorithm)
    return "ch3 operator block/fnum high";
  if (r >= reg::kCh3FrequencyLow && r < reg::kFeedbackAlgorithm) return "ch3 operator fnum low";
  if (r >= reg::kFrequencyHigh && r < reg::kCh3FrequencyLow) return "block/fnum high";
  if (r >= reg::kFrequencyLow && r < reg::kFrequencyHigh) return "fnum low";
  if (r >= reg::kOutputModulation) return "pan/ams/pms";
  return "feedback/algorithm";
}

std::string formatEvent(const playback::Event& e) {
  char head[64];
  std::snprintf(head, sizeof head, "%10" PRIu64 " %12.6f  %-5s ", e.tick,
                playback::tickSeconds(e.tick), e.part < kPartCount ? kPartNames[e.part] : "song");
  char body[96];
  switch (e.kind) {
    case playback::EventKind::kChipWrite:
      std::snprintf(body, sizeof body, "write port %d %02X = %02X  %s", e.port, e.reg, e.value,
                    fmRegisterName(e.reg));
      break;
    case playback::EventKind::kNoteOn:
      std::snprintf(body, sizeof body, "note-on %d detune %d", e.pitch, e.detune);
      break;
    case playback::EventKind::kNoteOff:
      std::snprintf(body, sizeof body, "note-off %d", e.pitch);
      break;
    case playback::EventKind::kPitch:
      std::snprintf(body, sizeof body, "pitch %d detune %d", e.pitch, e.detune);
      break;
    case playback::EventKind::kVolume:
      std::snprintf(body, sizeof body, "volume %d", e.amount);
      break;
    case playback::EventKind::kPan:
      std::snprintf(body, sizeof body, "pan %d", e.amount);
      break;
    case playback::EventKind::kTone:
      std::snprintf(body, sizeof body, "tone %d", e.amount);
      break;
    case playback::EventKind::kTempo:
      std::snprintf(body, sizeof body, "tempo timer %d", e.amount);
      break;
    case playback::EventKind::kLoopStart:
      std::snprintf(body, sizeof body, "loop-start");
      break;
    case playback::EventKind::kEnd:
      std::snprintf(body, sizeof body, "end");
      break;
  }
  return std::string(head) + body + "\n";
}

bool listWrites(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
                OutStream& out, std::string& error) {
  playback::Player player(krb, bank, options);
  playback::Event event;
  std::string lines;
  while (player.next(event)) {
    lines += formatEvent(event);
    if (lines.size() >= (1u << 16)) {
      out.write(lines);
      lines.clear();
    }
  }
  out.write(lines);
  error = player.error();
  return error.empty();
}

}  // namespace tallow::exports
