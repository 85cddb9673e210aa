// The layers of the source tree: every #include of a file under src/ names a
// folder that the file's own folder may depend on.  Includes point one way,
// from the command line down to the services; the tools that read KRB files
// sit beside the compiler and see only the formats and the services.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

// Each folder and the folders it may include (besides itself).
const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"base", {}},
    {"output", {"base"}},
    {"scan", {"base"}},
    {"state", {"scan", "output", "base"}},
    {"mml", {"envelope", "state", "scan", "output", "base"}},
    {"envelope", {"mml", "state", "scan", "output", "base"}},
    {"tonebank", {"output", "base"}},
    {"preprocess", {"tonebank", "output", "base"}},
    {"compiler", {"mml", "envelope", "state", "scan", "tonebank", "output", "base"}},
    {"driver", {"preprocess", "compiler", "base"}},
    {"krbdump", {"playback", "output", "base"}},
    {"fmchip", {"output", "base"}},
    {"playback", {"output", "base"}},
    {"render", {"playback", "fmchip", "output", "base"}},
};

TEST(Layers, IncludesPointOneWay) {
  std::regex include("#include \"([a-z0-9_]+)/[^\"]+\"");
  fs::path src = fs::path(TALLOW_SOURCE_DIR) / "src";
  int checked = 0;
  for (const auto& e : fs::recursive_directory_iterator(src)) {
    if (!e.is_regular_file()) continue;
    std::string folder = fs::relative(e.path(), src).begin()->string();
    auto allowed = kMayInclude.find(folder);
    ASSERT_NE(allowed, kMayInclude.end()) << "a folder without a place in the layers: " << folder;
    std::ifstream in(e.path());
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      std::string target = m[1];
      ++checked;
      EXPECT_TRUE(target == folder || allowed->second.count(target) != 0)
          << e.path() << " includes " << target;
    }
  }
  EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace tallow::testing
