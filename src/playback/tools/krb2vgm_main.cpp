// The krb2vgm executable: the command line of runKrb2Vgm on the console.
#include <string>
#include <vector>

#include "base/console.h"
#include "base/environment.h"
#include "base/out_stream.h"
#include "playback/tools.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tallow::FileOutStream out(stdout, false);
  tallow::FileOutStream err(stderr, false);
  tallow::setUpConsole(out, err, tallow::Environment::fromProcess().encoding,
                       tallow::adoptUtf8Locale());
  return tallow::playback::runKrb2Vgm(args, out, err);
}
