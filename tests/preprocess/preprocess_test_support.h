// Helpers for the preprocessor tests: running a whole preprocessor run on
// files in a scratch directory, from inside that directory.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "base/compile_job.h"
#include "base/cp932.h"
#include "base/out_stream.h"
#include "preprocess/preprocess.h"
#include "support/temp_dir.h"

namespace tallow::testing {

struct PreprocessResult {
  int status = -1;
  std::string intermediate;
  std::string messages;
  std::string editor;  // standard error: the editor line of a failed run
};

inline const std::string kBanner = "[ Preprocessor 'Kiln' version 1.09r with Toneforge v1.00 ]\n";
// What every run on "song.mml" prints first.
inline const std::string kSongHead = kBanner + "Now include song.mml(1)...\n";

struct PreprocessSetup {
  std::string sourcePath = "song.mml";
  std::string searchDir;
  Environment env;
  std::string logPath;
  bool editorLines = false;  // TALLOWC_DIAGNOSTICS=gnu
};

// Runs the preprocessor on `setup.sourcePath` inside `dir`, with `program`
// (so that the tone bank can be kept between runs).
inline PreprocessResult runPreprocess(const TempDir& dir, ProgramContext& program,
                                      const PreprocessSetup& setup = {}) {
  CurrentDirectory inside(dir.path());
  StringOutStream out, err;
  program.out = &out;
  program.err = &err;
  program.editorDiagnostics = setup.editorLines;
  program.env = setup.env;
  CompileJob job;
  job.sourcePath = setup.sourcePath;
  job.intermediatePath = dir.file("intermediate.txt");
  job.searchDir = setup.searchDir;
  job.logPath = setup.logPath;
  PreprocessResult result;
  result.status = runPreprocessor(job, program);
  result.intermediate = dir.read("intermediate.txt");
  result.messages = out.text();
  result.editor = err.text();
  program.out = nullptr;
  program.err = nullptr;
  return result;
}

// Writes `source` as song.mml in a fresh program and runs it.
inline PreprocessResult runSource(const TempDir& dir, std::string_view source,
                                  const PreprocessSetup& setup = {}) {
  dir.write("song.mml", source);
  ProgramContext program;
  return runPreprocess(dir, program, setup);
}

// Message text in the program's encoding.
inline std::string sjis(std::string_view utf8) { return toCp932(utf8); }

}  // namespace tallow::testing
