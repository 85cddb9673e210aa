// Looking up a KRB file's tone bank beside it, without regard to case.
#include "playback/bank_lookup.h"

#include <filesystem>

#include "base/files.h"
#include "output/fmb_format.h"

namespace tallow::playback {
namespace {

char foldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> findBankBeside(const std::string& krbPath, std::string_view fmbName) {
  namespace fs = std::filesystem;
  if (fmbName.empty()) return std::nullopt;
  std::string wanted = std::string(fmbName) + ".FMB";
  fs::path dir = fs::path(krbPath).parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  // The first match in name order, so that the choice does not depend on
  // the order of the directory.
  std::optional<std::string> best;
  for (; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!sameName(name, wanted) || !it->is_regular_file(ec)) continue;
    if (!best || name < fs::path(*best).filename().string()) best = it->path().string();
  }
  return best;
}

bool loadBank(const std::string& krbPath, const KrbFile& krb,
              const std::optional<std::string>& fmbOption, std::vector<uint8_t>& bank,
              bool& missing) {
  bank.clear();
  missing = false;
  if (fmbOption) {
    return readFilePrefix(*fmbOption, kFmbFileSize, bank);
  }
  if (krb.fmbName.empty()) return true;
  std::optional<std::string> path = findBankBeside(krbPath, krb.fmbName);
  if (!path || !readFilePrefix(*path, kFmbFileSize, bank)) {
    bank.clear();
    missing = true;
  }
  return true;
}

}  // namespace tallow::playback
