// The environment variables the programs read.
#pragma once

#include <optional>
#include <string>

namespace tallow {

// The environment variables the program reads; unset variables are empty
// optionals (a variable set to an empty value is an empty string).
struct Environment {
  std::optional<std::string> krhpath;
  std::optional<std::string> fminst;
  std::optional<std::string> tmpdir;
  std::optional<std::string> encoding;     // TALLOWC_ENCODING
  std::optional<std::string> diagnostics;  // TALLOWC_DIAGNOSTICS

  static Environment fromProcess();
};

}  // namespace tallow
