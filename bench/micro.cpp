// Micro benchmarks of the hot mechanisms: keyword lookup, the macro and
// brace passes, the plain-line scan and the stream optimiser.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "mml/command_table.h"
#include "output/optimizer.h"
#include "preprocess/braces.h"
#include "preprocess/macros.h"
#include "preprocess/plain_text.h"
#include "state/compile_context.h"

namespace {

void KeywordLookup(benchmark::State& state) {
  tallow::MmlTables tables = tallow::makeMmlTables();
  const std::vector<std::string> texts = {"c8 d",  "@p c", "v12 ",   "@v%50",
                                          "%c-3 ", "]#2",  "@TL1,2", "r4 "};
  size_t length = 0;
  for (auto _ : state) {
    for (const std::string& t : texts)
      benchmark::DoNotOptimize(tables.commands.matchPrefix(t, length));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}
BENCHMARK(KeywordLookup);

void MacroPass(benchmark::State& state) {
  tallow::MacroTable macros;
  tallow::StringOutStream messages;
  std::string definition = "#define arp(a, b, c) ?a ?b ?c $len\n";
  size_t pos = 7;
  tallow::defineMacro(definition, pos, macros, messages);
  std::string len = "#define len 16\n";
  pos = 7;
  tallow::defineMacro(len, pos, macros, messages);
  std::string line =
      "1 o4 l8 c d e f g a b $arp(c, e, g) c+ d- e8. f16 g4 a2 b > c4 < c d e f g a b\n";
  std::string out;
  for (auto _ : state) {
    tallow::expandMacros(line, out, macros, messages, tallow::Encoding::kCp932);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(MacroPass);

void BracePass(benchmark::State& state) {
  tallow::StringOutStream messages;
  std::string line =
      "1 o4 l8 {c d e}2 f g a b {{c d}2 e}3 c+ d- e8. f16 g4 a2 b > c4 < c d e f g\n";
  std::string out;
  for (auto _ : state) {
    tallow::expandBraces(line, out, messages, tallow::Encoding::kCp932);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(BracePass);

// The scan that lets a plain line be written where it was read.
void PlainLineScan(benchmark::State& state) {
  std::string line =
      "1 o4 l8 c d e f g a b c+ d- e8. f16 g4 a2 b > c4 < c d e f g a b r8 c%12 d&d8~16\n";
  for (auto _ : state) benchmark::DoNotOptimize(tallow::firstSpecialByte(line));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(line.size()));
}
BENCHMARK(PlainLineScan);

// A bar repeated: a volume, a detune, two tied notes, a pan and a rest.
std::vector<uint8_t> optimizerStream() {
  std::vector<uint8_t> stream;
  for (int i = 0; i < 10000; ++i) {
    const uint8_t events[] = {0x84, 0x70, 0x91, 0x00, 0x00, 0x3C, 0x30, 0x00, 0x86,
                              0x3C, 0x30, 0x00, 0x93, 0x40, 0x90, 0x10, 0x00};
    stream.insert(stream.end(), std::begin(events), std::end(events));
  }
  stream.push_back(0xFF);
  return stream;
}

void OptimizerPass(benchmark::State& state) {
  const std::vector<uint8_t> stream = optimizerStream();
  std::vector<uint8_t> work;
  for (auto _ : state) {
    work = stream;
    benchmark::DoNotOptimize(tallow::optimizeStream(work.data(), work.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}
BENCHMARK(OptimizerPass);

// The two passes of a compile in one walk.
void OptimizerTwoPasses(benchmark::State& state) {
  const std::vector<uint8_t> stream = optimizerStream();
  std::vector<uint8_t> work;
  for (auto _ : state) {
    work = stream;
    benchmark::DoNotOptimize(tallow::optimizeStreamTwice(work.data(), work.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}
BENCHMARK(OptimizerTwoPasses);

}  // namespace

BENCHMARK_MAIN();
