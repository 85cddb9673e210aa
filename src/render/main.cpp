// The krb2wav executable: renders a KRB file to a WAV (or FLAC, Ogg) file.
#include <cstdio>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/environment.h"
#include "base/out_stream.h"
#include "render/krb2wav.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tallow::FileOutStream out(stdout, false);
  tallow::FileOutStream err(stderr, false);
  tallow::setUpConsole(out, err, tallow::Environment::fromProcess().encoding,
                       tallow::adoptUtf8Locale());
  const int status = tallow::render::runKrb2wav(args, out, err);
  return out.close() && err.close() ? status : 1;
}
