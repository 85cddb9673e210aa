// The stream optimiser against a plain reference: the straightforward pass
// it replaced, kept here unchanged.  Random streams, valid and broken, must
// give the same bytes and the same result, one pass and two passes.
#include "output/optimizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "output/krb_format.h"
#include "support/compile_helpers.h"

namespace tallow::testing {
namespace {

// The reference pass: one event at a time through the general dispatch.
namespace reference {

constexpr int kNoStop = -1;

struct Memories {
  int tone = -1, gate = -1, volume = -1, detune = 1024, pan = -1;

  void resetButGate() {
    int keep = gate;
    *this = Memories{};
    gate = keep;
  }
};

constexpr std::array<bool, 256> makeBarriers() {
  std::array<bool, 256> barrier{};
  for (int code = 0; code < 256; ++code)
    barrier[code] = code < kFirstCommandCode || kEventLength[code] == 0;
  for (uint8_t code : {kEventChord, kEventRest, kEventEnd, kEventLoopStart, kEventLoopEnd,
                       kEventRegister, kEventLoopEscape}) {
    barrier[code] = true;
  }
  return barrier;
}

constexpr std::array<bool, 256> kBarrier = makeBarriers();

class Pass {
 public:
  Pass(uint8_t* s, size_t length) : s_(s), length_(length) {}
  size_t run();

 private:
  bool fits(size_t count) const { return count <= length_ - r_; }
  int word(size_t at) const { return s_[at] | s_[at + 1] << 8; }
  bool isSuperseded(size_t position, int code, int stopCode) const {
    while (position < length_) {
      int candidate = s_[position];
      if (candidate == code) return true;
      if (kBarrier[candidate] || candidate == stopCode) return false;
      position += kEventLength[candidate];
    }
    return false;
  }
  void copy(size_t count) {
    if (w_ != r_) {
      for (size_t i = 0; i < count; ++i) s_[w_ + i] = s_[r_ + i];
    }
    w_ += count;
    r_ += count;
  }
  void writeTimed(uint8_t code, uint32_t length) {
    s_[w_] = code;
    s_[w_ + 1] = static_cast<uint8_t>(length & 0xFF);
    s_[w_ + 2] = static_cast<uint8_t>(length >> 8);
    w_ += 3;
  }
  void note() {
    uint8_t pitch = s_[r_];
    uint32_t total = static_cast<uint32_t>(word(r_ + 1));
    r_ += 3;
    while (fits(4) && s_[r_] == kEventTie && s_[r_ + 1] == pitch &&
           total + static_cast<uint32_t>(word(r_ + 2)) <= 0xFFFF) {
      total += static_cast<uint32_t>(word(r_ + 2));
      r_ += 4;
    }
    writeTimed(pitch, total);
  }
  void rest() {
    uint32_t total = static_cast<uint32_t>(word(r_ + 1));
    r_ += 3;
    while (fits(3) && s_[r_] == kEventRest &&
           total + static_cast<uint32_t>(word(r_ + 1)) <= 0xFFFE) {
      total += static_cast<uint32_t>(word(r_ + 1));
      r_ += 3;
    }
    writeTimed(kEventRest, total);
  }
  void remembered(int& memory, int value, size_t count, int stopCode) {
    if (isSuperseded(r_ + count, s_[r_], stopCode) || value == memory) {
      r_ += count;
      return;
    }
    memory = value;
    copy(count);
  }

