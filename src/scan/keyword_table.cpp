#include "scan/keyword_table.h"

#include <cstring>

namespace tallow {

KeywordTable::KeywordTable(std::string_view title, std::initializer_list<Entry> entries,
                           size_t capacity) {
  records_.push_back({std::string(title.substr(0, kKeywordNameSize)), 0});
  for (const Entry& e : entries) records_.push_back({e.first, e.second});
  size_t size = records_.size() + 1;
  records_.resize(size > capacity ? size : capacity);  // the rest are terminating records
  rebuildIndex();
}

void KeywordTable::define(size_t index, std::string_view name, int16_t code) {
  if (index >= records_.size()) return;
  records_[index] = {std::string(name.substr(0, kKeywordNameSize)), code};
  rebuildIndex();
}

void KeywordTable::rebuildIndex() {
  for (auto& list : byFirstByte_) list.clear();
  end_ = records_.size();
  for (size_t i = 0; i < records_.size(); ++i) {
    if (records_[i].code == kCodeNoMatch) {
      end_ = i;
      break;
    }
    const std::string& name = records_[i].name;
    if (!name.empty())
      byFirstByte_[static_cast<unsigned char>(name[0])].push_back(static_cast<uint16_t>(i));
  }
}

int KeywordTable::matchPrefix(std::string_view text, size_t& length) const {
  if (text.empty()) return -1;
  for (uint16_t i : byFirstByte_[static_cast<unsigned char>(text[0])]) {
    const std::string& name = records_[i].name;
    if (name.size() <= text.size() && std::memcmp(name.data(), text.data(), name.size()) == 0) {
      length = name.size();
      return records_[i].code;
    }
  }
  return -1;
}

int KeywordTable::matchWhole(std::string_view token) const {
  if (token.empty()) return -1;
  for (uint16_t i : byFirstByte_[static_cast<unsigned char>(token[0])]) {
    if (records_[i].name == token) return records_[i].code;
  }
  return -1;
}

}  // namespace tallow
