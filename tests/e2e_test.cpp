// Runs every end-to-end case: the folders below tests/e2e and the example
// song, each against the expected files that stand beside its input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/e2e_case.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

struct E2eCase {
  std::string dir;
  std::string expected;
};

void PrintTo(const E2eCase& c, std::ostream* os) { *os << c.expected; }

std::vector<E2eCase> allCases() {
  std::vector<E2eCase> cases;
  std::vector<fs::path> dirs = {fs::path(TALLOW_SOURCE_DIR) / "examples"};
  for (const auto& e : fs::directory_iterator(fs::path(TALLOW_SOURCE_DIR) / "tests" / "e2e")) {
    if (e.is_directory()) dirs.push_back(e.path());
  }
  for (const fs::path& dir : dirs) {
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path().extension() == ".expected") cases.push_back({dir.string(), e.path().string()});
    }
  }
  std::sort(cases.begin(), cases.end(),
            [](const E2eCase& a, const E2eCase& b) { return a.expected < b.expected; });
  return cases;
}

class E2e : public ::testing::TestWithParam<E2eCase> {};

TEST_P(E2e, MatchesExpectedFile) {
  const E2eCase& c = GetParam();
  std::string actual = runE2eCase(c.dir, c.expected);
  std::ifstream in(c.expected, std::ios::binary);
  std::stringstream expected;
  expected << in.rdbuf();
  if (actual != expected.str() && std::getenv("TALLOW_UPDATE_EXPECTED") != nullptr) {
    std::ofstream(c.expected, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, expected.str())
      << "run with TALLOW_UPDATE_EXPECTED=1 to rewrite " << c.expected;
}

INSTANTIATE_TEST_SUITE_P(Cases, E2e, ::testing::ValuesIn(allCases()), [](const auto& info) {
  fs::path p(info.param.expected);
  std::string name = p.parent_path().filename().string() + "_" + p.stem().string();
  for (char& ch : name) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

}  // namespace
}  // namespace tallow::testing
