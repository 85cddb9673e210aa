// A scratch directory for one test, removed with everything in it at the end;
// reading a file whole; working in a directory for a while.
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
  // Copies the example songs (examples/*.mml of the source tree) in.
  void copyExamples() const;

 private:
  std::string path_;
};

// The bytes of the file at `path`; empty when it cannot be read.
std::string readFile(const std::string& path);

// Makes `path` the current directory until the object goes out of scope, as
// a musician runs the programs: from the song's folder.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& path);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::string previous_;
};

}  // namespace tallow::testing
