// Tone definitions: parameter orders, tone values and the start number.
//
// Parameter codes index both the value array and the table of upper bounds.
// Operator parameters take a base code plus a slot: 0 for operator 1, 2 for
// operator 2, 1 for operator 3 and 3 for operator 4, so that the four values
// of one kind lie in register order (operators 1, 3, 2, 4).  No value is
// written outside the value array and no record outside the bank.
#include "tonebank/tone_defs.h"

#include <climits>

#include "base/text.h"
#include "base/text_scan.h"
#include "tonebank/fmb_file.h"

namespace tallow {
namespace {

struct ParameterName {
  std::string_view name;
  uint8_t code;
};

// Searched in this order; names are case-sensitive.
constexpr ParameterName kParameterNames[] = {
    {"NO", 1},        {"FB", 2},   {"AL", 3},   {"L", 4},    {"R", 5},    {"AMS", 6},  {"PMS", 7},
    {"DT1", 8},       {"DT2", 10}, {"DT3", 9},  {"DT4", 11}, {"TL1", 16}, {"TL2", 18}, {"TL3", 17},
    {"TL4", 19},      {"ML1", 12}, {"ML2", 14}, {"ML3", 13}, {"ML4", 15}, {"AR1", 20}, {"AR2", 22},
    {"AR3", 21},      {"AR4", 23}, {"DR1", 24}, {"DR2", 26}, {"DR3", 25}, {"DR4", 27}, {"SR1", 28},
    {"SR2", 30},      {"SR3", 29}, {"SR4", 31}, {"SL1", 32}, {"SL2", 34}, {"SL3", 33}, {"SL4", 35},
    {"RR1", 36},      {"RR2", 38}, {"RR3", 37}, {"RR4", 39}, {"KS1", 40}, {"KS2", 42}, {"KS3", 41},
    {"KS4", 43},      {"AM1", 44}, {"AM2", 46}, {"AM3", 45}, {"AM4", 47}, {"NUL", 0},  {"NAM", 63},
    {"*", kOrderEnd},
};

// Base codes of the operator parameters.
constexpr uint8_t kDT = 8, kML = 12, kTL = 16, kAR = 20, kDR = 24, kSR = 28, kSL = 32, kRR = 36,
                  kKS = 40, kAM = 44;
// Codes of the single parameters.
constexpr uint8_t kNO = kToneNumberCode, kFB = 2, kAL = 3, kL = 4, kR = 5, kAMS = 6, kPMS = 7;

// Upper bound of each code's value; codes 48-62 have no name, 63 is the name.
constexpr std::array<int, 64> kUpperBounds = {
    255, 128, 7,   7,   1,  1,  3,  7,   // NUL NO FB AL L R AMS PMS
    7,   7,   7,   7,   15, 15, 15, 15,  // DT ML
    127, 127, 127, 127, 31, 31, 31, 31,  // TL AR
    31,  31,  31,  31,  31, 31, 31, 31,  // DR SR
    15,  15,  15,  15,  15, 15, 15, 15,  // SL RR
    3,   3,   3,   3,   1,  1,  1,  1,   // KS AM
};

// Slot of operator n (1-4) within the four values of one kind.
constexpr uint8_t kOperatorSlot[4] = {0, 2, 1, 3};

// NO NAM L R AMS PMS; per operator AR DR SR RR SL TL KS ML DT AM; AL FB "*".
constexpr std::array<uint8_t, kOrderCapacity> makeDefaultOrder() {
  std::array<uint8_t, kOrderCapacity> order{};
  size_t n = 0;
  for (uint8_t code : {kNO, kToneNameCode, kL, kR, kAMS, kPMS}) order[n++] = code;
  for (uint8_t slot : kOperatorSlot) {
    for (uint8_t base : {kAR, kDR, kSR, kRR, kSL, kTL, kKS, kML, kDT, kAM}) {
      order[n++] = static_cast<uint8_t>(base + slot);
    }
  }
  for (uint8_t code : {kAL, kFB, kOrderEnd}) order[n++] = code;
  return order;
}

constexpr std::array<uint8_t, kOrderCapacity> kDefaultOrder = makeDefaultOrder();

bool isSeparator(char c) { return kToneSeparators.find(c) != std::string_view::npos; }

size_t skipSeparators(std::string_view line, size_t pos) {
  while (pos < line.size() && isSeparator(line[pos])) ++pos;
  return pos;
}

// The token from `pos` up to a separator or the end, read at most `limit + 1`
// bytes far (so that a token longer than `limit` is seen as such).
std::string_view token(std::string_view line, size_t pos, size_t limit) {
  size_t end = pos;
  while (end < line.size() && !isSeparator(line[end]) && end - pos <= limit) ++end;
  return line.substr(pos, end - pos);
}

bool say(OutStream& messages, std::string_view utf8) {
  messages.write(formatText(messages.tr(utf8)));
  return false;
}

// A quoted tone name; "~" takes the next byte literally.
bool readToneName(ToneDefState& state, std::string_view line, size_t& pos, OutStream& messages) {
  if (line[pos] != '"') return say(messages, "音色名は\"で囲って下さい\n");
  std::string name;
  for (size_t i = pos + 1;; ++i) {
    if (i >= line.size()) return say(messages, "\"記号が足りません");
    char c = line[i];
    if (c == '"') {
      pos = i + 1;
      break;
    }
    if (c == '~' && ++i >= line.size()) return say(messages, "\"記号が足りません");
    if (name.size() == kToneNameLength) {
      messages.write(formatText(messages.tr("音色名は%d文字までです\n"), kToneNameLength));
      return false;
    }
    name.push_back(line[i]);
  }
  state.bank.toneName.fill('\0');
  name.copy(state.bank.toneName.data(), name.size());
  return true;
}

// A value of 1 to 3 decimal digits for parameter `code`.
bool readToneValue(ToneDefState& state, uint8_t code, std::string_view line, size_t& pos,
                   OutStream& messages) {
  std::string_view digits = token(line, pos, 3);
  int value = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i == 3 || digits[i] < '0' || digits[i] > '9') {
      say(messages,
          i == 3 ? "パラメータの指定が不正です\n" : "パラメータには数値を指定してください\n");
      return say(messages, "引数が不正です\n");
    }
    value = value * 10 + (digits[i] - '0');
  }
  pos += digits.size();
  if (value > kUpperBounds[code]) {
    messages.write(formatText(messages.tr("音色パラメータの値(%d)が"), value));
    messages.write(formatText(messages.tr("上限(%d)を超えています\n"), kUpperBounds[code]));
    return false;
  }
  if (code == kToneNumberCode && value < state.startNumber) {
    return say(messages, "音色番号が小さすぎます");
  }
  state.values[code] = static_cast<uint8_t>(value);
  return true;
}

