#include "support/stream_case.h"

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "support/compile_helpers.h"

namespace tallow::testing {

void checkStreamCase(const StreamCase& c) {
  CompileResult r = compileIntermediate(c.text, [&](CompileJob& j) { j.optimize = c.raw ? 0 : 1; });
  if (c.message.empty()) {
    EXPECT_TRUE(saidNothing(r)) << r.out;
  } else {
    EXPECT_NE(r.out.find(toCp932(c.message)), std::string::npos) << r.out;
  }
  if (c.stream.empty()) {
    EXPECT_EQ(r.status, 1) << r.out;
    return;
  }
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(partHex(r, c.part), c.stream);
  if (c.steps) {
    EXPECT_EQ(r.job.partSteps[c.part], *c.steps);
  }
  if (c.loopSteps) {
    EXPECT_EQ(r.job.partLoopSteps[c.part], *c.loopSteps);
  }
}

}  // namespace tallow::testing
