// The krb2mid executable: the command line of runKrb2Mid on the console.
#include "base/console.h"
#include "tools/export_tools.h"

int main(int argc, char** argv) {
  return tallow::runConsoleTool(argc, argv, tallow::tools::runKrb2Mid);
}
