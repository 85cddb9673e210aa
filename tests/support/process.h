// Running the real tallowc executable in a child process, with the resource
// limits and measurements the hostile-input tests need.
#pragma once

#include <string>
#include <vector>

namespace tallow::testing {

struct ProcessLimits {
  long fileSizeLimit = -1;   // RLIMIT_FSIZE in bytes (SIGXFSZ ignored); -1: none
  int watchdogSeconds = 20;  // the child is killed after this long
};

struct ProcessResult {
  int status = -1;  // exit status; -1 when killed by a signal
  int signal = 0;   // the signal that ended the child, if any
  bool timedOut = false;
  long maxRssKb = 0;   // peak resident set of the child
  double seconds = 0;  // wall time
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `dir`, with TMPDIR set to `tmpdir` and
// KRHPATH/FMINST unset.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, const std::string& tmpdir,
                         const ProcessLimits& limits = {});

}  // namespace tallow::testing
