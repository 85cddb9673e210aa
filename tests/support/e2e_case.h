// End-to-end cases that carry their expected output beside their input.
//
// A case is a folder of input files and one or more `NAME.expected` files.
// The first lines of an expected file give the command line ("$ tallowc
// song.mml /n") and the environment ("$ env KRHPATH={dir}/inc", {dir} being
// the case's scratch copy); then follow the exit status, the standard output
// and error (as UTF-8; the program prints CP932), a listing of every KRB file
// and a dump of every FMB file the run left.  Run the tests with
// TALLOW_UPDATE_EXPECTED=1 to write the files anew.
#pragma once

#include <string>

namespace tallow::testing {

// Runs the case described by `expectedPath` on a scratch copy of
// `caseDir`; returns the actual text in the expected file's format.
std::string runE2eCase(const std::string& caseDir, const std::string& expectedPath);

}  // namespace tallow::testing
