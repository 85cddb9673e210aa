// The end-to-end cases: the folders below tests/e2e and the example song,
// each against the expected files that stand beside its input.
//
// A case is a folder of input files and one or more `NAME.expected` files.
// The first lines of an expected file give the command line ("$ tallowc
// song.mml /n") and the environment ("$ env KRHPATH={dir}/inc", {dir} being
// the case's scratch copy); then follow the exit status, the standard output
// and error (as UTF-8; the program prints CP932), a listing of every KRB file
// and a dump of every FMB file the run left.
//
// When a change of output is intended, compare every changed line with what
// the program must print before rewriting the expected files; the variable
// TALLOW_UPDATE_EXPECTED=1 rewrites them from the current output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/cp932.h"
#include "krbdump/krbdump.h"
#include "support/compile_helpers.h"
#include "support/temp_dir.h"

namespace tallow::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> split(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string replaceDir(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
  return text;
}

std::string fmbDump(const std::string& bytes) {
  std::string out;
  char line[128];
  for (size_t row = 0; row < bytes.size(); row += 16) {
    std::string chunk = bytes.substr(row, 16);
    if (std::all_of(chunk.begin(), chunk.end(), [](char c) { return c == 0; })) continue;
    int n = std::snprintf(line, sizeof line, "%04zX:", row);
    for (unsigned char c : chunk) n += std::snprintf(line + n, sizeof line - n, " %02X", c);
    out += std::string(line, static_cast<size_t>(n)) + "\n";
  }
  return out;
}

// Listings of the files the run created, by name.
std::string outputFiles(const fs::path& dir, const std::vector<std::string>& inputs) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_regular_file() && rel.rfind("tmp/", 0) != 0 &&
        std::find(inputs.begin(), inputs.end(), rel) == inputs.end()) {
      files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::string out;
  for (const fs::path& f : files) {
    std::string bytes = readFile(f);
    out += "== " + fs::relative(f, dir).string() + "\n";
    std::string ext = f.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    out +=
        ext == ".fmb" ? fmbDump(bytes) : dumpKrb(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  return out;
}

// Files the program writes (KRB and FMB files) are no inputs: a run of the
// example song in its own folder leaves them there.
bool isInput(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  return ext != ".expected" && ext != ".krb" && ext != ".fmb";
}

// Runs the case described by `expectedPath` on a scratch copy of `caseDir`;
// returns the actual text in the expected file's format.
std::string runE2eCase(const std::string& caseDir, const std::string& expectedPath) {
  TempDir scratch;
  std::vector<std::string> inputs;
  for (const auto& e : fs::recursive_directory_iterator(caseDir)) {
    std::string rel = fs::relative(e.path(), caseDir).string();
    if (!isInput(e.path())) continue;
    if (e.is_directory()) fs::create_directories(fs::path(scratch.path()) / rel);
    if (e.is_regular_file()) {
      fs::copy_file(e.path(), fs::path(scratch.path()) / rel);
      inputs.push_back(rel);
    }
  }
  fs::create_directory(fs::path(scratch.path()) / "tmp");
  std::istringstream expected(readFile(expectedPath));
  std::string header;
  std::vector<std::string> args;
  Environment env;
  env.tmpdir = scratch.file("tmp");
  for (std::string line; std::getline(expected, line) && line.rfind("$ ", 0) == 0;) {
    header += line + "\n";
    std::vector<std::string> words = split(replaceDir(line.substr(2), scratch.path()));
    if (words.size() == 2 && words[0] == "env") {
      std::string kv = words[1];
      std::string key = kv.substr(0, kv.find('='));
      std::string value = kv.substr(kv.find('=') + 1);
      (key == "KRHPATH" ? env.krhpath : env.fminst) = value;
    } else if (!words.empty() && words[0] == "tallowc") {
      args.assign(words.begin() + 1, words.end());
    }
  }
  DriverResult r = [&] {
    CurrentDirectory inScratch(scratch.path());
    return runProgram(args, env);
  }();
  std::string dir = scratch.path();
  auto hideDir = [&](std::string text) {
    for (size_t at; (at = text.find(dir)) != std::string::npos;)
      text.replace(at, dir.size(), "{dir}");
    return text;
  };
  return header + "== exit " + std::to_string(r.status) + "\n== stdout\n" +
         hideDir(cp932ToUtf8(r.out)) + "== stderr\n" + cp932ToUtf8(r.err) +
         outputFiles(scratch.path(), inputs);
}

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
  const std::string actual = runE2eCase(c.dir, c.expected), expected = readFile(c.expected);
  if (actual != expected && std::getenv("TALLOW_UPDATE_EXPECTED") != nullptr) {
    std::ofstream(c.expected, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(expected, actual) << c.expected;
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
