// The worker's state and the files it makes.
#include "web/playground.h"

#include <algorithm>
#include <cstdio>

#include "export/midi_writer.h"
#include "export/vgm_writer.h"
#include "export/wav_file.h"
#include "krbdump/krbdump.h"

namespace tallow::web {
namespace {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Collects the rendered frames of a WAV file after its header.
class WavBytes final : public render::FrameSink {
 public:
  explicit WavBytes(std::vector<uint8_t>& out) : out_(out) {
    out_.resize(exports::wav::kHeaderSize);
  }
  bool write(std::span<const int16_t> interleaved) override {
    for (int16_t s : interleaved) {
      out_.push_back(static_cast<uint8_t>(s & 0xFF));
      out_.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return true;
  }

 private:
  std::vector<uint8_t>& out_;
};

constexpr uint32_t kExportRate = 44100;

}  // namespace

int Playground::compile(const std::string& mainName, const Environment& env) {
  outcome_ = compileInCurrentDirectory(mainName, env);
  if (outcome_.status == 0) {
    krb_ = outcome_.krb;
    fmb_ = outcome_.fmb;
  }
  return outcome_.status;
}

std::string Playground::diagnosticsJson() const {
  std::string json = "[";
  for (const Diagnostic& d : outcome_.diagnostics) {
    if (json.size() > 1) json += ",";
    json += "{\"file\":" + jsonString(d.file) + ",\"line\":" + std::to_string(d.line) +
            ",\"column\":" + std::to_string(d.column) + ",\"severity\":" + jsonString(d.severity) +
            ",\"text\":" + jsonString(d.text) + "}";
  }
  return json + "]";
}

std::string Playground::summary() const {
  std::string error;
  auto krb = readKrb(krb_, error);
  return krb ? summarizeKrb(*krb).utf8() : error;
}

std::string Playground::dump(int part, size_t maxBytes) const {
  std::string error;
  auto krb = readKrb(krb_, error);
  if (!krb) return error;
  KrbDumpOptions options;
  options.parts.fill(false);
  if (part >= 0 && part < kPartCount) options.parts[part] = true;
  std::string text = dumpKrb(*krb, options).utf8();
  if (text.size() > maxBytes) {
    text.resize(maxBytes);
    text.resize(text.rfind('\n') + 1);
    text += "...\n";
  }
  return text;
}

bool Playground::makeExport(ExportKind kind, const std::string& sampleDir,
                            std::vector<uint8_t>& out, std::string& error) const {
  auto krb = readKrb(krb_, error);
  if (!krb) return false;
  out.clear();
  if (kind == ExportKind::kVgm) {
    exports::VgmResult result;
    if (!exports::renderVgm(*krb, fmb_, playback::Options{}, result, error)) return false;
    out = std::move(result.bytes);
    return true;
  }
  if (kind == ExportKind::kMidi) return exports::renderMidi(*krb, playback::Options{}, out, error);
  render::SongSettings settings;
  settings.render.outputRate = kExportRate;
  render::SampleBank samples(sampleDir);
  WavBytes sink(out);
  render::SongResult result;
  if (!render::renderSong(*krb, fmb_, settings, samples, sink, result, error)) return false;
  std::vector<uint8_t> header = exports::wavHeader(kExportRate, 2, result.stats.frames);
  std::copy(header.begin(), header.end(), out.begin());
  return true;
}

bool Playground::play(uint32_t rate, uint16_t mask, double startSeconds,
                      const std::string& sampleDir, std::string& error) {
  render::SongSettings settings;
  settings.render.outputRate = rate;
  settings.play.parts = mask;
  stream_ = SongStream::open(krb_, fmb_, sampleDir, settings, error);
  if (!stream_) return false;
  uint64_t frame = static_cast<uint64_t>(std::max(0.0, startSeconds) * rate);
  return stream_->seek(frame, error);
}

}  // namespace tallow::web
