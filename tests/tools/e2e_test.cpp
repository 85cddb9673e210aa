// Runs every end-to-end case: the folders below tests/e2e and the example
// song, each against the expected files that stand beside its input.
//
// A failure shows where the output first departs from the expected file.
// When a change of output is intended, compare every changed line with what
// the program must print before rewriting the expected files; the variable
// TALLOW_UPDATE_EXPECTED=1 rewrites them from the current output.
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

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The first differing line with three lines of context on each side.
std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::vector<std::string> e = lines(expected), a = lines(actual);
  size_t at = 0;
  while (at < e.size() && at < a.size() && e[at] == a[at]) ++at;
  std::ostringstream out;
  out << "first difference at line " << at + 1 << "\n";
  size_t from = at < 3 ? 0 : at - 3;
  for (size_t i = from; i < at; ++i) out << "  " << e[i] << "\n";
  for (size_t i = at; i < e.size() && i < at + 4; ++i) out << "- " << e[i] << "\n";
  for (size_t i = at; i < a.size() && i < at + 4; ++i) out << "+ " << a[i] << "\n";
  if (expected.size() != actual.size() && e.size() == a.size() && at == e.size()) {
    out << "(the texts differ in their last line end)\n";
  }
  return out.str();
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
  EXPECT_TRUE(actual == expected.str())
      << c.expected << ": " << firstDifference(expected.str(), actual);
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
