// The tallowc executable: a thin shell over the driver library.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
  tallow::FileOutStream out(stdout, false);
  tallow::FileOutStream err(stderr, false);
  tallow::ProgramContext program;
  program.env = tallow::Environment::fromProcess();
  program.out = &out;
  program.err = &err;
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = tallow::runDriver(args, program);
  out.close();
  err.close();
  return status;
}