// Reads the value at the tone's current position and moves to the next.
bool readNextValue(ToneDefState& state, std::string_view line, size_t& pos, OutStream& messages) {
  uint8_t code = state.order[state.orderPosition];
  // An empty order ("#@ *") takes no value at all.
  if (code == kOrderEnd) return say(messages, "引数が多すぎます\n");
  bool ok = code == kToneNameCode ? readToneName(state, line, pos, messages)
                                  : readToneValue(state, code, line, pos, messages);
  if (ok) ++state.orderPosition;
  return ok;
}

}  // namespace

ToneDefState::ToneDefState(ToneBankState& programBank) : bank(programBank) {
  resetToneState(*this);
}

void resetToneState(ToneDefState& state) {
  state.order = kDefaultOrder;
  state.orderCount = 0;
  state.orderPosition = 0;
  state.values.fill(0);
  state.startNumber = 1;
}

int parameterCode(std::string_view name) {
  for (const ParameterName& p : kParameterNames) {
    if (p.name == name) return p.code;
  }
  return -1;
}

bool defineToneOrder(ToneDefState& state, std::string_view line, size_t& pos, OutStream& messages) {
  if (toneInProgress(state)) return say(messages, "音色設定中に音色パラメータ順設定は出来ません");
  for (;;) {
    pos = skipSeparators(line, pos);
    if (pos >= line.size()) return true;
    std::string_view name = token(line, pos, 3);
    int code = name.size() > 3 ? -1 : parameterCode(name);
    if (code < 0) return say(messages, "引数が不正です\n");
    pos += name.size();
    state.order[static_cast<size_t>(state.orderCount++)] = static_cast<uint8_t>(code);
    if (state.orderCount == static_cast<int>(kOrderCapacity)) {
      return say(messages, "ＦＭ音色パラメータが多すぎます。");
    }
    if (code == kOrderEnd) {
      state.orderCount = 0;
      state.orderPosition = 0;
      state.values.fill(0);
      return true;
    }
  }
}

