// Compiles a score in-process several times and prints the median wall time
// of the whole run and of each stage, the throughput in MB/s of source, and
// the peak resident set of this process.
//
//   tallow_bench <file.mml> [runs]
//   tallow_bench --spawn <tallowc> <file.mml> [runs]
//   tallow_bench --compare <before> <after> <runs> <file.mml>...
//
// The second form runs the executable itself, process start included, and
// prints the median wall time of a run.  The third runs two executables on
// each file in turn, interleaved so that a change in the machine's load
// touches both alike, and prints a row per file: the median throughput and
// the peak resident set of each, and the speed-up.
//
// The peak resident set is that of one compile in a child process of its
// own, so that the timed runs cannot add to it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/paths.h"
#include "tools/tallowc.h"

namespace {

struct Sample {
  double total, preprocess, compile, output;
};

// Compiles `path` once; the exit status of the program.
int compileOnce(const std::string& path, Sample& sample) {
  tallow::StringOutStream out, err;
  tallow::StageTimes times;
  tallow::ProgramContext program;
  program.env = tallow::Environment::fromProcess();
  program.out = &out;
  program.err = &err;
  program.stageTimes = &times;
  auto start = std::chrono::steady_clock::now();
  int status = tallow::tools::runDriver({path}, program);
  double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) std::fprintf(stderr, "%s", err.text().c_str());
  sample = {total, times.preprocess, times.compile, times.output};
  return status;
}

// The peak resident set, in KiB, of one compile in a child process.
long peakOfOneCompile(const std::string& path) {
  pid_t child = fork();
  if (child == 0) {
    Sample ignored;
    _exit(compileOnce(path, ignored));
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Spawned {
  bool ok;
  double seconds;
  long peakKb;
};

// Runs `program file` once, its output discarded.
Spawned spawnOnce(const char* program, const char* file) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(program, program, file, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, seconds, usage.ru_maxrss};
}

// Runs `program file` `runs` times; prints the median wall time.
int spawnRuns(const char* program, const char* file, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    Spawned run = spawnOnce(program, file);
    if (!run.ok) return 1;
    times.push_back(run.seconds);
  }
  std::printf("%-28s %7.2f KB  process start included: %.2f ms (median of %d runs)\n",
              std::filesystem::path(file).filename().c_str(),
              std::filesystem::file_size(file) / 1024.0, 1000 * median(times), runs);
  return 0;
}

// Runs `before` and `after` on `file` alternately; prints a table row.
int compareRuns(const char* before, const char* after, int runs, const char* file) {
  std::vector<double> times[2];
  long peakKb[2] = {0, 0};
  const char* programs[2] = {before, after};
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      Spawned run = spawnOnce(programs[which], file);
      if (!run.ok) {
        std::fprintf(stderr, "%s failed on %s\n", programs[which], file);
        return 1;
      }
      times[which].push_back(run.seconds);
      peakKb[which] = std::max(peakKb[which], run.peakKb);
    }
  }
  double megabytes = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
  double rate[2] = {megabytes / median(times[0]), megabytes / median(times[1])};
  std::printf("| %-16s | %8.2f | %11.1f | %11.1f | %7.2fx | %10.1f | %10.1f |\n",
              std::filesystem::path(file).filename().c_str(), megabytes, rate[0], rate[1],
              rate[1] / rate[0], peakKb[0] / 1024.0, peakKb[1] / 1024.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--spawn") {
    return spawnRuns(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 200);
  }
  if (argc >= 6 && std::string(argv[1]) == "--compare") {
    std::printf("| %-16s | %8s | %11s | %11s | %8s | %10s | %10s |\n", "score", "MB", "before MB/s",
                "after MB/s", "speed-up", "before MiB", "after MiB");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", std::string(18, '-').c_str(),
                std::string(10, '-').c_str(), std::string(13, '-').c_str(),
                std::string(13, '-').c_str(), std::string(10, '-').c_str(),
                std::string(12, '-').c_str(), std::string(12, '-').c_str());
    int runs = std::max(1, std::atoi(argv[4]));
    for (int i = 5; i < argc; ++i) {
      if (compareRuns(argv[2], argv[3], runs, argv[i]) != 0) return 1;
    }
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: tallow_bench <file.mml> [runs]\n");
    return 2;
  }
  std::string path = argv[1];
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  double megabytes = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
  long peakKb = peakOfOneCompile(path);
  std::vector<Sample> samples(static_cast<size_t>(runs));
  for (Sample& sample : samples) {
    if (compileOnce(path, sample) != 0) return 1;
  }
  std::string krb =
      tallow::upperFileName(std::filesystem::path(path).replace_extension(".krb").string());
  uintmax_t krbSize = std::filesystem::exists(krb) ? std::filesystem::file_size(krb) : 0;
  auto column = [&](double Sample::*field) {
    std::vector<double> v;
    for (const Sample& s : samples) v.push_back(s.*field);
    return median(v);
  };
  double total = column(&Sample::total);
  std::printf(
      "%-28s %7.2f MB  total %8.4f s %8.1f MB/s  %6.1f ms/MB | preprocess %7.4f s  compile %7.4f s "
      " output %7.4f s | peak %7.1f MiB  KRB %7.2f MB\n",
      std::filesystem::path(path).filename().c_str(), megabytes, total, megabytes / total,
      1000 * total / megabytes, column(&Sample::preprocess), column(&Sample::compile),
      column(&Sample::output), peakKb / 1024.0, krbSize / (1024.0 * 1024.0));
  return 0;
}
