// Removing the temporary files of a process that SIGINT, SIGTERM or SIGHUP
// stops, so that an interrupted write leaves only the previous output.
//
// A signal handler can reach only global state, so this file holds the one
// piece of mutable global state of the programs: a small table of the paths
// of the temporary files that exist right now.  It is edited with the three
// signals blocked, and the handler only calls unlink, sigaction and raise
// (all async-signal-safe) before the signal ends the process as it would
// have without the handler.  A signal the process ignores stays ignored.
#pragma once

#include <string>

namespace tallow {

// Registers `path` for removal on those signals while the guard lives (a
// path too long for the table, or a full table, is not registered).
class TempFileGuard {
 public:
  TempFileGuard() = default;
  explicit TempFileGuard(const std::string& path) { watch(path); }
  ~TempFileGuard() { release(); }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

  void watch(const std::string& path);
  // Forgets the path (it was renamed into place or removed).
  void release();

 private:
  int slot_ = -1;
};

}  // namespace tallow
