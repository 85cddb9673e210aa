// Finding and reading the FM tone bank of a KRB file, for every tool that
// plays one: the bank named in the header, "<name>.FMB" beside the KRB file
// in any case of letters, unless the user names a bank file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/krb_reader.h"

namespace tallow::playback {

// The path of "<fmbName>.FMB" in the directory of `krbPath`, compared without
// regard to the case of ASCII letters; none when the name is empty or no such
// file is there.
std::optional<std::string> findBankBeside(const std::string& krbPath, std::string_view fmbName);

// The bank a tool plays `krb` with.  `fmbOption` (the user's bank file) wins;
// a bank that cannot be read is an error (false).  Without it,
// the header's bank is looked up beside the KRB file; when it is not found,
// `bank` stays empty (the player's built-in tone) and `missing` is set.
bool loadBank(const std::string& krbPath, const KrbFile& krb,
              const std::optional<std::string>& fmbOption, std::vector<uint8_t>& bank,
              bool& missing);

}  // namespace tallow::playback
