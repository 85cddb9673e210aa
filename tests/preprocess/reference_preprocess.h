// A reference copy of the preprocessor's former line pipeline, for the
// differential test: the intermediate file, the messages and the editor line
// of a run, made the way they were made before plain lines were written in
// place and passes were skipped.
#pragma once

#include <string>
#include <string_view>

#include "base/out_stream.h"
#include "base/utf8.h"
#include "preprocess/macros.h"

namespace tallow::testing::reference {

// The former macro expansion of a line (same contract as expandMacros).
bool expandMacros(std::string_view source, std::string& dest, MacroTable& table,
                  OutStream& messages, Encoding encoding);

struct Run {
  int status = -1;
  std::string intermediate;
  std::string messages;  // the banner and everything after it
  std::string editor;    // the editor line of a failed run
};

// Runs the former pipeline over the file `name` in the current directory.
// It takes one file: ordinary lines, comments, macros, braces, #with,
// conditionals, #quit and tone lines without a bank, but no #include, FMB
// or .vstart lines (a test failure is added for those).
Run runFile(const std::string& name);

}  // namespace tallow::testing::reference
