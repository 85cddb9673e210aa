// Parsing the krb2wav command line: options with a value (`--rate 48000` or
// `--rate=48000`), two file names, range checks with one-line messages.
#include "tools/krb2wav_options.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "base/parts.h"
#include "export/audio_output.h"

namespace tallow::tools {
namespace {

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;
constexpr int kMaxLoops = 100;
constexpr double kMaxFadeSeconds = 60;
constexpr double kMaxRenderSeconds = 3600;  // keeps a WAV file far below 4 GiB
constexpr int kMaxNote = 127;
constexpr int kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::optional<long> parseInteger(std::string_view text) {
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseNumber(std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

class ArgReader {
 public:
  ArgReader(const std::vector<std::string>& args, std::string& error)
      : args_(args), error_(error) {}

  ParseOutcome run(Krb2wavOptions& options);

 private:
  bool option(std::string_view name, std::string_view value, Krb2wavOptions& options);
  bool fail(const std::string& message) {
    error_ = message;
    return false;
  }
  template <typename T>
  bool inRange(std::string_view name, std::optional<T> value, T low, T high, T& out) {
    if (!value || *value < low || *value > high) {
      return fail("--" + std::string(name) + " needs a number from " + format(low) + " to " +
                  format(high));
    }
    out = *value;
    return true;
  }
  template <typename T>
  static std::string format(T v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, end);
  }

  const std::vector<std::string>& args_;
  std::string& error_;
};

bool ArgReader::option(std::string_view name, std::string_view value, Krb2wavOptions& o) {
  if (name == "fmb") {
    o.fmbPath = value;
  } else if (name == "pcm") {
    o.pcmDirectory = value;
  } else if (name == "rate") {
    long rate = 0;
    if (!inRange<long>(name, parseInteger(value), kMinRate, kMaxRate, rate)) return false;
    o.rate = static_cast<uint32_t>(rate);
  } else if (name == "loops") {
    long loops = 0;
    if (!inRange<long>(name, parseInteger(value), 1, kMaxLoops, loops)) return false;
    o.loops = static_cast<int>(loops);
  } else if (name == "fade") {
    return inRange<double>(name, parseNumber(value), 0, kMaxFadeSeconds, o.fadeSeconds);
  } else if (name == "max-seconds") {
    if (!inRange<double>(name, parseNumber(value), 0, kMaxRenderSeconds, o.maxSeconds)) {
      return false;
    }
    if (o.maxSeconds <= 0) return fail("--max-seconds needs a number above 0");
  } else if (name == "pcm-root") {
    auto note = parseNoteName(value);
    if (!note) return fail("--pcm-root needs a note such as o4c or a number from 0 to 127");
    o.pcmRoot = *note;
  } else if (name == "part") {
    auto part = parsePartName(value);
    if (!part) return fail("--part needs a part name: FM1-FM6, PCM1-PCM8 or BEEP");
    o.parts |= static_cast<uint16_t>(1u << *part);
  } else {
    return fail("unknown option --" + std::string(name));
  }
  return true;
}

ParseOutcome ArgReader::run(Krb2wavOptions& options) {
  std::vector<std::string> files;
  for (size_t i = 0; i < args_.size(); ++i) {
    std::string_view arg = args_[i];
    if (arg == "--help" || arg == "-h") return ParseOutcome::kHelp;
    if (arg.size() < 2 || arg.substr(0, 2) != "--") {
      files.emplace_back(arg);
      continue;
    }
    std::string_view name = arg.substr(2);
    std::string value;
    if (size_t eq = name.find('='); eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    } else if (i + 1 < args_.size()) {
      value = args_[++i];
    } else {
      fail("--" + std::string(name) + " needs a value");
      return ParseOutcome::kUsageError;
    }
    if (!option(name, value, options)) return ParseOutcome::kUsageError;
  }
  if (files.size() != 2) {
    fail(files.size() < 2 ? "an input KRB file and an output file are needed"
                          : "too many file names");
    return ParseOutcome::kUsageError;
  }
  options.input = files[0];
  options.output = files[1];
  return ParseOutcome::kRun;
}

}  // namespace

ParseOutcome parseKrb2wavArgs(const std::vector<std::string>& args, Krb2wavOptions& options,
                              std::string& error) {
  return ArgReader(args, error).run(options);
}

std::string krb2wavUsage() {
  return "Usage: krb2wav [options] IN.KRB OUT.wav\n"
         "Renders a KRB file to a 16-bit stereo sound file.\n"
         "\n"
         "Options:\n"
         "  --rate HZ          output sample rate, 8000-192000 (default 44100)\n"
         "  --fmb BANK         FM tone bank (default: the bank the KRB names, beside it)\n"
         "  --loops N          times an endless loop plays, 1-100 (default 2)\n"
         "  --fade SECONDS     fade-out after the loops, 0-60 (default 4)\n"
         "  --max-seconds S    longest render, up to 3600 (default 900)\n"
         "  --part NAME        render only this part (FM1-FM6, PCM1-PCM8, BEEP); repeatable\n"
         "  --pcm DIR          PCM tone N plays the sample DIR/N.wav\n"
         "  --pcm-root NOTE    the note a sample plays at its own pitch (default o4c)\n"
         "  --help             print this text\n"
         "\n"
         "The output format follows the extension: " +
         std::string(exports::haveSndfile() ? ".wav, .flac or .ogg" : ".wav") + ".\n";
}

std::optional<int> parseNoteName(std::string_view text) {
  if (auto number = parseInteger(text)) {
    if (*number < 0 || *number > kMaxNote) return std::nullopt;
    return static_cast<int>(*number);
  }
  const std::string t = lower(text);
  if (t.size() < 3 || t[0] != 'o' || t[1] < '0' || t[1] > '8' || t[2] < 'a' || t[2] > 'g') {
    return std::nullopt;
  }
  int note = (t[1] - '0' + 1) * 12 + kSemitones[t[2] - 'a'];
  for (size_t i = 3; i < t.size(); ++i) {
    if (t[i] == '+' || t[i] == '#') {
      ++note;
    } else if (t[i] == '-') {
      --note;
    } else {
      return std::nullopt;
    }
  }
  if (note < 0 || note > kMaxNote) return std::nullopt;
  return note;
}

std::optional<int> parsePartName(std::string_view text) {
  const std::string name = lower(text);
  for (int part = 0; part < kPartCount; ++part) {
    if (name == lower(kPartNames[part])) return part;
  }
  return std::nullopt;
}

}  // namespace tallow::tools