  uint8_t* s_;
  size_t length_;
  size_t r_ = 0;
  size_t w_ = 0;
  Memories m_;
};

size_t Pass::run() {
  while (r_ < length_) {
    int code = s_[r_];
    size_t count = kEventLength[code];
    if (isNoteCode(static_cast<uint8_t>(code))) {
      if (!fits(3)) return 0;
      note();
      continue;
    }
    if (code == kEventEnd) {
      copy(1);
      return w_;
    }
    if (count == 0 || code < kFirstCommandCode || !fits(count)) return 0;
    switch (code) {
      case kEventRest:
        rest();
        break;
      case kEventTie:
      case kEventChord:
      case kEventLoopEscape:
        copy(count);
        break;
      case kEventTone:
        if (isSuperseded(r_ + count, kEventTone, kNoStop)) {
          r_ += count;
        } else {
          remembered(m_.tone, s_[r_ + 1], count, kNoStop);
          m_.pan = -1;
        }
        break;
      case kEventGate:
        remembered(m_.gate, s_[r_ + 1], count, kNoStop);
        break;
      case kEventVolume:
        remembered(m_.volume, s_[r_ + 1], count, kNoStop);
        break;
      case kEventPan:
        remembered(m_.pan, s_[r_ + 1], count, kEventTone);
        break;
      case kEventDetune:
        remembered(m_.detune, static_cast<int16_t>(word(r_ + 1)), count, kEventRegister);
        break;
      case kEventRegister:
      case kEventSettingAtQ:
        copy(count);
        m_.resetButGate();
        break;
      case kEventLoopStart:
        copy(count);
        m_ = Memories{};
        break;
      case kEventLoopEnd:
        copy(count);
        if (s_[r_ - 1] == 0) return w_;
        m_ = Memories{};
        break;
      default:
        if (isSuperseded(r_ + count, code, kNoStop)) {
          r_ += count;
        } else {
          copy(count);
        }
    }
  }
  return 0;
}

size_t optimizeStream(uint8_t* stream, size_t length) { return Pass(stream, length).run(); }

}  // namespace reference

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  uint32_t below(uint32_t n) { return next() % n; }
  bool percent(uint32_t p) { return below(100) < p; }
  template <typename T, size_t N>
  T pick(const T (&values)[N]) {
    return values[below(N)];
  }

