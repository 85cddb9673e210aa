// Splitting, joining and converting paths; finding a file in any case.
// A byte that belongs to a multibyte character is never taken for a
// separator or a letter.
#include "base/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

namespace tallow {
namespace {

// Index just past the last separator of `path` (0 when there is none).
size_t fileNameStart(std::string_view path) {
  size_t start = 0;
  forEachSingleByteChar(path, [&](size_t i) {
    if (path[i] == '/' || path[i] == '\\') start = i + 1;
  });
  return start;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string directoryPart(std::string_view path) {
  return std::string(path.substr(0, fileNameStart(path)));
}

std::string_view fileNamePart(std::string_view path) { return path.substr(fileNameStart(path)); }

std::string joinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (!out.empty() && out.back() != '/' && out.back() != '\\') out.push_back('/');
  out.append(name);
  return out;
}

std::string toOpenPath(std::string_view path) {
  std::string out(path);
  forEachSingleByteChar(path, [&](size_t i) {
    if (out[i] == '\\') out[i] = '/';
  });
  return out;
}

namespace {

// `text` with the letters a-z at or after `from` upper-cased.
std::string upperLettersFrom(std::string_view text, size_t from) {
  std::string out(text);
  forEachSingleByteChar(text, [&](size_t i) {
    if (i >= from && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  });
  return out;
}

}  // namespace

std::string upperLetters(std::string_view name) { return upperLettersFrom(name, 0); }

std::string upperFileName(std::string_view path) {
  return upperLettersFrom(path, fileNameStart(path));
}

std::optional<std::string> findFileIgnoringCase(const std::string& path) {
  if (isRegularFile(path)) return path;
  std::string dir = directoryPart(path);
  std::string_view name = fileNamePart(path);
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.empty() ? "." : dir.c_str()),
                                             ::closedir);
  if (!handle) return std::nullopt;
  while (const dirent* entry = ::readdir(handle.get())) {
    if (equalIgnoringAsciiCase(entry->d_name, name)) {
      std::string found = dir + entry->d_name;
      if (isRegularFile(found)) return found;
    }
  }
  return std::nullopt;
}

}  // namespace tallow
