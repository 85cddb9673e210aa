// Running the real tallowc executable in a child process, with the resource
// limits and measurements the hostile-input tests need.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tallow::testing {

// Where the child's standard output and error go.
enum class ChildStreams {
  kSeparate,  // two files: `out` and `err`
  kMerged,    // one file, as "2>&1" makes it: all in `out`
  kTerminal,  // a pseudo-terminal (raw mode) for both: all in `out`
};

struct ProcessLimits {
  long fileSizeLimit = -1;      // RLIMIT_FSIZE in bytes (SIGXFSZ ignored); -1: none
  long addressSpaceLimit = -1;  // RLIMIT_AS in bytes; -1: none
  int watchdogSeconds = 20;     // the child is killed after this long
  int terminateAfterMs = -1;    // SIGTERM after this long; -1: never
  ChildStreams streams = ChildStreams::kSeparate;
  std::vector<std::pair<std::string, std::string>> env = {};  // variables set in the child
};

struct ProcessResult {
  int status = -1;  // exit status; -1 when killed by a signal
  int signal = 0;   // the signal that ended the child, if any
  bool timedOut = false;
  long maxRssKb = 0;      // peak resident set of the child
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user and system time of the child
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `dir`, with TMPDIR set to `tmpdir` and
// KRHPATH/FMINST unset.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, const std::string& tmpdir,
                         const ProcessLimits& limits = {});

}  // namespace tallow::testing
