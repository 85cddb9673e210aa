// FMB bank files.  The bank is read and written as one raw block; a write
// goes through a temporary file so that a failure keeps the previous bank.
#include "tonebank/fmb_file.h"

#include <algorithm>
#include <vector>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "base/text_scan.h"

namespace tallow {
namespace {

constexpr size_t kMaxBankNameLength = 11;
constexpr std::string_view kBankSuffix = ".FMB";
constexpr std::string_view kBankNameDelimiters = " .\t\n";

// The shown path keeps every directory as written: the one searched and any
// that the bank name itself carries (".fmbfile sub/BANK" with either
// separator).  Only the file name is taken as found, which may differ in case.
std::optional<BankPath> findIn(std::string_view dir, std::string_view fileName) {
  std::optional<std::string> found = findFileIgnoringCase(toOpenPath(joinPath(dir, fileName)));
  if (!found) return std::nullopt;
  return BankPath{*found,
                  joinPath(dir, directoryPart(fileName) + std::string(fileNamePart(*found)))};
}

}  // namespace

std::optional<BankPath> locateBankFile(std::string_view sourceDir, std::string_view fileName,
                                       const Environment& env) {
  if (auto beside = findIn(sourceDir, fileName)) return beside;
  if (env.fminst && !env.fminst->empty()) return findIn(*env.fminst, fileName);
  return std::nullopt;
}

bool readBankFile(const std::string& path, std::array<uint8_t, kFmbFileSize>& bank) {
  std::vector<uint8_t> data;
  if (!readFilePrefix(path, kFmbFileSize, data)) return false;
  std::copy(data.begin(), data.end(), bank.begin());
  return true;
}

bool loadBank(ToneBankState& bank, const std::string& sourceDir, const Environment& env,
              OutStream& messages) {
  std::optional<BankPath> path = locateBankFile(sourceDir, bank.bankName, env);
  if (!path || !readBankFile(path->opened, bank.bytes)) return false;
  messages.note(formatText("Load FMB : %s\n", path->shown));
  return true;
}

BankPath bankWritePath(const std::string& sourceDir, const std::string& bankName) {
  if (auto existing = findIn(sourceDir, bankName)) return *existing;
  std::string shown = joinPath(sourceDir, bankName);
  return BankPath{toOpenPath(shown), shown};
}

bool writeBank(const ToneBankState& bank, const std::string& sourceDir, OutStream& messages) {
  BankPath path = bankWritePath(sourceDir, bank.bankName);
  if (!writeFileAtomically(path.opened, bank.bytes.data(), bank.bytes.size())) return false;
  messages.note(formatText("Write FMB : %s\n", path.shown));
  return true;
}

bool setBankFile(ToneBankState& bank, std::string_view line, size_t& pos,
                 const std::string& sourceDir, const Environment& env, OutStream& messages) {
  std::string name;
  if (!readField(line, pos, name, kBankNameDelimiters, kMaxBankNameLength + 1)) {
    messages.write(formatText(messages.tr("引数が多すぎます\n")));
    return false;
  }
  bank.bankName = name + std::string(kBankSuffix);
  if (!loadBank(bank, sourceDir, env, messages)) {
    messages.note(formatText(messages.tr("指定のFMBファイルは存在しません\n")));
  }
  return true;
}

}  // namespace tallow
