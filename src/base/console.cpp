// Choosing the console streams' encoding.
#include "base/console.h"

#include <langinfo.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "base/environment.h"

namespace tallow {

std::optional<EncodingChoice> parseEncodingChoice(std::string_view value) {
  std::string lower;
  for (char c : value)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (lower.empty() || lower == "auto") return EncodingChoice::kAuto;
  if (lower == "cp932" || lower == "sjis" || lower == "shift_jis") return EncodingChoice::kCp932;
  if (lower == "utf-8" || lower == "utf8") return EncodingChoice::kUtf8;
  return std::nullopt;
}

Encoding streamEncoding(EncodingChoice choice, int fd, bool utf8Locale) {
  switch (choice) {
    case EncodingChoice::kCp932:
      return Encoding::kCp932;
    case EncodingChoice::kUtf8:
      return Encoding::kUtf8;
    case EncodingChoice::kAuto:
      break;
  }
  return utf8Locale && ::isatty(fd) == 1 ? Encoding::kUtf8 : Encoding::kCp932;
}

bool adoptUtf8Locale() {
  if (std::setlocale(LC_CTYPE, "") == nullptr) return false;
  const char* codeset = ::nl_langinfo(CODESET);
  return codeset != nullptr &&
         (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

bool setUpConsole(FileOutStream& out, FileOutStream& err, const std::optional<std::string>& value) {
  std::optional<EncodingChoice> known = parseEncodingChoice(value.value_or("auto"));
  EncodingChoice choice = known.value_or(EncodingChoice::kAuto);
  // Reading the locale loads its files: only a terminal in auto needs it.
  bool terminal = ::isatty(STDOUT_FILENO) == 1 || ::isatty(STDERR_FILENO) == 1;
  bool utf8Locale = choice == EncodingChoice::kAuto && terminal && adoptUtf8Locale();
  out.setEncoding(streamEncoding(choice, STDOUT_FILENO, utf8Locale));
  err.setEncoding(streamEncoding(choice, STDERR_FILENO, utf8Locale));
  err.flushFirst(&out);
  return known.has_value();
}

int runConsoleTool(int argc, char** argv, ConsoleTool tool) {
  std::vector<std::string> args(argv + 1, argv + argc);
  FileOutStream out(stdout, false);
  FileOutStream err(stderr, false);
  setUpConsole(out, err, Environment::fromProcess().encoding);
  const int status = tool(args, out, err);
  if (!out.close()) {
    std::string name = argc > 0 ? argv[0] : "";
    name = name.substr(name.find_last_of('/') + 1);
    err.write(name + ": cannot write to standard output\n");
    err.close();
    return 1;
  }
  return err.close() ? status : 1;
}

}  // namespace tallow
