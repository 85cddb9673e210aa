// Keyword records and the lookup index, rebuilt after every change of a
// record so that lookups always follow the table order of the moment.
#include "scan/keyword_table.h"

#include <cstring>

namespace tallow {
namespace {

// Buckets with at least this many records are split by the second byte.
constexpr size_t kSplitThreshold = 8;

}  // namespace

KeywordRecord::KeywordRecord(std::string_view text, int16_t value) {
  std::memcpy(name, text.data(), text.size() < kKeywordNameSize ? text.size() : kKeywordNameSize);
  code[0] = static_cast<uint8_t>(value & 0xFF);
  code[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

std::string_view KeywordRecord::nameText() const {
  size_t length = 0;
  while (length < kKeywordNameSize && name[length] != '\0') ++length;
  return std::string_view(name, length);
}

KeywordTable::KeywordTable(std::string_view title, const std::vector<Entry>& entries,
                           size_t capacity) {
  records_.emplace_back(title, 0);
  for (const Entry& e : entries) records_.emplace_back(e.first, e.second);
  size_t size = records_.size() + 1;
  records_.resize(size > capacity ? size : capacity);  // the rest are terminating records
  rebuildIndex();
}

void KeywordTable::define(size_t index, std::string_view name, int16_t code) {
  if (index >= records_.size()) return;
  records_[index] = KeywordRecord(name, code);
  rebuildIndex();
}

void KeywordTable::rebuildIndex() {
  for (Bucket& bucket : byFirstByte_) {
    bucket.all.clear();
    bucket.bySecondByte.reset();
  }
  end_ = records_.size();
  for (size_t i = 0; i < records_.size(); ++i) {
    if (records_[i].codeValue() == kCodeNoMatch) {
      end_ = i;
      break;
    }
    std::string_view name = records_[i].nameText();
    if (name.empty()) continue;
    Candidate c{static_cast<uint8_t>(name.size()), {}, records_[i].codeValue()};
    std::memcpy(c.name, name.data(), name.size());
    byFirstByte_[static_cast<unsigned char>(name[0])].all.push_back(c);
  }
  rebuildQuickAnswers();
  for (Bucket& bucket : byFirstByte_) {
    if (bucket.all.size() < kSplitThreshold) continue;
    bucket.bySecondByte = std::make_unique<std::array<std::vector<Candidate>, 256>>();
    for (const Candidate& c : bucket.all) {
      for (int second = 0; second < 256; ++second) {
        if (c.length == 1 || static_cast<unsigned char>(c.name[1]) == second) {
          (*bucket.bySecondByte)[second].push_back(c);
        }
      }
    }
  }
}

void KeywordTable::rebuildQuickAnswers() {
  for (size_t byte = 0; byte < quick_.size(); ++byte) {
    const std::vector<Candidate>& all = byFirstByte_[byte].all;
    int quick = all.empty() ? -1 : all.front().length == 1 ? all.front().code : kSearch;
    quick_[byte] = quick;
    if (byte == ' ' || byte == '\t') {
      step_[byte] = kBlank;
    } else if (byte == '\n') {
      step_[byte] = kCodeLineEnd;
    } else if (byte >= '0' && byte <= '9') {
      step_[byte] = kCodeNumber;
    } else if (all.empty()) {
      step_[byte] = kCodeNoMatch;
    } else {
      bool shared = quick < 0 || (quick >= kCodeNoMatch && quick <= kCodeLineEnd);
      step_[byte] = shared ? kSearch : quick;
    }
  }
}

int KeywordTable::matchWhole(std::string_view token) const {
  if (token.empty()) return -1;
  for (const Candidate& c : byFirstByte_[static_cast<unsigned char>(token[0])].all) {
    if (c.length == token.size() && std::memcmp(c.name, token.data(), c.length) == 0) {
      return c.code;
    }
  }
  return -1;
}

}  // namespace tallow
