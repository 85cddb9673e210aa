// The reading of the environment (only main() calls it).
#include "base/environment.h"

#include <cstdlib>

namespace tallow {

namespace {
std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}
}  // namespace

Environment Environment::fromProcess() {
  return Environment{.krhpath = variable("KRHPATH"),
                     .fminst = variable("FMINST"),
                     .tmpdir = variable("TMPDIR"),
                     .encoding = variable("TALLOWC_ENCODING"),
                     .diagnostics = variable("TALLOWC_DIAGNOSTICS"),
                     .language = variable("TALLOWC_LANG"),
                     .lcAll = variable("LC_ALL"),
                     .lcMessages = variable("LC_MESSAGES"),
                     .lcCtype = variable("LC_CTYPE"),
                     .lang = variable("LANG")};
}

}  // namespace tallow
