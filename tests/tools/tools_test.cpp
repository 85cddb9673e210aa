// The krb2vgm and krb2mid executables: their exit statuses through the real
// programs (0 done, 1 failed, 2 usage), including output that cannot be
// written.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

struct ToolCase {
  const char* name;
  const char* binary;
  std::vector<std::string> args;
  long fileSizeLimit;  // -1: none; 0: standard output cannot take a byte
  int status;
  const char* outStart;  // what standard output begins with
};

class ToolExit : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolExit, Status) {
  const ToolCase& c = GetParam();
  TempDir dir;
  ProcessLimits limits;
  limits.fileSizeLimit = c.fileSizeLimit;
  ProcessResult r = runProcess(c.binary, c.args, dir.path(), dir.path(), limits);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(r.out.rfind(c.outStart, 0), 0u) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolExit,
    ::testing::Values(ToolCase{"VgmHelp", KRB2VGM_BINARY, {"--help"}, -1, 0, "usage: krb2vgm"},
                      ToolCase{"VgmHelpToFullOutput", KRB2VGM_BINARY, {"--help"}, 0, 1, ""},
                      ToolCase{"VgmNoFiles", KRB2VGM_BINARY, {}, -1, 2, ""},
                      ToolCase{
                          "VgmMissingInput", KRB2VGM_BINARY, {"none.krb", "out.vgm"}, -1, 1, ""},
                      ToolCase{"MidHelp", KRB2MID_BINARY, {"--help"}, -1, 0, "usage: krb2mid"},
                      ToolCase{"MidHelpToFullOutput", KRB2MID_BINARY, {"--help"}, 0, 1, ""},
                      ToolCase{"MidUnknownOption", KRB2MID_BINARY, {"--x", "a", "b"}, -1, 2, ""}),
    [](const ::testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallow::testing
