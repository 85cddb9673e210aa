// The environment variables the programs read.
#pragma once

#include <optional>
#include <string>

namespace tallow {

// The environment variables the program reads; unset variables are empty
// optionals (a variable set to an empty value is an empty string).
struct Environment {
  std::optional<std::string> krhpath{};
  std::optional<std::string> fminst{};
  std::optional<std::string> tmpdir{};
  std::optional<std::string> encoding{};     // TALLOWC_ENCODING
  std::optional<std::string> diagnostics{};  // TALLOWC_DIAGNOSTICS
  std::optional<std::string> language{};     // TALLOWC_LANG
  // The locale variables, which decide the language and the encoding when
  // the two variables above leave them open.
  std::optional<std::string> lcAll{};
  std::optional<std::string> lcMessages{};
  std::optional<std::string> lcCtype{};
  std::optional<std::string> lang{};

  static Environment fromProcess();
};

}  // namespace tallow
