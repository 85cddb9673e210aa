// Injected allocation failures: a representative song (the example) is
// compiled once for every allocation it makes, with that allocation
// failing.  Each run must end with "メモリが足りません" and exit status 1,
// release everything it holds (LeakSanitizer checks this in the sanitizer
// build), write no KRB file and leave no temporary file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp932.h"
#include "support/temp_dir.h"
#include "tools/tallowc.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

// Counts allocations and fails the `failAt`-th and every later one
// (0: never fails).
class InjectingAllocator final : public Allocator {
 public:
  explicit InjectingAllocator(int failAt) : failAt_(failAt) {}
  void* allocate(size_t size) override {
    ++count_;
    if (failAt_ != 0 && count_ >= failAt_) return nullptr;
    ++live_;
    return heapAllocator().allocate(size);
  }
  void release(void* block) override {
    --live_;
    heapAllocator().release(block);
  }
  int count() const { return count_; }
  int live() const { return live_; }

 private:
  int failAt_;
  int count_ = 0;
  int live_ = 0;
};

struct Outcome {
  int status;
  std::string out;
  int allocations;
  int live;
};

Outcome compileExample(const TempDir& dir, int failAt) {
  InjectingAllocator allocator(failAt);
  StringOutStream out;
  StringOutStream err;
  ProgramContext program;
  program.allocator = &allocator;
  program.env.tmpdir = dir.file("tmp");
  program.out = &out;
  program.err = &err;
  CurrentDirectory inDir(dir.path());
  int status = tools::runDriver({"song.mml"}, program);
  return {status, out.text(), allocator.count(), allocator.live()};
}

TEST(AllocationFailure, EveryAllocationOfTheExampleSong) {
  TempDir dir;
  dir.copyExamples();
  fs::create_directory(dir.file("tmp"));
  Outcome clean = compileExample(dir, 0);
  ASSERT_EQ(clean.status, 0) << clean.out;
  ASSERT_GT(clean.allocations, 10);
  RecordProperty("allocations", clean.allocations);
  EXPECT_EQ(clean.live, 0);
  fs::remove(dir.file("SONG.KRB"));
  for (int failAt = 1; failAt <= clean.allocations; ++failAt) {
    Outcome o = compileExample(dir, failAt);
    SCOPED_TRACE(failAt);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find(toCp932("メモリが足りません\n")), std::string::npos) << o.out;
    EXPECT_EQ(o.live, 0);
    EXPECT_FALSE(dir.exists("SONG.KRB"));
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
  }
}

}  // namespace
}  // namespace tallow::testing
