// The layers of the source tree against their one list, src/layers.txt: the
// list itself (each layer names only layers above it, so there is no cycle),
// every #include of src/ in each of its forms (<x/y.h>, "x/y.h",
// "../x/y.h"), the libraries CMake links, and every symbol a library uses
// but does not define (a declaration and a call without an include).  A
// layer may reach the layers its line names and, through them, theirs.  The
// checks run on the real tree and, to show that they can fail, on small
// trees made for the test.
#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The list: for each layer, every layer it may use (itself excluded).
struct Layers {
  std::map<std::string, std::set<std::string>> reach;
  std::vector<std::string> errors;

  bool known(const std::string& layer) const { return reach.count(layer) != 0; }
  bool mayUse(const std::string& from, const std::string& to) const {
    return from == to || (known(from) && reach.at(from).count(to) != 0);
  }
};

Layers parseLayers(const std::string& text) {
  Layers layers;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> w = words(line);
    if (w.empty() || w[0][0] == '#') continue;
    std::set<std::string>& reach = layers.reach[w[0]];
    for (size_t i = 1; i < w.size(); ++i) {
      if (w[i] == w[0] || !layers.known(w[i]) || layers.reach[w[i]].count(w[0]) != 0) {
        layers.errors.push_back(w[0] + " names " + w[i] + ", which is not above it");
        continue;
      }
      reach.insert(w[i]);
      reach.insert(layers.reach[w[i]].begin(), layers.reach[w[i]].end());
    }
  }
  return layers;
}

// The path an #include line names, or "" for another line.
std::string includedPath(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (line.compare(i, 7, "include") != 0) return "";
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || (line[i] != '"' && line[i] != '<')) return "";
  size_t end = line.find(line[i] == '"' ? '"' : '>', i + 1);
  return end == std::string::npos ? "" : line.substr(i, end - i);  // keeps the opening mark
}

// The folder an include names (a system header's, too): a quoted name is looked up beside the file
// first (always when it climbs with ".."), then, as every name in angle
// brackets, below src/.
std::string includedLayer(const fs::path& src, const fs::path& file, const std::string& named) {
  fs::path name = named.substr(1);
  fs::path target = (file.parent_path() / name).lexically_normal();
  bool besideFile = named[0] == '"' && (fs::exists(target) || named.compare(1, 2, "..") == 0);
  if (!besideFile) target = (src / name).lexically_normal();
  fs::path relative = target.lexically_relative(src);
  if (relative.empty() || *relative.begin() == ".." || ++relative.begin() == relative.end()) {
    return "";  // outside src/ or no folder: a test header
  }
  return relative.begin()->string();
}

std::vector<std::string> includeViolations(const fs::path& src, const Layers& layers) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(src)) {
    if (!e.is_regular_file() || !fs::relative(e.path(), src).has_parent_path()) continue;
    std::string layer = fs::relative(e.path(), src).begin()->string();
    if (!layers.known(layer)) {
      found.push_back(layer + "/ has no place in the list");
      continue;
    }
    std::istringstream in(readFile(e.path()));
    for (std::string line; std::getline(in, line);) {
      std::string named = includedPath(line);
      if (named.empty()) continue;
      std::string target = includedLayer(src, e.path(), named);
      if (layers.known(target) && !layers.mayUse(layer, target)) {
        found.push_back(fs::relative(e.path(), src).string() + " includes " + named.substr(1));
      }
    }
  }
  return found;
}

// `links`: one line a layer, the layer and the layers its library links.
std::vector<std::string> linkViolations(const std::string& links, const Layers& layers) {
  std::vector<std::string> found;
  std::set<std::string> seen;
  std::istringstream in(links);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> w = words(line);
    if (w.empty()) continue;
    seen.insert(w[0]);
    for (size_t i = 1; i < w.size(); ++i) {
      if (!layers.mayUse(w[0], w[i])) found.push_back(w[0] + " links " + w[i]);
    }
  }
  for (const auto& [layer, reach] : layers.reach) {
    if (seen.count(layer) == 0) found.push_back(layer + " is not built");
  }
  return found;
}

// `symbols`: for each layer, the symbol table of its library as `nm -P`
// lists it.  A symbol a layer uses must be defined in a layer it may use
// whenever some layer defines it (strongly: inline functions are defined in
// every library that calls them).
std::vector<std::string> symbolViolations(const std::map<std::string, std::string>& symbols,
                                          const Layers& layers) {
  std::map<std::string, std::set<std::string>> definedIn;
  std::map<std::string, std::set<std::string>> used;
  for (const auto& [layer, table] : symbols) {
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> w = words(line);
      if (w.size() < 2 || w[1].size() != 1) continue;
      char type = w[1][0];
      if (type == 'U') {
        used[layer].insert(w[0]);
      } else if (type >= 'A' && type <= 'Z' && type != 'W' && type != 'V') {
        definedIn[w[0]].insert(layer);
      }
    }
  }
  std::vector<std::string> found;
  for (const auto& [layer, names] : used) {
    for (const std::string& name : names) {
      auto owners = definedIn.find(name);
      if (owners == definedIn.end()) continue;
      bool allowed = false;
      for (const std::string& owner : owners->second) allowed |= layers.mayUse(layer, owner);
      if (!allowed) found.push_back(layer + " uses " + name + " of " + *owners->second.begin());
    }
  }
  return found;
}

