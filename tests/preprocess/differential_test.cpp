// The preprocessor against a copy of its former line pipeline
// (reference_preprocess.cpp), on random sources: the intermediate file, the
// messages and the editor line must be the same bytes.  The sources mix
// plain lines with comments, escapes, macro references with arguments,
// braces, CP932 and UTF-8 characters, NUL and CR bytes, #with prefixes,
// conditionals, failing lines and lines longer than one read.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "preprocess/preprocess_test_support.h"
#include "preprocess/reference_preprocess.h"

namespace tallow {
namespace {

using testing::PreprocessResult;
using testing::TempDir;

struct Pieces {
  int weight;
  std::vector<std::string> texts;
};

// clang-format off
// Pieces that pass wherever they stand in a short line.
const std::vector<Pieces> kSafePieces = {
    {240, {"c4 ", "d8. ", "e", "f+", "g-16 ", "o4 ", "l8 ", "v12 ", "r ", "@3 ", "t120 ", "f#",
          "%c-3 ", "(", ")3 ", "[", "]2 ", "&", "~", ".", ",", "'", "@", "#", "=", "<", ">",
          "|", "^", ":", "*", "\t", "  ", "X1 ", "Q8 ", "abc", "A", "x", "0", "99", ")"}},
    {20, {"; comment", " / note", "\\;", "\\/", "/", ";"}},
    {12, {"\\$", "\\?"}},
    {40, {"$A ", "$B ", "$A4.", "$ A,", "$P(c,d)", "$P(c, d)", "$P(c ,d)", "$P((c,d),e)",
          "$Q(x)", "$Q( $A )", "$X ", "?x", "? A", "?A", "$T(e) ", "$E ", "$C<", "$M(k)",
          "$N(n)", "$Z\t", "$A(1)", "$A{c} "}},
    {20, {"{c d}2 ", "{a{b}3}2 ", "{} ", "{c} ", "{e}00000001 "}},
};

const std::vector<Pieces> kCp932Pieces = {
    {32, {"\x82\xA0", "\x95\x5C", "\x83\x7B", "\x81\x60", "\xB1", "\x88\x9F", "\x81$",
         "\x81?", "\x81;", "\x81{", "\x81}", "\x81\\"}},
};

const std::vector<Pieces> kUtf8Pieces = {
    {32, {"\xE3\x81\x82", "\xE3\x81\x9A", "\xF0\x9F\x8E\xB5", "\xC3\xA9", "\xE3\x83\x89"}},
};

// Pieces that pass in a line longer than one read, wherever the read cuts
// it: a cut never leaves a directive word, a reference or a brace behind.
const std::vector<Pieces> kLongPieces = {
    {60, {"c4 ", "d8. ", "e", "f+", "g-16 ", "o4 ", "l8 ", "v12 ", "r ", "t120 ", "%c-3 ", "(",
          ")3 ", "[", "]2 ", "&", "~", ",", "=", "<", ">", "\t", "  ", "X1 ", "abc"}},
    {2, {"; comment", "\\;", "/"}},
};
const Pieces kLongCp932Pieces = {4, {"\xB1", "\x82\xA0"}};
const Pieces kLongUtf8Pieces = {4, {"\xE3\x81\x82"}};

// Pieces that fail a line, or that the reading treats apart.
const std::vector<Pieces> kRiskyPieces = {
    {1, {"$undefined", "$U(z)", "$P(c)", "$P(a,b,c)", "$P", "$R", "$L$L", "?", "$", "$Q(",
         std::string("$") + std::string(33, 'n'), "\\", "\\{", "\\}", "\\\\", "\x81"}},
    {1, {"{", "}", "}0", "}123456789", "}3"}},
    {1, {std::string(1, '\0'), "\r", "\x1A"}},
};

const std::vector<std::string> kDefinitions = {
    "#define A e f g", "#define B $A $A", "#define P(x,y) ?x-?y", "#define Q(x) [?x]",
    "#define U(a) $P(?a,?a)", "#define T(x) {?x}3", "#define R $R",
    "#define L " + std::string(4500, 'l'), "#define E \\;e", "#define C c;comment",
    "#define X", "#define x ex", "#define A4 four", "#define M(x) $Q(?x) $A", "#$ Z zz",
    "#macro N(n) ?n?n",
};

// Directive lines of a risky source, most of them refused.
const std::vector<std::string> kDirectives = {
    "#with W", "#{ 1", "#endwith", "#}", "#ifdef A", "#ifndef B", "#else", "#endif", "#clear",
    "#undef A", ".title T;x/y", ".artist a/b", "#bogus", "@1 x", "#@ NO AL *", "#quit",
    "#includes", "  #define Y y", "#define A again", "#define (x) y", "#with " + std::string(32, 'w'),
    "#ifdef A B", "#endwith x",
};
// clang-format on

// Random sources.  A safe source passes: all macros are defined, its
// conditionals are balanced and its long lines are cut harmlessly; a risky
// one may fail anywhere.
class SourceMaker {
 public:
  SourceMaker(uint32_t seed, bool utf8, bool risky) : random_(seed), utf8_(utf8), risky_(risky) {
    pieces_ = kSafePieces;
    for (const Pieces& p : utf8 ? kUtf8Pieces : kCp932Pieces) pieces_.push_back(p);
    longPieces_ = kLongPieces;
    longPieces_.push_back(utf8 ? kLongUtf8Pieces : kLongCp932Pieces);
    if (risky) {
      for (const Pieces& p : kRiskyPieces) pieces_.push_back(p);
    }
  }