 private:
  uint64_t state_;
};

// Values drawn from small pools, so that memories repeat, ties find their
// pitch and sums of lengths land on both sides of the joining limits.
constexpr uint8_t kPitches[] = {0x3C, 0x3C, 0x3E, 0x00, 0x79};
constexpr uint16_t kLengths[] = {0x0001, 0x0030, 0x0060, 0x7530, 0x7FFE, 0x7FFF,
                                 0x8000, 0xFFFE, 0xFFFF, 0x0000, 0x5555, 0xAAAA};
constexpr uint8_t kBytes[] = {0x00, 0x01, 0x40, 0x7F, 0xFF};
constexpr uint16_t kDetunes[] = {0x0000, 0x0001, 0xFFFF, 0x0400, 0x8000};

void putWord(std::vector<uint8_t>& s, uint16_t value) {
  s.push_back(static_cast<uint8_t>(value & 0xFF));
  s.push_back(static_cast<uint8_t>(value >> 8));
}

uint16_t length(Random& random) {
  return random.percent(80) ? random.pick(kLengths) : static_cast<uint16_t>(random.next());
}

// A command event of `code` with operands from the pools.
void putCommand(std::vector<uint8_t>& s, uint8_t code, Random& random) {
  s.push_back(code);
  for (size_t i = 1; i < kEventLength[code]; ++i) s.push_back(random.pick(kBytes));
}

// How long the generated streams are and how often they break the rules.
struct Profile {
  uint32_t maxEvents;
  uint32_t brokenPerMille;  // events with a code that is no event
  uint32_t endlessPercent;  // loop ends that repeat endlessly
  uint32_t badEndPercent;   // streams cut short, without an end code or with bytes after it
};

void putEvent(std::vector<uint8_t>& s, Random& random, const Profile& profile) {
  uint32_t roll = random.below(1000);
  if (roll < profile.brokenPerMille) {
    if (random.percent(50)) {
      s.push_back(static_cast<uint8_t>(0x7A + random.below(6)));  // between notes and commands
      putWord(s, length(random));
    } else {
      s.push_back(static_cast<uint8_t>(random.next()));  // anything
    }
  } else if (roll < 200) {
    s.push_back(random.pick(kPitches));
    putWord(s, length(random));
  } else if (roll < 330) {
    s.push_back(kEventTie);
  } else if (roll < 460) {
    s.push_back(kEventRest);
    putWord(s, length(random));
  } else if (roll < 560) {
    s.push_back(kEventDetune);
    putWord(s, random.pick(kDetunes));
  } else if (roll < 800) {
    constexpr uint8_t kRemembered[] = {kEventVolume, kEventGate, kEventPan,
                                       kEventPan,    kEventTone, kEventTone};
    s.push_back(random.pick(kRemembered));
    s.push_back(random.pick(kBytes));
  } else if (roll < 860) {
    constexpr uint8_t kResets[] = {kEventRegister, kEventSettingAtQ, kEventLoopStart, kEventChord,
                                   kEventLoopEscape};
    putCommand(s, random.pick(kResets), random);
  } else if (roll < 880) {
    s.push_back(kEventLoopEnd);
    s.push_back(random.percent(profile.endlessPercent) ? 0 : random.pick(kBytes) | 1);
  } else {
    putCommand(s, random.pick(kCommandEvents).code, random);
  }
}

// A stream of up to `maxEvents` events ending with 0xFF, but for a few that
// are cut inside their last event, lack the end code or run on after it.
std::vector<uint8_t> makeStream(Random& random, const Profile& profile) {
  std::vector<uint8_t> s;
  uint32_t events = random.below(profile.maxEvents + 1);
  for (uint32_t i = 0; i < events; ++i) putEvent(s, random, profile);
  if (!random.percent(profile.badEndPercent)) {
    s.push_back(kEventEnd);
    return s;
  }
  uint32_t ending = random.below(3);
  if (ending == 0 && !s.empty()) {
    size_t cut = 1 + random.below(s.size() < 3 ? static_cast<uint32_t>(s.size()) : 3);
    s.resize(s.size() - cut);
  } else if (ending == 1) {
    s.push_back(kEventEnd);
    putEvent(s, random, profile);
  }
  return s;
}

// What the differential run saw, to show that the streams reach the cases.
struct Coverage {
  size_t failed = 0;           // the first pass returned 0
  size_t secondShortened = 0;  // the second pass found more to do
  size_t cases = 0;
};

// A buffer of exactly the stream's size, so that the sanitizers see any read
// past its end.
class Exact {
 public:
  explicit Exact(const std::vector<uint8_t>& s) : bytes_(new uint8_t[s.size()]), size_(s.size()) {
    std::copy(s.begin(), s.end(), bytes_.get());
  }
  uint8_t* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  std::vector<uint8_t> prefix(size_t length) const {
    return std::vector<uint8_t>(bytes_.get(), bytes_.get() + length);
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
};

void compareOnePass(const std::vector<uint8_t>& input) {
  Exact expected(input);
  Exact actual(input);
  size_t expectedLength = reference::optimizeStream(expected.data(), expected.size());
  ASSERT_EQ(optimizeStream(actual.data(), actual.size()), expectedLength);
  ASSERT_EQ(actual.prefix(input.size()), expected.prefix(input.size()));  // past the result too
}

void compareTwoPasses(const std::vector<uint8_t>& input, Coverage& coverage) {
  Exact expected(input);
  size_t first = reference::optimizeStream(expected.data(), expected.size());
  size_t second = first == 0 ? 0 : reference::optimizeStream(expected.data(), first);
  Exact actual(input);
  size_t length = optimizeStreamTwice(actual.data(), actual.size());
  ASSERT_EQ(length, second);
  ASSERT_EQ(actual.prefix(length), expected.prefix(length));
  coverage.failed += first == 0;
  coverage.secondShortened += second != 0 && second < first;
  ++coverage.cases;
}

void runDifferential(uint64_t seed, uint32_t streams, const Profile& profile, Coverage& coverage) {
  Random random(seed);
  for (uint32_t i = 0; i < streams; ++i) {
    std::vector<uint8_t> input = makeStream(random, profile);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", stream " << i);
    compareOnePass(input);
    compareTwoPasses(input, coverage);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(OptimizerDifferential, ShortStreamsMatchTheReference) {
  const Profile profile{40, 8, 25, 12};
  Coverage coverage;
  for (uint64_t seed = 1; seed <= 20; ++seed) runDifferential(seed, 15000, profile, coverage);
  EXPECT_GT(coverage.failed, coverage.cases / 20);
  EXPECT_GT(coverage.secondShortened, coverage.cases / 200);
}

TEST(OptimizerDifferential, LongStreamsMatchTheReference) {
  const Profile profile{4000, 0, 0, 0};
  Coverage coverage;
  runDifferential(1001, 500, profile, coverage);
  EXPECT_GT(coverage.secondShortened, coverage.cases / 2);
}

// What the second pass finds to do in the first pass's result.
struct TwoPassCase {
  const char* name;
  std::string in;
  std::string once;
  std::string twice;  // empty: the first pass fails
};

void PrintTo(const TwoPassCase& c, std::ostream* os) { *os << c.name; }

class OptimizerTwoPasses : public ::testing::TestWithParam<TwoPassCase> {};

TEST_P(OptimizerTwoPasses, SecondPassOverTheFirstsResult) {
  std::vector<uint8_t> once = fromHex(GetParam().in);
  std::vector<uint8_t> twice = once;
  size_t length = optimizeStreamTwice(twice.data(), twice.size());
  if (GetParam().twice.empty()) {
    EXPECT_EQ(length, 0u);
    return;
  }
  twice.resize(length);
  EXPECT_EQ(toHex(twice), GetParam().twice);
  once.resize(optimizeStream(once.data(), once.size()));
  EXPECT_EQ(toHex(once), GetParam().once);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptimizerTwoPasses,
    ::testing::Values(
        TwoPassCase{"TieJoinsOverADroppedDetune", "91 00 00 3C 60 00 86 91 00 00 3C 60 00 FF",
                    "91 00 00 3C 60 00 86 3C 60 00 FF", "91 00 00 3C C0 00 FF"},
        TwoPassCase{"TieBeyond16BitsStays", "91 00 00 3C 00 80 86 91 00 00 3C 00 80 FF",
                    "91 00 00 3C 00 80 86 3C 00 80 FF", "91 00 00 3C 00 80 86 3C 00 80 FF"},
        TwoPassCase{"RestsJoinOverADroppedVolume", "84 10 3C 60 00 90 30 00 84 10 90 30 00 FF",
                    "84 10 3C 60 00 90 30 00 90 30 00 FF", "84 10 3C 60 00 90 60 00 FF"},
        TwoPassCase{"PanSupersededOnceADroppedToneIsGone",
                    "81 05 3C 60 00 93 10 86 84 20 81 05 93 20 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 86 84 20 93 20 3C 60 00 FF",
                    "81 05 3C 60 00 86 84 20 93 20 3C 60 00 FF"},
        TwoPassCase{"PanRepeatedOnceADroppedToneIsGone",
                    "81 05 3C 60 00 93 10 3C 60 00 81 05 93 10 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 3C 60 00 93 10 3C 60 00 FF",
                    "81 05 3C 60 00 93 10 3C 60 00 3C 60 00 FF"},
        TwoPassCase{"PanAfterAtQIsWrittenAgain", "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF",
                    "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF",
                    "93 10 9D 00 00 00 3C 60 00 93 10 3C 60 00 FF"},
        TwoPassCase{"EndlessLoopEndsStream", "95 3C 60 00 96 00 3E 60 00 FF", "95 3C 60 00 96 00",
                    "95 3C 60 00 96 00"},
        TwoPassCase{"UndefinedCodeFails", "3C 60 00 7A 00 00 FF", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tallow::testing
