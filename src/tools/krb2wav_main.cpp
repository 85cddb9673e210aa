// The krb2wav executable: renders a KRB file to a WAV (or FLAC, Ogg) file.
#include "base/console.h"
#include "tools/krb2wav.h"

int main(int argc, char** argv) {
  return tallow::runConsoleTool(argc, argv, tallow::tools::runKrb2wav);
}
