// Part names and the reading of the environment (only main() calls it).
#include "driver/compile_job.h"

#include <cstdlib>

namespace tallow {

const std::array<const char*, kPartCount> kPartNames = {"FM1",  "FM2",  "FM3",  "FM4",  "FM5",
                                                        "FM6",  "PCM1", "PCM2", "PCM3", "PCM4",
                                                        "PCM5", "PCM6", "PCM7", "PCM8", "BEEP"};

namespace {
std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}
}  // namespace

Environment Environment::fromProcess() {
  return Environment{variable("KRHPATH"), variable("FMINST"), variable("TMPDIR")};
}

}  // namespace tallow
