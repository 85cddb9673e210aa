#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace tallow::testing {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

[[noreturn]] void execChild(const std::string& program, const std::vector<std::string>& args,
                            const std::string& dir, const std::string& tmpdir,
                            const ProcessLimits& limits, const std::string& outPath,
                            const std::string& errPath) {
  if (::chdir(dir.c_str()) != 0) ::_exit(127);
  int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
  if (limits.fileSizeLimit >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit r{static_cast<rlim_t>(limits.fileSizeLimit), static_cast<rlim_t>(limits.fileSizeLimit)};
    ::setrlimit(RLIMIT_FSIZE, &r);
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
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) execChild(program, args, dir, tmpdir, limits, outPath, errPath);
  ProcessResult result;
  int status = 0;
  rusage usage{};
  for (;;) {
    pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limits.watchdogSeconds)) {
      ::kill(pid, SIGKILL);
      result.timedOut = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.maxRssKb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  ::rmdir(capture.c_str());
  return result;
}

}  // namespace tallow::testing
