// The krb2vgm executable: the command line of runKrb2Vgm on the console.
#include "base/console.h"
#include "tools/export_tools.h"

int main(int argc, char** argv) {
  return tallow::runConsoleTool(argc, argv, tallow::tools::runKrb2Vgm);
}
