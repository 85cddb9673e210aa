// The two export tools: their options, reading the KRB file and its bank,
// rendering and writing the output file.
#include "tools/export_tools.h"

#include <charconv>
#include <optional>

#include "base/files.h"
#include "base/output_file.h"
#include "export/midi_writer.h"
#include "export/vgm_writer.h"
#include "output/krb_reader.h"
#include "playback/bank_lookup.h"

namespace tallow::tools {
namespace {

constexpr size_t kMaxKrbBytes = size_t{1} << 31;
constexpr int kMaxLoops = 1000;
constexpr double kMaxSecondsLimit = 86400;

struct ToolSpec {
  const char* name;
  const char* usage;
  bool takesBank;
};

constexpr ToolSpec kVgmTool = {
    "krb2vgm",
    "usage: krb2vgm [options] IN.KRB OUT.vgm\n"
    "Writes the FM parts of a KRB file as a VGM file (YM2608, 44100 Hz waits).\n"
    "PCM and BEEP parts are not in it.\n"
    "\n"
    "options:\n"
    "  --fmb BANK         the FM tone bank (default: the bank the KRB file names,\n"
    "                     looked up beside it in any case)\n"
    "  --loops N          passes of the endless loops when the parts do not loop\n"
    "                     together (default 2; a song whose parts agree loops in the file)\n"
    "  --max-seconds S    stop after S seconds (default 900)\n"
    "  --help             show this text\n",
    true};

constexpr ToolSpec kMidiTool = {
    "krb2mid",
    "usage: krb2mid [options] IN.KRB OUT.mid\n"
    "Writes a KRB file as a Standard MIDI File (type 1, one track per part).\n"
    "\n"
    "options:\n"
    "  --loops N          passes of the endless loops (default 2)\n"
    "  --max-seconds S    stop after S seconds (default 900)\n"
    "  --help             show this text\n",
    false};

struct ToolArgs {
  std::string in, out;
  std::optional<std::string> fmb;
  playback::Options options;
  bool help = false;
};

int usageError(const ToolSpec& tool, OutStream& err, const std::string& message) {
  err.write(std::string(tool.name) + ": " + message + "\n");
  err.write(std::string("Try '") + tool.name + " --help' for more information.\n");
  return 2;
}

bool parseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// 0 to go on; otherwise the exit status (usage printed or an error).
int parseArgs(const ToolSpec& tool, const std::vector<std::string>& args, ToolArgs& a,
              OutStream& err) {
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help") {
      a.help = true;
      return 0;
    }
    bool valued = arg == "--loops" || arg == "--max-seconds" || (tool.takesBank && arg == "--fmb");
    if (valued && i + 1 == args.size())
      return usageError(tool, err, "option " + arg + " needs a value");
    if (arg == "--fmb" && tool.takesBank) {
      a.fmb = args[++i];
    } else if (arg == "--loops") {
      double n;
      if (!parseNumber(args[++i], n) || n < 1 || n > kMaxLoops || n != static_cast<int>(n)) {
        return usageError(tool, err, "--loops takes a whole number from 1 to 1000");
      }
      a.options.loops = static_cast<int>(n);
    } else if (arg == "--max-seconds") {
      double s;
      if (!parseNumber(args[++i], s) || !(s > 0) || s > kMaxSecondsLimit) {
        return usageError(tool, err,
                          "--max-seconds takes a number of seconds above 0, at most 86400");
      }
      a.options.maxSeconds = s;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError(tool, err, "unknown option " + userText(arg));
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2)
    return usageError(tool, err, "expected an input KRB file and an output file");
  a.in = files[0];
  a.out = files[1];
  return 0;
}

int inputError(const ToolSpec& tool, OutStream& err, const std::string& message) {
  err.write(std::string(tool.name) + ": " + message + "\n");
  return 1;
}

// Parses the command line, reads the KRB file and its bank, and calls
// `render`, which fills the output bytes; writes them.
template <typename Render>
int runTool(const ToolSpec& tool, const std::vector<std::string>& args, OutStream& out,
            OutStream& err, Render render) {
  ToolArgs a;
  if (int status = parseArgs(tool, args, a, err)) return status;
  if (a.help) {
    out.write(tool.usage);
    return 0;
  }
  std::vector<uint8_t> bytes;
  if (!readFilePrefix(a.in, kMaxKrbBytes, bytes)) {
    return inputError(tool, err, "cannot read " + userText(a.in));
  }
  std::string error;
  std::optional<KrbFile> krb = readKrb(bytes, error);
  if (!krb) return inputError(tool, err, userText(a.in) + ": " + error);
  std::vector<uint8_t> bank;
  if (tool.takesBank) {
    bool missing = false;
    if (!playback::loadBank(a.in, *krb, a.fmb, bank, missing)) {
      return inputError(tool, err, "cannot read the bank " + userText(*a.fmb));
    }
    if (missing) {
      err.write(std::string(tool.name) + ": the bank " + userText(krb->fmbName) +
                ".FMB is not beside the KRB file: FM parts play a built-in tone\n");
    }
  } else {
    // Only for the warnings about silent tones: without the bank, none.
    bool missing = false;
    if (!playback::loadBank(a.in, *krb, std::nullopt, bank, missing)) bank.clear();
  }
  OutputFile output;
  if (!output.open(a.out)) return inputError(tool, err, "cannot create " + userText(a.out));
  exports::OutputSink sink(output);
  if (!render(*krb, bank, a.options, sink, error)) {
    return inputError(tool, err, userText(a.in) + ": " + error);
  }
  if (!output.commit()) return inputError(tool, err, "cannot write " + userText(a.out));
  return 0;
}

}  // namespace

std::string userText(std::string_view bytes) { return std::string(bytes); }

void warnSilentTones(std::string_view tool,
                     const std::array<std::optional<playback::SilentTone>, kPartCount>& silent,
                     OutStream& err) {
  for (int part = 0; part < kPartCount; ++part) {
    if (silent[part]) {
      err.write(std::string(tool) +
                ": warning: " + playback::silentToneWarning(part, *silent[part]) + "\n");
    }
  }
}

int runKrb2Vgm(const std::vector<std::string>& args, OutStream& out, OutStream& err) {
  return runTool(
      kVgmTool, args, out, err,
      [&err](const KrbFile& krb, const std::vector<uint8_t>& bank, const playback::Options& options,
             exports::ByteSink& output, std::string& error) {
        exports::VgmResult result;
        if (!exports::renderVgm(krb, bank, options, output, result, error)) return false;
        warnSilentTones("krb2vgm", result.silentTone, err);
        if (result.loopsDisagree) {
          err.write("krb2vgm: the FM parts do not loop together: " + std::to_string(options.loops) +
                    " passes are written, without a loop\n");
        }
        if (result.otherNotes) {
          err.write("krb2vgm: the PCM and BEEP parts are not in the VGM file\n");
        }
        return true;
      });
}

int runKrb2Mid(const std::vector<std::string>& args, OutStream& out, OutStream& err) {
  return runTool(
      kMidiTool, args, out, err,
      [&err](const KrbFile& krb, const std::vector<uint8_t>& bank, const playback::Options& options,
             exports::ByteSink& output, std::string& error) {
        playback::Summary summary;
        if (!exports::renderMidi(krb, bank, options, output, error, &summary)) return false;
        warnSilentTones("krb2mid", summary.silentTone, err);
        return true;
      });
}

}  // namespace tallow::tools
