// The signal handler that removes registered temporary files, and its table.
#include "base/temp_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace tallow {
namespace {

constexpr int kSlots = 4;
constexpr size_t kPathBytes = 4096;
constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// The exception described in the header: what the handler must see.
struct Slot {
  volatile sig_atomic_t used;
  char path[kPathBytes];
};
Slot gSlots[kSlots];
volatile sig_atomic_t gInstalled = 0;

extern "C" void removeTemporaryFiles(int signal) {
  for (Slot& slot : gSlots) {
    if (slot.used) ::unlink(slot.path);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  ::raise(signal);
}

// Blocks the three signals for the life of the object.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    ::sigemptyset(&set);
    for (int s : kSignals) ::sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_;
};

void installHandler() {
  if (gInstalled) return;
  gInstalled = 1;
  for (int s : kSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = removeTemporaryFiles;
    ::sigemptyset(&action.sa_mask);
    for (int other : kSignals) ::sigaddset(&action.sa_mask, other);
    ::sigaction(s, &action, nullptr);
  }
}

}  // namespace

void TempFileGuard::watch(const std::string& path) {
  release();
  if (path.size() >= kPathBytes) return;
  SignalsBlocked blocked;
  installHandler();
  for (int i = 0; i < kSlots; ++i) {
    if (gSlots[i].used) continue;
    std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
    gSlots[i].used = 1;
    slot_ = i;
    return;
  }
}

void TempFileGuard::release() {
  if (slot_ < 0) return;
  SignalsBlocked blocked;
  gSlots[slot_].used = 0;
  slot_ = -1;
}

}  // namespace tallow
