// Writes a large, realistic MML score of a chosen size, deterministically:
// every part, notes with accidentals, lengths, dots and ties, volumes, pan,
// tempo, macros with arguments, repetition braces, expanded and driver
// loops, envelopes, tone definitions, comments and multi-part lines.
//
//   score_gen <megabytes> <file.mml> [--flavour realistic|crlf|commands|loops|macros]
//
// The crlf flavour is the realistic score with CR LF line ends, as files
// written on Windows have them.  The adversarial flavours stress one
// mechanism: long runs of commands without notes, deep loop nesting, long
// macro chains.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A small deterministic generator (xorshift), the same on every machine.
class Random {
 public:
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
  template <size_t N>
  const char* pick(const char* const (&items)[N]) {
    return items[below(static_cast<int>(N))];
  }

 private:
  uint32_t state_ = 2463534242u;
};

const char* const kNotes[] = {"c", "d", "e", "f", "g", "a", "b", "c+", "d-", "f#", "g+", "b-", "r"};
const char* const kLengths[] = {"", "4", "8", "16", "8.", "4.", "2", "%12", "16&", "8~16"};
const char* const kParts[] = {"1", "2", "3", "4", "5", "6", "A", "B",
                              "C", "D", "E", "F", "G", "H", "X"};

std::string header() {
  std::string h =
      "; benchmark score\n.title Benchmark\n.artist score_gen\n.fmbfile benchbank\n"
      "#@ NO NAM AL FB *\n";
  for (int t = 1; t <= 8; ++t) {
    std::string n = std::to_string(t);
    h += "@";
    h += n;
    h += " \"tone";
    h += n;
    h += "\" ";
    h += std::to_string(t % 8);
    h += " ";
    h += std::to_string((t * 3) % 8);
    h += "\n";
  }
  h += ".env 1 v#100 r2 v#110 r2 L v#120 r4 v#90 r4\n.env 2 %l r3 %r r3 %c r3\n";
  h += "#define arp(a, b, c) ?a ?b ?c $len\n#define len 16\n#define riff(x) {?x r16}2\n";
  return h;
}

std::string melody(Random& r, int notes) {
  std::string s;
  for (int i = 0; i < notes; ++i) {
    s += r.pick(kNotes);
    s += r.pick(kLengths);
    s += ' ';
  }
  return s;
}

std::string realisticBlock(Random& r, int block) {
  std::string b = "; section " + std::to_string(block) + " / comment\n";
  for (const char* part : kParts) {
    std::string line = part;
    line += " o" + std::to_string(3 + r.below(3)) + " l8";
    switch (r.below(8)) {
      case 0:
        line += " v" + std::to_string(r.below(16)) + " %c" + std::to_string(r.below(40) - 20);
        break;
      case 1:
        line += " t" + std::to_string(90 + r.below(100));
        break;
      case 2:
        line += " $arp(c, e, g) $arp(d, f+, a)";
        break;
      case 3:
        line += " {" + melody(r, 3) + "}2";
        break;
      case 4:
        line += " (" + melody(r, 4) + ")3";
        break;
      case 5:
        line += " @p " + melody(r, 3) + "@j2";
        break;
      case 6:
        line += " X" + std::to_string(1 + r.below(2)) + " " + melody(r, 2) + "X0";
        break;
      default:
        line += " @" + std::to_string(1 + r.below(8)) + " Q" + std::to_string(100 + r.below(150));
        break;
    }
    b += line + " " + melody(r, 10) + "\n";
  }
  b += "123 v12 c d e f g\nABC %l3 c8 r8 c8 r8\n";
  return b;
}

std::string commandsBlock(Random& r, int) {
  std::string line = std::string(kParts[r.below(15)]);
  for (int i = 0; i < 40; ++i)
    line += " v" + std::to_string(r.below(16)) + " %c" + std::to_string(r.below(60) - 30);
  return line + "\n";
}

std::string loopsBlock(Random& r, int) {
  std::string line = std::string(kParts[r.below(15)]) + " ";
  for (int i = 0; i < 6; ++i) line += "(";
  line += "c16 d16";
  for (int i = 0; i < 6; ++i) line += ")2";
  return line + " @p@p@p e16 @j2@j2@j2\n";
}

// A chain of eight macros, each using the one before it, and a line that
// expands the whole chain.
std::string macrosBlock(Random& r, int block) {
  std::string prefix = "m";
  prefix += std::to_string(block);
  prefix += '_';
  std::string text;
  for (int k = 0; k < 8; ++k) {
    text += "#define ";
    text += prefix;
    text += std::to_string(k);
    if (k > 0) {
      text += " $";
      text += prefix;
      text += std::to_string(k - 1);
    }
    text += " c16\n";
  }
  text += kParts[r.below(15)];
  text += " $";
  text += prefix;
  text += "7 $riff(e) $arp(f, g, a)\n";
  return text;
}

// `text` with every LF preceded by a CR.
std::string withCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: score_gen <megabytes> <file.mml> [--flavour NAME]\n");
    return 2;
  }
  double megabytes = std::atof(argv[1]);
  std::string flavour = argc >= 5 ? argv[4] : "realistic";
  auto size = static_cast<size_t>(megabytes * 1024 * 1024);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  Random random;
  std::string text =
      flavour == "macros"
          ? "#define m0(x) ?x\n#define arp(a, b, c) ?a ?b ?c\n#define riff(x) {?x r16}2\n"
          : header();
  if (flavour == "crlf") text = withCrLf(text);
  size_t written = 0;
  for (int block = 0; written + text.size() < size; ++block) {
    written += text.size();
    std::fwrite(text.data(), 1, text.size(), out);
    if (flavour == "commands")
      text = commandsBlock(random, block);
    else if (flavour == "loops")
      text = loopsBlock(random, block);
    else if (flavour == "macros")
      text = macrosBlock(random, block);
    else
      text = realisticBlock(random, block);
    if (flavour == "crlf") text = withCrLf(text);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
