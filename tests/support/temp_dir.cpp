#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tallow::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tallow-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const { return path_ + "/" + std::string(name); }

void TempDir::write(std::string_view name, std::string_view bytes) const {
  std::filesystem::path p = file(name);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(std::string_view name) const { return readFile(file(name)); }

bool TempDir::exists(std::string_view name) const { return std::filesystem::exists(file(name)); }

void TempDir::copyExamples() const {
  for (const auto& e : std::filesystem::directory_iterator(TALLOW_SOURCE_DIR "/examples")) {
    if (e.path().extension() == ".mml")
      std::filesystem::copy_file(e.path(), file(e.path().filename().string()));
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CurrentDirectory::CurrentDirectory(const std::string& path)
    : previous_(std::filesystem::current_path().string()) {
  std::filesystem::current_path(path);
}

CurrentDirectory::~CurrentDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

}  // namespace tallow::testing
