// The listening tools on a dense song and on unusual outputs, through the
// real executables: bounded time and memory, the same bytes through a file,
// a FIFO and standard output, a message for every output that cannot be
// written, and no temporary file left by SIGTERM.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <thread>

#include "support/playback_support.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

std::string bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The fastest tempo; six FM parts each loop a tone change and a one-step
// note 255 x 255 x 255 times (361 bytes).
std::string denseKrb() {
  const std::vector<uint8_t> body = {0x95, 0x95, 0x95, 0x81, 1,    60,   1,
                                     0,    0x96, 0xFE, 0x96, 0xFE, 0x96, 0xFE};
  std::vector<std::vector<uint8_t>> streams(6, body);
  streams[0].insert(streams[0].begin(), {0x80, 0xFF, 0x03});
  return bytes(makeKrb(streams));
}

// A tone change, volume, pan and notes, looping once: every writer has work.
std::string smallKrb() {
  return bytes(makeKrb({{0x81, 0, 0x84, 100, 0x93, 64, 0x95, 0x3C, 24, 0, 0x40, 12, 0, 0x96, 1},
                        {},
                        {},
                        {},
                        {},
                        {},
                        {0x3C, 48, 0}}));
}

struct Run {
  const char* name;
  const char* binary;
  std::vector<std::string> args;
};

std::string runName(const ::testing::TestParamInfo<Run>& info) { return info.param.name; }
void PrintTo(const Run& run, std::ostream* os) { *os << run.name; }

class DenseSong : public ::testing::TestWithParam<Run> {};

// Exit 1 with one line, or a bounded result; within 30 s of CPU and 64 MiB
// under a limit of 1,000,000 KiB of address space.
TEST_P(DenseSong, EndsBoundedOrRefusedInOneLine) {
  TempDir dir;
  dir.write("DENSE.KRB", denseKrb());
  ProcessLimits limits;
  limits.watchdogSeconds = 120;
#ifndef TALLOW_SANITIZED
  limits.addressSpaceLimit = 1000000L * 1024;
#endif
  ProcessResult r = runProcess(GetParam().binary, GetParam().args, dir.path(), dir.path(), limits);
  ASSERT_EQ(r.signal, 0) << r.err;
  ASSERT_TRUE(r.status == 0 || r.status == 1) << r.err;
  if (r.status == 1) {
    EXPECT_NE(r.err.find("too dense"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
#ifndef TALLOW_SANITIZED
  EXPECT_LT(r.cpuSeconds, 30);
  EXPECT_LT(r.maxRssKb, 64 * 1024);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Tools, DenseSong,
    ::testing::Values(Run{"Vgm", KRB2VGM_BINARY, {"DENSE.KRB", "out.vgm"}},
                      Run{"Mid", KRB2MID_BINARY, {"DENSE.KRB", "out.mid"}},
                      Run{"Wav", KRB2WAV_BINARY, {"DENSE.KRB", "out.wav"}},
                      Run{"Summary", KRBDUMP_BINARY, {"--summary", "DENSE.KRB"}},
                      Run{"Writes", KRBDUMP_BINARY, {"--writes", "DENSE.KRB"}}),
    runName);

struct Export {
  const char* name;
  const char* binary;
  const char* extension;
};

void PrintTo(const Export& e, std::ostream* os) { *os << e.name; }

class ExportOutputs : public ::testing::TestWithParam<Export> {};

// A FIFO and "-" get the bytes of the file; a WAV stream declares the sizes
// of a stream of unknown length, which only the end of a file can give.
TEST_P(ExportOutputs, FifoAndStandardOutputGetTheBytes) {
  const Export& e = GetParam();
  TempDir dir;
  dir.write("SONG.KRB", smallKrb());
  const std::string file = std::string("out.") + e.extension;
  ASSERT_EQ(runProcess(e.binary, {"SONG.KRB", file}, dir.path(), dir.path()).status, 0);
  std::string expected = dir.read(file);
  if (std::string(e.extension) == "wav") {
    expected.replace(4, 4, "\xFF\xFF\xFF\xFF").replace(40, 4, "\xFF\xFF\xFF\xFF");
  }
  ProcessResult piped = runProcess(e.binary, {"SONG.KRB", "-"}, dir.path(), dir.path());
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == expected);

  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = readFile(dir.file("fifo")); });
  ProcessResult fifo = runProcess(e.binary, {"SONG.KRB", "fifo"}, dir.path(), dir.path());
  reader.join();
  EXPECT_EQ(fifo.status, 0) << fifo.err;
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
  EXPECT_TRUE(got == expected);
}

INSTANTIATE_TEST_SUITE_P(Tools, ExportOutputs,
                         ::testing::Values(Export{"Vgm", KRB2VGM_BINARY, "vgm"},
                                           Export{"Mid", KRB2MID_BINARY, "mid"},
                                           Export{"Wav", KRB2WAV_BINARY, "wav"}),
                         [](const ::testing::TestParamInfo<Export>& info) {
                           return std::string(info.param.name);
                         });

class FullOutput : public ::testing::TestWithParam<Run> {};

// Standard output is /dev/full (and so is the output file, where there is
// one): exit 1 and a message saying what could not be written.
TEST_P(FullOutput, ExitOneWithAMessage) {
  TempDir dir;
  dir.write("SONG.KRB", smallKrb());
  std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" > /dev/full", GetParam().binary};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ProcessResult r = runProcess("/bin/sh", args, dir.path(), dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Tools, FullOutput,
    ::testing::Values(Run{"Listing", KRBDUMP_BINARY, {"SONG.KRB"}},
                      Run{"Summary", KRBDUMP_BINARY, {"--summary", "SONG.KRB"}},
                      Run{"Writes", KRBDUMP_BINARY, {"--writes", "SONG.KRB"}},
                      Run{"DumpHelp", KRBDUMP_BINARY, {"--help"}},
                      Run{"VgmHelp", KRB2VGM_BINARY, {"--help"}},
                      Run{"MidHelp", KRB2MID_BINARY, {"--help"}},
                      Run{"WavHelp", KRB2WAV_BINARY, {"--help"}},
                      Run{"Vgm", KRB2VGM_BINARY, {"SONG.KRB", "/dev/full"}},
                      Run{"Mid", KRB2MID_BINARY, {"SONG.KRB", "/dev/full"}},
                      Run{"Wav", KRB2WAV_BINARY, {"SONG.KRB", "/dev/full"}},
                      Run{"WavToStandardOutput", KRB2WAV_BINARY, {"SONG.KRB", "-"}}),
    runName);

// SIGTERM in the middle of a long render: the previous output stays and the
// temporary file is gone.
TEST(Signals, TerminatedRenderLeavesNoTemporaryFile) {
  TempDir dir;
  dir.write("LONG.KRB", bytes(makeKrb({{0x95, 0x3C, 0xFF, 0xFF, 0x96, 0}})));
  dir.write("out.wav", "previous");
  ProcessLimits limits;
  limits.terminateAfterMs = 300;
  ProcessResult r =
      runProcess(KRB2WAV_BINARY, {"--loops", "100", "--max-seconds", "3600", "LONG.KRB", "out.wav"},
                 dir.path(), dir.path(), limits);
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_TRUE(dir.read("out.wav") == "previous");
  size_t files = std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
  EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace tallow::testing
