// The krbdump executable: lists a KRB file's header and events, one per
// line, for the parts asked for; or its summary; or what the driver model
// sends to the chip.  A file locked against reverse compilation shows its
// header only.  A file that is not a KRB file ends with a message on
// standard error and exit status 1.
#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/environment.h"
#include "base/files.h"
#include "export/writes_listing.h"
#include "krbdump/krbdump.h"
#include "playback/bank_lookup.h"

namespace {

constexpr const char* kUsage =
    "usage: krbdump [--part NAME]... [--summary | --writes [--fmb BANK]] [--ignore-lock] "
    "FILE.KRB\n"
    "\n"
    "Lists a KRB file: its header, then every event of every part with its\n"
    "offset, its bytes, its meaning and its position in steps and in\n"
    "bars:beats.\n"
    "\n"
    "  --part NAME     only this part (FM1-FM6, PCM1-PCM8, BEEP); repeatable\n"
    "  --summary       each part's length in steps and seconds, its loop, and a\n"
    "                  warning when the parts that play notes end apart\n"
    "  --writes        what the driver sends: chip register writes and notes, in time\n"
    "  --fmb BANK      the tone bank for --writes (default: the bank the file names,\n"
    "                  beside it)\n"
    "  --ignore-lock   list a file locked against reverse compilation all the same\n"
    "  --help          print this help\n";

enum class Mode { kListing, kSummary, kWrites };

struct Arguments {
  tallow::KrbDumpOptions options;
  std::string path;
  std::optional<std::string> bank;
  Mode mode = Mode::kListing;
  bool help = false;
};

// Reads the command line; false, with the message printed, on a usage error.
bool parse(int argc, char** argv, Arguments& a) {
  bool anyPart = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else if (arg == "--ignore-lock") {
      a.options.ignoreLock = true;
    } else if (arg == "--summary" || arg == "--writes") {
      a.mode = arg == "--summary" ? Mode::kSummary : Mode::kWrites;
    } else if (arg == "--fmb" && i + 1 < argc) {
      a.bank = argv[++i];
    } else if (arg == "--part" && i + 1 < argc) {
      int part = tallow::partIndex(argv[++i]);
      if (part < 0) {
        std::fprintf(stderr, "krbdump: no part is named %s (FM1-FM6, PCM1-PCM8, BEEP)\n", argv[i]);
        return false;
      }
      if (!anyPart) a.options.parts.fill(false);
      anyPart = true;
      a.options.parts[part] = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "krbdump: unknown option %s\n", arg.c_str());
      return false;
    } else if (!a.path.empty()) {
      std::fprintf(stderr, "krbdump: one file at a time\n");
      return false;
    } else {
      a.path = arg;
    }
  }
  if (a.path.empty() && !a.help) {
    std::fprintf(stderr, "krbdump: no file given\n");
    return false;
  }
  return true;
}

// The writes of the chosen parts, through the driver model.
int listWrites(const tallow::KrbFile& file, const Arguments& a, tallow::FileOutStream& out,
               tallow::FileOutStream& err) {
  std::vector<uint8_t> bank;
  bool missing = false;
  if (!tallow::playback::loadBank(a.path, file, a.bank, bank, missing)) {
    err.write(tallow::formatText("krbdump: cannot read the bank %s\n", *a.bank));
    return 1;
  }
  if (missing)
    err.say("krbdump: the bank the file names is not beside it; FM tones are a default\n");
  tallow::playback::Options options;
  options.loops = 1;
  options.parts = 0;
  for (int part = 0; part < tallow::kPartCount; ++part) {
    if (a.options.parts[part]) options.parts |= static_cast<uint16_t>(1u << part);
  }
  std::string error;
  if (!tallow::exports::listWrites(file, bank, options, out, error)) {
    err.write(tallow::formatText("krbdump: %s: ", a.path) += tallow::Text::own(error + "\n"));
    return 1;
  }
  return 0;
}

// The exit status once standard output is flushed: 1, with a message, when
// it could not take every byte (a full disk, /dev/full).
int finish(tallow::FileOutStream& out, tallow::FileOutStream& err, int status) {
  if (out.close()) return status;
  err.say("krbdump: cannot write to standard output\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  tallow::FileOutStream out(stdout, false);
  tallow::FileOutStream err(stderr, false);
  tallow::Environment env = tallow::Environment::fromProcess();
  tallow::setUpConsole(out, err, env);
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    out.write(tallow::versionLine("krbdump"));
    return finish(out, err, 0);
  }
  Arguments a;
  if (!parse(argc, argv, a)) {
    std::fprintf(stderr, "Try 'krbdump --help'.\n");
    return 2;
  }
  if (a.help) {
    out.write(std::string_view(kUsage));
    return finish(out, err, 0);
  }
  std::vector<uint8_t> bytes;
  if (!tallow::readFilePrefix(a.path, 1u << 31, bytes)) {
    err.write(tallow::formatText("krbdump: cannot read %s\n", a.path));
    return 1;
  }
  std::string error;
  std::optional<tallow::KrbFile> file = tallow::readKrb(bytes, error);
  if (!file) {
    err.write(tallow::formatText("krbdump: %s: ", a.path) += tallow::Text::own(error + "\n"));
    return 1;
  }
  if (file->locked && !a.options.ignoreLock && a.mode != Mode::kListing) {
    err.say("krbdump: the author locked this file against reverse compilation\n");
    return 1;
  }
  int status = 0;
  if (a.mode == Mode::kWrites) {
    status = listWrites(*file, a, out, err);
  } else {
    out.write(a.mode == Mode::kSummary ? tallow::summarizeKrb(*file, a.options)
                                       : tallow::dumpKrb(*file, a.options));
  }
  return finish(out, err, status);
}
