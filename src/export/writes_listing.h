// The listing of what the driver model sends, one event a line: the tick,
// the time in seconds, the part, and for a chip write the port, register,
// value and the register's name; for the other events their values.  For
// `krbdump --writes`.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/out_stream.h"
#include "playback/playback.h"

namespace tallow::exports {

// The name of an FM chip register, e.g. "total level" for 40h-4Eh.
const char* fmRegisterName(uint8_t reg);

// One line (with its line end) for `event`.
std::string formatEvent(const playback::Event& event);

// Lists the events of the parts in `options.parts` (and the chip set-up).
// On a malformed stream the lines so far stay written and it returns false
// with the reason in `error`.
bool listWrites(const KrbFile& krb, std::span<const uint8_t> bank, const playback::Options& options,
                OutStream& out, std::string& error);

}  // namespace tallow::exports
