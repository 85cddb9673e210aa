// Every allocation of the standard heap that a compile of the example song
// makes is made to fail once, in turn: the run must end with
// "メモリが足りません" and exit status 1 (or succeed, when the failed
// allocation was one the run could do without), and never crash.  This
// executable replaces the global operator new, so it is built apart from the
// other tests and not under the sanitizers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>

#include "base/cp932.h"
#include "support/temp_dir.h"
#include "tools/tallowc.h"

namespace {

// Allocations left before the one that fails; 0 when nothing is armed.
long countdown = 0;
long allocations = 0;

void* allocate(std::size_t size) {
  ++allocations;
  if (countdown > 0 && --countdown == 0) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome compileExample(const TempDir& dir, long failAt) {
  StringOutStream out;
  StringOutStream err;
  ProgramContext program;
  program.env.tmpdir = dir.file("tmp");
  program.out = &out;
  program.err = &err;
  std::vector<std::string> args = {"song.mml"};
  CurrentDirectory inDir(dir.path());
  countdown = failAt;
  int status = tools::runDriver(args, program);
  countdown = 0;
  return {status, out.text(), err.text()};
}

TEST(HeapFailure, EveryAllocationOfTheExampleSong) {
  TempDir dir;
  dir.copyExamples();
  fs::create_directory(dir.file("tmp"));
  long before = allocations;
  ASSERT_EQ(compileExample(dir, 0).status, 0);
  long total = allocations - before;
  ASSERT_GT(total, 100);
  RecordProperty("allocations", static_cast<int>(total));
  std::string message = toCp932("メモリが足りません\n");
  for (long failAt = 1; failAt <= total; ++failAt) {
    fs::remove(dir.file("SONG.KRB"));
    Outcome o = compileExample(dir, failAt);
    SCOPED_TRACE(failAt);
    if (o.status == 0) continue;  // the failed allocation was not needed
    EXPECT_EQ(o.status, 1);
    EXPECT_NE((o.out + o.err).find(message), std::string::npos) << o.out << o.err;
    EXPECT_FALSE(dir.exists("SONG.KRB"));
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
  }
}

}  // namespace
}  // namespace tallow::testing
