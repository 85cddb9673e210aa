// The krbdump executable: prints a KRB file's header fields and each part's
// events, one per line.  A file locked against reverse compilation shows its
// header only.
#include <cstdio>
#include <string>
#include <vector>

#include "base/files.h"
#include "krbdump/krbdump.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: krbdump <file.krb>\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  if (!tallow::readFilePrefix(argv[1], 1u << 31, bytes)) {
    std::fprintf(stderr, "krbdump: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text = tallow::dumpKrb(bytes);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
