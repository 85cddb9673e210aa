// A scratch directory for one test, removed with everything in it at the end.
#pragma once

#include <string>
#include <string_view>

namespace tallow::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Path of `name` inside the directory.
  std::string file(std::string_view name) const;
  // Writes `bytes` to `name` (parent directories are created).
  void write(std::string_view name, std::string_view bytes) const;
  // Reads `name` whole; empty when it does not exist.
  std::string read(std::string_view name) const;
  bool exists(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace tallow::testing
