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
  return Environment{variable("KRHPATH"), variable("FMINST"), variable("TMPDIR"),
                     variable("TALLOWC_ENCODING"), variable("TALLOWC_DIAGNOSTICS")};
}

}  // namespace tallow
