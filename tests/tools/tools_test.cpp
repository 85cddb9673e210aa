// The krb2vgm and krb2mid executables: their exit statuses through the real
// programs (0 done, 1 failed, 2 usage).
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

struct ToolCase {
  const char* name;
  const char* binary;
  std::vector<std::string> args;
  int status;
  const char* outStart;  // what standard output begins with
};

class ToolExit : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolExit, Status) {
  const ToolCase& c = GetParam();
  TempDir dir;
  ProcessResult r = runProcess(c.binary, c.args, dir.path(), dir.path());
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(r.out.rfind(c.outStart, 0), 0u) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolExit,
    ::testing::Values(ToolCase{"VgmHelp", KRB2VGM_BINARY, {"--help"}, 0, "usage: krb2vgm"},
                      ToolCase{"VgmNoFiles", KRB2VGM_BINARY, {}, 2, ""},
                      ToolCase{"VgmMissingInput", KRB2VGM_BINARY, {"none.krb", "out.vgm"}, 1, ""},
                      ToolCase{"MidHelp", KRB2MID_BINARY, {"--help"}, 0, "usage: krb2mid"},
                      ToolCase{"MidUnknownOption", KRB2MID_BINARY, {"--x", "a", "b"}, 2, ""}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallow::testing