bool defineToneValues(ToneDefState& state, std::string_view line, size_t& pos,
                      OutStream& messages) {
  if (state.orderCount != 0) {
    return say(messages, "音色パラメータ順設定が完了する前に音色設定はできません\n");
  }
  for (;;) {
    pos = skipSeparators(line, pos);
    if (pos >= line.size()) return true;
    if (!readNextValue(state, line, pos, messages)) return false;
    size_t next = static_cast<size_t>(state.orderPosition);
    if (next >= kOrderCapacity - 1 || state.order[next] == kOrderEnd) {
      state.orderPosition = 0;
      if (!storeTone(state, messages)) return false;
      pos = skipSeparators(line, pos);
      return true;
    }
  }
}

std::array<uint8_t, kToneRecordSize> packToneRecord(
    const std::array<uint8_t, 64>& v, const std::array<char, kToneNameLength + 1>& name) {
  std::array<uint8_t, kToneRecordSize> record{};
  for (size_t i = 0; i < kToneNameLength && name[i] != '\0'; ++i) {
    record[i] = static_cast<uint8_t>(name[i]);
  }
  for (size_t s = 0; s < 4; ++s) {
    record[8 + s] = static_cast<uint8_t>(v[kDT + s] * 16 + v[kML + s]);
    record[12 + s] = v[kTL + s];
    record[16 + s] = static_cast<uint8_t>(v[kKS + s] * 64 + v[kAR + s]);
    record[20 + s] = static_cast<uint8_t>(v[kAM + s] * 128 + v[kDR + s]);
    record[24 + s] = v[kSR + s];
    record[28 + s] = static_cast<uint8_t>(v[kSL + s] * 16 + v[kRR + s]);
  }
  record[32] = static_cast<uint8_t>(v[kFB] * 8 + v[kAL]);
  record[33] = static_cast<uint8_t>(v[kL] * 128 + v[kR] * 64 + v[kAMS] * 16 + v[kPMS]);
  return record;
}

bool storeTone(ToneDefState& state, OutStream& messages) {
  int index = state.values[kNO] - state.startNumber;
  if (index >= static_cast<int>(kToneRecordCount)) return say(messages, "音色番号が大きすぎます");
  if (index < 0) return say(messages, "音色番号が小さすぎます");
  auto record = packToneRecord(state.values, state.bank.toneName);
  std::copy(
      record.begin(), record.end(),
      state.bank.bytes.begin() + kFmbHeaderSize + kToneRecordSize * static_cast<size_t>(index));
  ++state.bank.toneCount;
  state.bank.defined.set(static_cast<size_t>(index));
  state.values.fill(0);
  return true;
}

int32_t decimalValue(std::string_view word) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  int64_t value = 0;
  for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
    value = value * 10 + (word[i] - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool setStartNumber(ToneDefState& state, std::string_view line, size_t& pos) {
  std::string word;
  // A word too long to read fails like a bad number.
  if (!readWord(line, pos, word, kFieldDelimiters)) return false;
  state.startNumber = static_cast<uint8_t>(static_cast<uint32_t>(decimalValue(word)));
  return state.startNumber <= 1;
}

void reportTones(ToneDefState& state, const std::string& sourceDir, OutStream& messages) {
  if (state.orderCount != 0)
    messages.note(Text::own(messages.tr("音色パラメータ順設定が完了していません\n")));
  if (toneInProgress(state)) messages.note(Text::own(messages.tr("音色定義が完了していません\n")));
  if (state.bank.toneCount == 0) return;
  messages.note(formatText(messages.tr("%d個の音色を定義しました\n"), state.bank.toneCount));
  if (!writeBank(state.bank, sourceDir, messages)) {
    messages.note(Text::own(messages.tr("FMBファイル書き出しに失敗しました。\n")));
  }
}

}  // namespace tallow
