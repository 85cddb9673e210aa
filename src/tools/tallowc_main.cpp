// The tallowc executable: a thin shell over the driver library.
#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "tools/tallowc.h"

int main(int argc, char** argv) {
  tallow::FileOutStream out(stdout, false);
  tallow::FileOutStream err(stderr, false);
  tallow::ProgramContext program;
  program.env = tallow::Environment::fromProcess();
  bool known = tallow::setUpConsole(out, err, program.env);
  program.editorDiagnostics = program.env.diagnostics.value_or("") == "gnu";
  program.out = &out;
  program.err = &err;
  if (!known) {
    std::fprintf(stderr, "tallowc: TALLOWC_ENCODING=%s is none of auto, cp932, utf-8; using auto\n",
                 program.env.encoding->c_str());
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = tallow::tools::runDriver(args, program);
  out.close();
  err.close();
  return status;
}