  std::string source(int lines) {
    std::string text;
    if ((utf8_ || risky_) && below(8) == 0) text += "\xEF\xBB\xBF";
    for (const std::string& d : kDefinitions) {
      if (!risky_ || below(20) != 0) text += d + "\n";
    }
    for (int i = 0; i < lines; ++i) {
      text += !risky_ && below(40) == 0 ? block() : line();
      text += below(10) == 0 ? "\r\n" : "\n";
    }
    if (below(4) == 0) text += line();  // a last line without a line feed
    return text;
  }

 private:
  int below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

  const std::string& pick(const std::vector<Pieces>& pieces) {
    int total = 0;
    for (const Pieces& p : pieces) total += p.weight;
    int at = below(total);
    for (const Pieces& p : pieces) {
      if (at < p.weight) return p.texts[below(static_cast<int>(p.texts.size()))];
      at -= p.weight;
    }
    return pieces.front().texts.front();
  }

  std::string line() {
    if (risky_ && below(16) == 0) return kDirectives[below(static_cast<int>(kDirectives.size()))];
    if (!risky_ && below(12) == 0) return below(2) == 0 ? "#with W" : "#endwith";
    // A safe line starts with a letter or a digit, so that no piece makes it
    // a directive or a tone line.
    static const char* const kStarts[] = {"1 ", "ABC ", "123 ", "", " ", "\t"};
    std::string text = kStarts[below(risky_ ? 6 : 3)];
    bool longLine = below(30) == 0;
    size_t length = longLine ? 8000 + below(12000) : below(risky_ ? 40 : 80);
    while (text.size() < length) text += pick(longLine ? longPieces_ : pieces_);
    return text;
  }

  // A conditional block whose lines all pass.
  std::string block() {
    std::string text = below(2) == 0 ? "#ifdef A\n" : "#ifndef A\n";
    for (int i = below(3); i > 0; --i) text += line() + "\n";
    if (below(2) == 0) text += "#else\n";
    for (int i = below(3); i > 0; --i) text += line() + "\n";
    return text + "#endif";
  }

  std::mt19937 random_;
  bool utf8_;
  bool risky_;
  std::vector<Pieces> pieces_;
  std::vector<Pieces> longPieces_;
};

void expectSame(const TempDir& dir, const std::string& source, uint32_t seed) {
  dir.write("song.mml", source);
  ProgramContext program;
  testing::PreprocessSetup setup;
  setup.editorLines = true;
  PreprocessResult now = testing::runPreprocess(dir, program, setup);
  testing::CurrentDirectory inside(dir.path());
  testing::reference::Run before = testing::reference::runFile("song.mml");
  ASSERT_EQ(now.status, before.status) << "seed " << seed;
  ASSERT_EQ(now.intermediate, before.intermediate) << "seed " << seed;
  ASSERT_EQ(now.messages, before.messages) << "seed " << seed;
  ASSERT_EQ(now.editor, before.editor) << "seed " << seed;
}

// Short sources with failing lines: each run ends at its first failure, so
// many are made.
TEST(Differential, RandomSources) {
  TempDir dir;
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    SourceMaker maker(seed, seed % 3 == 0, true);
    expectSame(dir, maker.source(25), seed);
    if (HasFatalFailure()) return;
  }
}

// Long sources that pass: many blocks of the intermediate file's writer,
// lines longer than one read, prefixes, conditionals.
TEST(Differential, LongSources) {
  TempDir dir;
  for (uint32_t seed = 1001; seed <= 1006; ++seed) {
    SourceMaker maker(seed, seed % 2 == 0, false);
    expectSame(dir, maker.source(8000), seed);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace tallow
