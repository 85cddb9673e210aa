// Memory: all streams of a compile share one budget.  (An allocation that
// fails is tested with the whole program, in tools/.)
#include <gtest/gtest.h>

#include "base/cp932.h"
#include "compiler/compile.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

// All streams of a compile share one budget: parts that stay below it one by
// one cannot add up to more (a source could otherwise ask for fifteen times
// the image's limit).
TEST(Memory, StreamsShareOneBudget) {
  TempDir dir;
  // Each part writes 65535 notes of 6 bytes (under /n): 393 210 bytes.
  dir.write("inter.txt", "# 1 song.mml\n1 (c%1)65535\n2 (c%1)65535\n3 (c%1)65535\n");
  for (size_t budget : {size_t{1} << 20, size_t{2} << 20}) {
    CompileJob job;
    job.sourcePath = "song.mml";
    job.intermediatePath = dir.file("inter.txt");
    job.optimize = 0;
    StringOutStream out;
    ProgramContext program;
    program.out = &out;
    program.streamBudget = budget;
    int status = compile(job, program);
    bool fits = budget > 3 * 393210;
    EXPECT_EQ(status, fits ? 0 : 1) << budget;
    EXPECT_EQ(out.text().find(toCp932("メモリが足りません")) != std::string::npos, !fits);
  }
}

}  // namespace
}  // namespace tallow::testing
