// libFuzzer target: the listening side on hostile KRB files.  The input is a
// KRB file, optionally followed by a tone bank after a separator line:
//
//   <file.KRB> [ "\n@@bank\n" <BANK.FMB> ]
//
// Each input is read with readKrb, played by the driver model (its chip
// writes fed to the FM chip model), listed, and exported
// as VGM and MIDI.  Runs are kept short: a few seconds of song and a bound on
// the events.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/midi_writer.h"
#include "export/vgm_writer.h"
#include "export/writes_listing.h"
#include "fmchip/fm_chip.h"
#include "output/krb_reader.h"
#include "playback/playback.h"

namespace {

constexpr std::string_view kBankSeparator = "\n@@bank\n";

tallow::playback::Options shortRun() {
  tallow::playback::Options options;
  options.maxSeconds = 3;
  options.tailSeconds = 0.5;
  options.maxEvents = 200000;
  return options;
}

// Plays the file and hands every chip write to the chip, rendering the time
// between them.
void play(const tallow::KrbFile& krb, std::span<const uint8_t> bank) {
  tallow::playback::Player player(krb, bank, shortRun());
  tallow::playback::Event event;
  size_t listed = 0;
  tallow::fmchip::FmChip chip;
  std::array<float, 1024> left{}, right{};
  uint64_t rendered = 0;  // chip samples, at 1 tick = 18 us and clock / 144 a second
  while (player.next(event)) {
    if (listed < 64) {
      ++listed;
      (void)tallow::playback::formatEvent(event);
    }
    uint64_t due = event.tick * 18 * (tallow::fmchip::FmChip::kDefaultClock / 144) / 1000000;
    while (rendered < due) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(due - rendered, left.size()));
      chip.generate(std::span<float>(left.data(), n), std::span<float>(right.data(), n));
      rendered += n;
    }
    if (event.kind == tallow::playback::EventKind::kChipWrite) {
      chip.write(event.port, event.reg, event.value);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find(kBankSeparator);
  std::span<const uint8_t> krbBytes(data, cut == std::string_view::npos ? size : cut);
  std::span<const uint8_t> bank;
  if (cut != std::string_view::npos) {
    bank = std::span<const uint8_t>(data + cut + kBankSeparator.size(),
                                    size - cut - kBankSeparator.size());
  }
  std::string error;
  std::optional<tallow::KrbFile> krb = tallow::readKrb(krbBytes, error);
  if (!krb) return 0;
  play(*krb, bank);
  tallow::playback::VgmResult vgm;
  (void)tallow::playback::renderVgm(*krb, bank, shortRun(), vgm, error);
  std::vector<uint8_t> midi;
  (void)tallow::playback::renderMidi(*krb, shortRun(), midi, error);
  return 0;
}
