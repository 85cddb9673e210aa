// The command line of krb2wav: `krb2wav [options] IN.KRB OUT.wav`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallow::tools {

struct Krb2wavOptions {
  std::string input;
  std::string output;
  std::string fmbPath;  // empty: the bank the KRB header names, beside the KRB
  std::string pcmDirectory;
  uint32_t rate = 44100;
  int loops = 2;
  double fadeSeconds = 4;
  double maxSeconds = 900;
  int pcmRoot = 60;    // o4c
  uint16_t parts = 0;  // bit n: part n is rendered; 0: every part
};

enum class ParseOutcome { kRun, kHelp, kUsageError };

// Reads `args` (without the program name).  On a usage error `error` holds
// a one-line message.
ParseOutcome parseKrb2wavArgs(const std::vector<std::string>& args, Krb2wavOptions& options,
                              std::string& error);

// The usage text printed by --help.
std::string krb2wavUsage();

// A note written as in MML ("o4c", "o3a+", "O5B-") or as a number 0-127.
std::optional<int> parseNoteName(std::string_view text);

// The part index of a name "FM1".."FM6", "PCM1".."PCM8", "BEEP" in any case.
std::optional<int> parsePartName(std::string_view text);

}  // namespace tallow::tools
