// FMB bank files: finding, loading and writing the 6152-byte bank, and the
// ".fmbfile" / ".fm" line that names it.
//
// A bank "NAME.FMB" is looked for beside the main source first, then in the
// directory named by FMINST (when set and not empty).  In each place the name
// is tried exactly, then by a case-insensitive match of the file name.
// Messages show a path as written (the directory as given, the file name as
// found); only the path opened has its backslashes turned into separators.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/compile_job.h"
#include "base/out_stream.h"
#include "tonebank/tone_bank.h"

namespace tallow {

// A bank file: the path opened, and the same path as messages show it.
struct BankPath {
  std::string opened;
  std::string shown;
};

// The bank file `fileName` ("NAME.FMB" or "NAME.fmb"): `sourceDir` joined
// with the name, else FMINST joined with the name; none when neither place
// has it.
std::optional<BankPath> locateBankFile(std::string_view sourceDir, std::string_view fileName,
                                       const Environment& env);

// Reads up to 6152 bytes of `path` over the start of `bank`; false when the
// file cannot be opened or read (the bank is then unchanged).
bool readBankFile(const std::string& path, std::array<uint8_t, kFmbFileSize>& bank);

// Loads the bank named by `bank.bankName` and prints "Load FMB : path".
// False when no file was found.
bool loadBank(ToneBankState& bank, const std::string& sourceDir, const Environment& env,
              OutStream& messages);

// The file the bank is written to: the file beside the source that loadBank
// would find there, else the source directory joined with the bank name.
BankPath bankWritePath(const std::string& sourceDir, const std::string& bankName);

// Writes the whole bank atomically and prints "Write FMB : path"; false when
// it cannot be written (the previous file is then intact).
bool writeBank(const ToneBankState& bank, const std::string& sourceDir, OutStream& messages);

inline bool bankNameSet(const ToneBankState& bank) { return !bank.bankName.empty(); }

// A ".fmbfile" / ".fm" line from `pos`: the name (at most 11 bytes, ending at
// a blank, tab, period or line feed) plus ".FMB" becomes the bank name and the
// bank is loaded; a missing file is only a notice.  False, with the message
// printed, for a name that is too long.
bool setBankFile(ToneBankState& bank, std::string_view line, size_t& pos,
                 const std::string& sourceDir, const Environment& env, OutStream& messages);

}  // namespace tallow
