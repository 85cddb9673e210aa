// Compiling a song held by the page: the sources are files in a directory
// made for this one compile, the main source is compiled as the command-line
// compiler compiles it (the preprocessor, then the compiler, with the
// optimiser on), and everything it says and makes is collected in memory.
//
// Invariants: each compile runs in a fresh program context, so nothing (the
// tone compiler's bank, a message stream) carries over from one compile to
// the next; the KRB bytes are the image the command-line compiler writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/note_positions.h"

namespace tallow::web {

// One error or warning, at a place in a source file (line and column count
// from 1; 0 when the message has no place).
struct Diagnostic {
  std::string file;
  int line = 0;
  int column = 0;
  std::string severity;  // "error" or "warning"
  std::string text;      // UTF-8
};

struct CompileOutcome {
  int status = 1;        // 0: compiled
  std::string messages;  // what the compiler printed, UTF-8
  std::vector<Diagnostic> diagnostics;
  std::vector<uint8_t> krb;
  std::vector<uint8_t> fmb;  // the bank beside the source that the KRB names, if any
  NotePositions positions;   // where the KRB's notes were written (when it compiled)
};

// Compiles `mainName`, a file of the current directory (which holds the
// includes, banks and samples too).  `env` holds the variables the compiler
// reads (the language, the search directories).
CompileOutcome compileInCurrentDirectory(const std::string& mainName, const Environment& env);

// Reads an editor line "FILE:LINE:COLUMN: SEVERITY: TEXT" (without its line
// end); false for any other text.
bool parseEditorLine(std::string_view line, Diagnostic& out);

}  // namespace tallow::web
