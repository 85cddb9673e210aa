// Choosing the console streams' encoding.
#include "base/console.h"

#include <cctype>

#include "base/locale.h"

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

Encoding streamEncoding(EncodingChoice choice, bool utf8Locale) {
  switch (choice) {
    case EncodingChoice::kCp932:
      return Encoding::kCp932;
    case EncodingChoice::kUtf8:
      return Encoding::kUtf8;
    case EncodingChoice::kAuto:
      break;
  }
  return utf8Locale ? Encoding::kUtf8 : Encoding::kCp932;
}

bool setUpConsole(FileOutStream& out, FileOutStream& err, const Environment& env) {
  std::optional<EncodingChoice> known = parseEncodingChoice(env.encoding.value_or("auto"));
  Encoding encoding = streamEncoding(known.value_or(EncodingChoice::kAuto), localeIsUtf8(env));
  Language language = languageOf(env);
  for (FileOutStream* stream : {&out, &err}) {
    stream->setEncoding(encoding);
    stream->setLanguage(language);
  }
  err.flushFirst(&out);
  return known.has_value();
}

std::string versionLine(std::string_view program) {
  return std::string(program) + " (Tallow) 3.19w\n";
}

int runConsoleTool(int argc, char** argv, ConsoleTool tool) {
  std::vector<std::string> args(argv + 1, argv + argc);
  FileOutStream out(stdout, false);
  FileOutStream err(stderr, false);
  setUpConsole(out, err, Environment::fromProcess());
  int status = 0;
  if (args.size() == 1 && args[0] == "--version") {
    std::string_view name = argv[0];
    out.write(versionLine(name.substr(name.rfind('/') + 1)));
  } else {
    status = tool(args, out, err);
  }
  return out.close() && err.close() ? status : 1;
}

}  // namespace tallow
