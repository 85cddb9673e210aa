// A readable listing of a KRB file: the header fields, then each part's
// events one per line (offset, bytes, name, operands), walking the streams
// with the event length table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallow {

struct KrbDumpOptions {
  // List the events even of a file locked against reverse compilation.
  bool ignoreLock = false;
};

// The listing of `file`; a file too short for a header yields one line
// saying so.  A locked file lists its header and a one-line notice only.
std::string dumpKrb(const std::vector<uint8_t>& file, const KrbDumpOptions& options = {});

// The stream of part `part` (0 = FM1) as stored; FM1's excludes the
// start-of-song event.  Empty when the file or its table is malformed.
std::vector<uint8_t> partStream(const std::vector<uint8_t>& file, int part);

}  // namespace tallow
