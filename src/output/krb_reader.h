// Reading a KRB file: its header fields and where each part's data lies,
// checked against the file before any tool walks it.  The tools that read
// KRB files (the listing, the player) share it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/parts.h"

namespace tallow {

struct KrbPartEntry {
  size_t offset = 0;  // from the start of the file, as the table stores it
  size_t length = 0;
};

struct KrbFile {
  std::span<const uint8_t> bytes;
  std::string tag;                                       // "KR3" or "KR2"
  std::string title, artist, fmbName, pmbName, wpkName;  // raw bytes up to the first NUL
  int partCount = 0;
  int soundUse = 0;
  int zenlen = 0;
  bool locked = false;
  int playCount = 0;
  std::array<KrbPartEntry, kPartCount> entries{};

  // A part's data as the table gives it (FM1's begins with the start-of-song
  // event), and its event stream (FM1's without that event).
  std::span<const uint8_t> partData(int part) const;
  std::span<const uint8_t> partStream(int part) const;
};

// Reads `bytes` as a KRB file.  Refuses, with a one-line reason in `error`, a
// file shorter than the header, a tag other than "KR3" or "KR2", a part count
// other than 15 and a table entry that lies outside the file.  The returned
// file refers to `bytes`, which must outlive it.
std::optional<KrbFile> readKrb(std::span<const uint8_t> bytes, std::string& error);

}  // namespace tallow
