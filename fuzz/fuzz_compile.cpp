// libFuzzer target: the whole pipeline in-process.  The input is a main
// source, optionally followed by an included file and a tone bank, each
// introduced by a separator line:
//
//   <song.mml> [ "\n@@include\n" <inc.mml> ] [ "\n@@bank\n" <BANK.FMB> ]
//
// The files are written into a private scratch directory (the current
// directory while fuzzing) and compiled with /nokrb.  Bank names with path
// separators are defused first, so that a fuzzed `.fmbfile` line cannot
// write a bank outside the scratch directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tallowc.h"

namespace {

constexpr std::string_view kIncludeSeparator = "\n@@include\n";
constexpr std::string_view kBankSeparator = "\n@@bank\n";

void writeFile(const char* name, std::string_view bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Turns '/' and '\' into '_' on every line that names a bank file.
std::string defuseBankNames(std::string text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t word = text.find_first_not_of(" \t", start);
    if (word < end && (text.compare(word, 3, ".fm") == 0 || text.compare(word, 3, ".FM") == 0 ||
                       text.compare(word, 3, ".Fm") == 0 || text.compare(word, 3, ".fM") == 0)) {
      for (size_t i = word; i < end; ++i) {
        if (text[i] == '/' || text[i] == '\\') text[i] = '_';
      }
    }
    start = end + 1;
  }
  return text;
}

struct Scratch {
  Scratch() {
    char pattern[] = "/tmp/tallow-fuzz-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (dir == nullptr || ::chdir(dir) != 0) std::abort();
    path = dir;
    if (::mkdir("tmp", 0700) != 0 || ::mkdir("inc", 0700) != 0) std::abort();
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;  // created once, then reused by every run
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string bank;
  if (size_t at = input.find(kBankSeparator); at != std::string::npos) {
    bank = input.substr(at + kBankSeparator.size());
    input.resize(at);
  }
  std::string include;
  if (size_t at = input.find(kIncludeSeparator); at != std::string::npos) {
    include = input.substr(at + kIncludeSeparator.size());
    input.resize(at);
  }
  writeFile("song.mml", defuseBankNames(input));
  writeFile("inc/inc.mml", defuseBankNames(include));
  writeFile("BANK.FMB", bank);

  tallow::StringOutStream out;
  tallow::StringOutStream err;
  tallow::ProgramContext program;
  program.env.krhpath = scratch.path + "/inc";
  program.env.fminst = scratch.path + "/inc";
  program.env.tmpdir = scratch.path + "/tmp";
  program.out = &out;
  program.err = &err;
  tallow::tools::runDriver({"song.mml", "/nokrb"}, program);
  return 0;
}