std::string runNm(const std::string& archive) {
  std::string command = std::string(TALLOW_NM) + " -P '" + archive + "' 2>/dev/null";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

const fs::path kSrc = fs::path(TALLOW_SOURCE_DIR) / "src";

Layers realLayers() { return parseLayers(readFile(kSrc / "layers.txt")); }

// The programs: the command-line tools and the playground's module.  No
// layer uses them, and every other layer is there for one of them.
TEST(Layers, TheListHasNoCycleAndTheProgramsAreOnTop) {
  Layers layers = realLayers();
  EXPECT_TRUE(layers.errors.empty()) << layers.errors.front();
  const std::set<std::string> programs = {"tools", "web"};
  for (const std::string& program : programs) ASSERT_TRUE(layers.known(program)) << program;
  for (const auto& [layer, reach] : layers.reach) {
    if (programs.count(layer) != 0) continue;
    for (const std::string& program : programs) {
      EXPECT_EQ(reach.count(program), 0u) << layer << " may use " << program;
    }
    EXPECT_TRUE(layers.mayUse("tools", layer) || layers.mayUse("web", layer)) << layer;
  }
}

TEST(Layers, IncludesLinksAndSymbolsPointDown) {
  Layers layers = realLayers();
  for (const std::string& v : includeViolations(kSrc, layers)) ADD_FAILURE() << v;
  std::string links = readFile(fs::path(TALLOW_BINARY_DIR) / "layer_links.txt");
  ASSERT_FALSE(links.empty());
  for (const std::string& v : linkViolations(links, layers)) ADD_FAILURE() << v;
  std::map<std::string, std::string> symbols;
  for (const auto& [layer, reach] : layers.reach) {
    symbols[layer] = runNm(std::string(TALLOW_BINARY_DIR) + "/libtallow_" + layer + ".a");
    EXPECT_NE(symbols[layer].find(" T "), std::string::npos) << "no symbols of " << layer;
  }
  for (const std::string& v : symbolViolations(symbols, layers)) ADD_FAILURE() << v;
}

// The checks on made-up trees: each fails where a layer reaches up.
const Layers kToy = parseLayers("# layer  builds on\nbase\nstate base\nmml state\n");

TEST(LayersCheck, RefusesACycleOrAnUnknownLayer) {
  EXPECT_TRUE(kToy.errors.empty());
  EXPECT_EQ(parseLayers("a b\nb a\n").errors.size(), 1u);
  EXPECT_EQ(parseLayers("a\nb a\nc b\na c\n").errors.size(), 1u);
  EXPECT_EQ(parseLayers("a a\n").errors.size(), 1u);
}

TEST(LayersCheck, FailsOnEachIncludeForm) {
  const char* upward[] = {"#include <mml/notes.h>", "#include \"mml/notes.h\"",
                          "#include \"../mml/notes.h\"", "  #  include \"mml/notes.h\""};
  for (const char* include : upward) {
    TempDir dir;
    fs::path src = dir.file("src");
    fs::create_directories(src / "mml");
    fs::create_directories(src / "state");
    std::ofstream(src / "mml" / "notes.h") << "#include \"state/part.h\"\n#include <vector>\n";
    std::ofstream(src / "state" / "part.h") << "#include \"../base/x.h\"\n#include <string>\n";
    EXPECT_TRUE(includeViolations(src, kToy).empty()) << include;
    std::ofstream(src / "state" / "part.h", std::ios::app) << include << "\n";
    EXPECT_EQ(includeViolations(src, kToy).size(), 1u) << include;
  }
}

TEST(LayersCheck, FailsOnALinkOrASymbolThatPointsUp) {
  EXPECT_TRUE(linkViolations("base\nstate base\nmml state base\n", kToy).empty());
  EXPECT_EQ(linkViolations("base\nstate mml\nmml state\n", kToy).size(), 1u);
  EXPECT_EQ(linkViolations("base\nstate\n", kToy).size(), 1u);  // mml not built
  std::map<std::string, std::string> symbols = {
      {"base", "alloc T 0 4\n"},
      {"state", "alloc U\nemitNote U\ninlined W 0 4\n"},
      {"mml", "emitNote T 0 8\ninlined W 0 4\nalloc U\n"}};
  std::vector<std::string> found = symbolViolations(symbols, kToy);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], "state uses emitNote of mml");
}

}  // namespace
}  // namespace tallow::testing
