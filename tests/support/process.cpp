#include "support/process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

// Connects the child's standard output and error as `limits` asks.
void connectStreams(const ProcessLimits& limits, const std::string& outPath,
                    const std::string& errPath, int terminal) {
  int out = -1, err = -1;
  if (limits.streams == ChildStreams::kTerminal) {
    ::setsid();
    ::ioctl(terminal, TIOCSCTTY, 0);
    out = err = terminal;
  } else {
    out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    err = limits.streams == ChildStreams::kMerged
              ? out
              : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
}

[[noreturn]] void execChild(const std::string& program, const std::vector<std::string>& args,
                            const std::string& dir, const std::string& tmpdir,
                            const ProcessLimits& limits, const std::string& outPath,
                            const std::string& errPath, int terminal) {
  if (::chdir(dir.c_str()) != 0) ::_exit(127);
  connectStreams(limits, outPath, errPath, terminal);
  // The child starts from the C locale and the program's defaults whatever
  // the test runner's environment holds; a case sets what it tests.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG", "TALLOWC_LANG",
                           "TALLOWC_ENCODING", "TALLOWC_DIAGNOSTICS"}) {
    ::unsetenv(name);
  }
  for (const auto& [name, value] : limits.env) ::setenv(name.c_str(), value.c_str(), 1);
  if (limits.fileSizeLimit >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit r{static_cast<rlim_t>(limits.fileSizeLimit), static_cast<rlim_t>(limits.fileSizeLimit)};
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
  if (limits.addressSpaceLimit >= 0) {
    rlimit r{static_cast<rlim_t>(limits.addressSpaceLimit),
             static_cast<rlim_t>(limits.addressSpaceLimit)};
    ::setrlimit(RLIMIT_AS, &r);
  }
  ::setenv("TMPDIR", tmpdir.c_str(), 1);
  ::unsetenv("KRHPATH");
  ::unsetenv("FMINST");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, const std::string& tmpdir,
                         const ProcessLimits& limits) {
  // The captured streams live outside `dir` and `tmpdir`, which tests inspect.
  char pattern[] = "/tmp/tallow-child-XXXXXX";
  std::string capture = ::mkdtemp(pattern) ? pattern : "/tmp";
  std::string outPath = capture + "/out", errPath = capture + "/err";
  int master = -1, terminal = -1;
  if (limits.streams == ChildStreams::kTerminal) {
    termios raw{};
    ::cfmakeraw(&raw);  // no "\r" added before line feeds
    if (::openpty(&master, &terminal, nullptr, &raw, nullptr) != 0) return {};
    ::fcntl(master, F_SETFL, O_NONBLOCK);
  }
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) execChild(program, args, dir, tmpdir, limits, outPath, errPath, terminal);
  if (terminal >= 0) ::close(terminal);
  ProcessResult result;
  std::string shown;  // what the terminal received
  auto drain = [&] {
    char buffer[4096];
    for (ssize_t n; master >= 0 && (n = ::read(master, buffer, sizeof buffer)) > 0;) {
      shown.append(buffer, static_cast<size_t>(n));
    }
  };
  int status = 0;
  rusage usage{};
  for (;;) {
    drain();
    pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (limits.terminateAfterMs >= 0 && std::chrono::steady_clock::now() - start >
                                            std::chrono::milliseconds(limits.terminateAfterMs)) {
      ::kill(pid, SIGTERM);
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limits.watchdogSeconds)) {
      ::kill(pid, SIGKILL);
      result.timedOut = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.maxRssKb = usage.ru_maxrss;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  drain();
  if (master >= 0) ::close(master);
  result.out = master >= 0 ? shown : readFile(outPath);
  result.err = limits.streams == ChildStreams::kSeparate ? readFile(errPath) : "";
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  ::rmdir(capture.c_str());
  return result;
}

}  // namespace tallow::testing
