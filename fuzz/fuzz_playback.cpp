// libFuzzer target: the listening side on hostile KRB files.  The input is a
// KRB file, optionally followed by a tone bank, a PCM sample file and
// command-line arguments, each after its separator line:
//
//   <file.KRB> [ "\n@@bank\n" <BANK.FMB> ] [ "\n@@wav\n" <N.wav> ]
//              [ "\n@@args\n" <arguments separated by NUL bytes> ]
//
// The arguments go through krb2wav's option parser, the sample through the
// WAV reader.  The file is read with readKrb, played by the driver model
// (its chip writes fed to the FM chip model), rendered with the bank as
// krb2wav renders it, listed and summarised as krbdump does, and written as
// VGM and MIDI through the streaming writers.  Runs are kept short: a few
// seconds of song and a bound on the events.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/byte_sink.h"
#include "export/midi_writer.h"
#include "export/vgm_writer.h"
#include "export/wav_file.h"
#include "export/writes_listing.h"
#include "fmchip/fm_chip.h"
#include "krbdump/krbdump.h"
#include "output/krb_reader.h"
#include "playback/playback.h"
#include "render/render_song.h"
#include "tools/krb2wav_options.h"

namespace {

constexpr std::string_view kBankSeparator = "\n@@bank\n";
constexpr std::string_view kWavSeparator = "\n@@wav\n";
constexpr std::string_view kArgsSeparator = "\n@@args\n";

tallow::playback::Options shortRun() {
  tallow::playback::Options options;
  options.maxSeconds = 3;
  options.tailSeconds = 0.5;
  options.maxEvents = 200000;
  return options;
}

// Cuts the section after `separator` off the end of `input`.
std::string_view takeSection(std::string_view& input, std::string_view separator) {
  size_t cut = input.find(separator);
  if (cut == std::string_view::npos) return {};
  std::string_view section = input.substr(cut + separator.size());
  input = input.substr(0, cut);
  return section;
}

std::span<const uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class DiscardFrames final : public tallow::render::FrameSink {
 public:
  bool write(std::span<const int16_t>) override { return true; }
};

void parseArguments(std::string_view text) {
  std::vector<std::string> args;
  for (size_t at = 0; at <= text.size();) {
    size_t end = std::min(text.find('\0', at), text.size());
    args.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  tallow::tools::Krb2wavOptions options;
  std::string error;
  (void)tallow::tools::parseKrb2wavArgs(args, options, error);
  for (const std::string& arg : args) {
    (void)tallow::tools::parseNoteName(arg);
    (void)tallow::tools::parsePartName(arg);
  }
}

void renderLikeKrb2wav(const tallow::KrbFile& krb, std::span<const uint8_t> bank) {
  tallow::render::SongSettings settings;
  settings.play = shortRun();
  settings.play.maxSeconds = 1;
  settings.fadeSeconds = 0.25;
  tallow::render::SampleBank samples;
  DiscardFrames sink;
  tallow::render::SongResult result;
  std::string error;
  (void)tallow::render::renderSong(krb, bank, settings, samples, sink, result, error);
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
      (void)tallow::exports::formatEvent(event);
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
  parseArguments(takeSection(input, kArgsSeparator));
  std::string error;
  (void)tallow::exports::parseWav(bytesOf(takeSection(input, kWavSeparator)), error);
  std::span<const uint8_t> bank = bytesOf(takeSection(input, kBankSeparator));
  std::optional<tallow::KrbFile> krb = tallow::readKrb(bytesOf(input), error);
  if (!krb) return 0;
  play(*krb, bank);
  renderLikeKrb2wav(*krb, bank);
  tallow::KrbDumpOptions dump;
  dump.ignoreLock = true;
  (void)tallow::dumpKrb(*krb, dump);
  (void)tallow::summarizeKrb(*krb, dump);
  tallow::exports::CountingSink counter;
  tallow::exports::VgmResult vgm;
  (void)tallow::exports::renderVgm(*krb, bank, shortRun(), counter, vgm, error);
  (void)tallow::exports::renderMidi(*krb, bank, shortRun(), counter, error);
  return 0;
}
