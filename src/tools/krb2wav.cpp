// krb2wav: reads the KRB file and its bank, renders the song into the output
// file and prints the summary line.
#include "tools/krb2wav.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "base/files.h"
#include "export/audio_output.h"
#include "output/fmb_format.h"
#include "output/krb_reader.h"
#include "playback/bank_lookup.h"
#include "render/render_song.h"
#include "tools/export_tools.h"
#include "tools/krb2wav_options.h"

namespace tallow::tools {
namespace {

constexpr size_t kMaxKrbBytes = 256u << 20;
constexpr const char* kHint = "Try 'krb2wav --help' for more information.\n";

class WriterSink final : public render::FrameSink {
 public:
  explicit WriterSink(exports::AudioWriter& writer) : writer_(writer) {}
  bool write(std::span<const int16_t> interleaved) override { return writer_.write(interleaved); }

 private:
  exports::AudioWriter& writer_;
};

std::string formatLength(double seconds) {
  const long tenths = std::lround(seconds * 10);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
  return buf;
}

std::string formatPeak(float peak) {
  if (peak <= 0) return "silent";
  char buf[32];
  std::snprintf(buf, sizeof buf, "peak %.1f dBFS", 20 * std::log10(peak));
  return buf;
}

class Tool {
 public:
  Tool(const Krb2wavOptions& options, OutStream& out, OutStream& err)
      : o_(options), out_(out), err_(err) {}

  int run();

 private:
  int fail(const std::string& message) {
    err_.write("krb2wav: " + message + "\n");
    return 1;
  }
  void warn(const std::string& message) { err_.write("krb2wav: warning: " + message + "\n"); }
  std::optional<KrbFile> readInput(std::vector<uint8_t>& bytes, std::string& error);
  render::SongSettings songSettings() const;
  bool loadBank(const KrbFile& krb, std::vector<uint8_t>& bank, std::string& error);
  std::string renderFailure(const render::SongResult& result, const std::string& error) const;
  void printSummary(const render::SongResult& result);

  const Krb2wavOptions& o_;
  OutStream& out_;
  OutStream& err_;
  std::vector<uint8_t> bank_;
};

// The bank: --fmb, else the one the KRB names beside the KRB file.  Without
// one (none named, or a named one missing, which is a warning) the FM parts
// play the driver model's default tone, as krb2vgm and krb2mid do, so that
// the song can still be heard.
bool Tool::loadBank(const KrbFile& krb, std::vector<uint8_t>& bank, std::string& error) {
  std::optional<std::string> option;
  if (!o_.fmbPath.empty()) option = o_.fmbPath;
  bool missing = false;
  if (!playback::loadBank(o_.input, krb, option, bank, missing)) {
    error = "cannot read the bank " + userText(o_.fmbPath);
    return false;
  }
  if (missing) {
    warn("the bank " + userText(krb.fmbName) + ".FMB is not beside the KRB file: FM parts " +
         "play a built-in tone");
  } else if (!bank.empty() && bank.size() < kFmbFileSize) {
    warn("the bank is shorter than " + std::to_string(kFmbFileSize) + " bytes");
  }
  return true;
}

void Tool::printSummary(const render::SongResult& result) {
  std::string parts;
  for (int part = 0; part < kPartCount; ++part) {
    if (!result.stats.played[part]) continue;
    parts += parts.empty() ? "" : " ";
    parts += kPartNames[part];
  }
  std::string line = userText(o_.output) + ": " +
                     formatLength(double(result.stats.frames) / o_.rate) + " at " +
                     std::to_string(o_.rate) + " Hz, parts " + (parts.empty() ? "none" : parts) +
                     ", " + formatPeak(result.stats.peak);
  if (result.stats.clipped)
    line += ", " + std::to_string(result.stats.clipped) + " samples clipped";
  if (result.capped) line += ", cut at --max-seconds";
  // The sound itself is on standard output when the output is "-".
  (o_.output == "-" ? err_ : out_).write(line + "\n");
}

std::optional<KrbFile> Tool::readInput(std::vector<uint8_t>& bytes, std::string& error) {
  if (!readFilePrefix(o_.input, kMaxKrbBytes + 1, bytes)) {
    error = userText(o_.input) + ": cannot read the file";
    return std::nullopt;
  }
  if (bytes.size() > kMaxKrbBytes) {
    error = userText(o_.input) + ": the file is larger than 256 MiB";
    return std::nullopt;
  }
  auto krb = readKrb(bytes, error);
  if (!krb) error = userText(o_.input) + ": " + error;
  return krb;
}

render::SongSettings Tool::songSettings() const {
  render::SongSettings settings;
  settings.render.outputRate = o_.rate;
  settings.render.pcmRoot = o_.pcmRoot;
  settings.play.loops = o_.loops;
  settings.play.maxSeconds = o_.maxSeconds;
  if (o_.parts) settings.play.parts = o_.parts;
  settings.fadeSeconds = o_.fadeSeconds;
  return settings;
}

// The message of a failed render: about the output file, a sample file (its
// name is in the reason) or the KRB file.
std::string Tool::renderFailure(const render::SongResult& result, const std::string& error) const {
  switch (result.failure) {
    case render::SongFailure::kOutput:
      return userText(o_.output) + ": " + error;
    case render::SongFailure::kSample:
      return userText(error);
    default:
      return userText(o_.input) + ": " + error;
  }
}

int Tool::run() {
  std::string error;
  auto format = exports::audioFormatFor(o_.output, error);
  if (!format) {
    err_.write("krb2wav: " + error + "\n" + kHint);
    return 2;
  }
  std::vector<uint8_t> bytes;
  auto krb = readInput(bytes, error);
  if (!krb) return fail(error);
  render::SongSettings settings = songSettings();
  if (!loadBank(*krb, bank_, error)) return fail(error);
  render::SampleBank samples(o_.pcmDirectory);
  exports::AudioWriter writer;
  if (!writer.open(o_.output, *format, o_.rate, error)) {
    return fail(userText(o_.output) + ": " + error);
  }
  WriterSink sink(writer);
  render::SongResult result;
  if (!render::renderSong(*krb, bank_, settings, samples, sink, result, error)) {
    return fail(renderFailure(result, error));
  }
  if (!writer.commit(error)) return fail(userText(o_.output) + ": " + error);
  warnSilentTones("krb2wav", result.silentTone, err_);
  for (int tone : samples.missingTones()) {
    warn("no sample " + std::to_string(tone) + ".wav in " + userText(o_.pcmDirectory) + " for @" +
         std::to_string(tone) + ": the built-in voice played it");
  }
  printSummary(result);
  return 0;
}

}  // namespace

int runKrb2wav(const std::vector<std::string>& args, OutStream& out, OutStream& err) {
  Krb2wavOptions options;
  std::string error;
  switch (parseKrb2wavArgs(args, options, error)) {
    case ParseOutcome::kHelp:
      out.write(krb2wavUsage());
      return 0;
    case ParseOutcome::kUsageError:
      err.write("krb2wav: " + error + "\n" + kHint);
      return 2;
    case ParseOutcome::kRun:
      break;
  }
  return Tool(options, out, err).run();
}

}  // namespace tallow::tools
