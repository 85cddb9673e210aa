// Speed of krb2wav: compiles a generated two-minute song that uses all
// fifteen parts (FM tones defined in the source), renders it in-process and
// prints seconds of audio per second of CPU, with a breakdown:
//
//   render_bench [--rate HZ] [--repeat N] [--keep DIR]
//
// The breakdown comes from three renders of the same song: the driver model
// alone (events only), the render without the FM chip, and the full render;
// the differences give the cost of the voices and mixing and of the FM chip
// with its resampler.  Output file writing is timed separately (WAV to a
// temporary file).  For a profile by function run it under
// `perf record -g` or `valgrind --tool=callgrind`.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/compile_job.h"
#include "base/files.h"
#include "base/out_stream.h"
#include "output/krb_reader.h"
#include "playback/bank_lookup.h"
#include "playback/playback.h"
#include "render/render_song.h"
#include "tools/krb2wav.h"
#include "tools/tallowc.h"

namespace {

using namespace tallow;

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Four FM tones with full operator settings, then 15 parts of 70 bars at
// tempo 140 (about two minutes): FM chords and arpeggios, PCM melodies and
// bass, BEEP runs, with volume and pan changes.
std::string generateSong() {
  std::string s = ".title Render bench\n.fmbfile bench\n";
  s += "#@ NO AL FB AR1 DR1 SR1 RR1 SL1 TL1 KS1 ML1 DT1 AR2 DR2 SR2 RR2 SL2 TL2 KS2 ML2 DT2 "
       "AR3 DR3 SR3 RR3 SL3 TL3 KS3 ML3 DT3 AR4 DR4 SR4 RR4 SL4 TL4 KS4 ML4 DT4 L R *\n";
  s += "@1 4 5 31 10 2 6 3 30 0 2 3 31 8 3 7 2 0 0 1 0 31 10 2 6 3 32 0 4 7 31 8 3 7 2 0 0 1 0 1 "
       "1\n";
  s += "@2 2 6 28 5 0 5 1 25 1 1 0 31 12 4 8 3 40 1 3 0 25 8 2 6 2 30 1 1 0 31 10 5 8 3 0 1 1 0 1 "
       "1\n";
  s += "@3 7 0 31 15 4 9 4 0 0 1 0 31 15 4 9 4 8 0 2 0 31 15 4 9 4 8 0 4 0 31 15 4 9 4 8 0 8 0 1 "
       "1\n";
  s += "@4 5 7 31 6 0 7 2 20 0 1 0 31 9 1 7 2 4 0 2 0 31 9 1 7 2 4 0 3 0 31 9 1 7 2 4 0 1 0 1 1\n";
  const char* fmLines[] = {
      "1 t140 @1 o4 l16 v13 {cegb>c<bge dfa>cdc<af}35\n",
      "2 @2 o3 l8 v12 %l {c4e4g4e4 d4f4a4f4}35\n",
      "3 @3 o5 l16 v11 %r {r8 e8 g8 >c8< r8 d8 f8 a8}35\n",
      "4 @4 o2 l8 v14 {c c g g a a f f}70\n",
      "5 @1 o4 l4 v10 {e g a b}70\n",
      "6 @2 o5 l16 v9 %c {c d e f g a b >c< b a g f e d c r}35\n",
  };
  const char* pcmLines[] = {
      "A o4 l8 v13 {c e g e c e g e}70\n",
      "B o3 l4 v12 %l {c g a f}70\n",
      "C o5 l16 v10 %r {g f e d c d e f}140\n",
      "D o2 l8 v15 {c r c r g r g r}70\n",
      "E o4 l2 v11 {e f}70\n",
      "F o5 l32 v9 {c e g >c< g e}280\n",
      "G o3 l8. v12 {a b >c< b}70\n",
      "H o6 l16 v8 %c {c r e r}140\n",
  };
  for (const char* line : fmLines) s += line;
  for (const char* line : pcmLines) s += line;
  s += "X o5 l16 v12 {c g >c< g e g >e< g}70\n";
  return s;
}

struct Timing {
  double cpu = 1e9;
  render::SongResult result;
};

class NullSink final : public render::FrameSink {
 public:
  bool write(std::span<const int16_t>) override { return true; }
};

Timing timeRender(const KrbFile& krb, const std::vector<uint8_t>& bank, uint32_t rate, bool fmSound,
                  int repeat) {
  Timing best;
  for (int i = 0; i < repeat; ++i) {
    render::SongSettings settings;
    settings.render.outputRate = rate;
    settings.fmSound = fmSound;
    render::SampleBank samples;
    NullSink sink;
    render::SongResult result;
    std::string error;
    const double start = cpuSeconds();
    if (!render::renderSong(krb, bank, settings, samples, sink, result, error)) {
      std::fprintf(stderr, "render_bench: %s\n", error.c_str());
      std::exit(1);
    }
    best.cpu = std::min(best.cpu, cpuSeconds() - start);
    best.result = result;
  }
  return best;
}

double timeModel(const KrbFile& krb, const std::vector<uint8_t>& bank, int repeat,
                 uint64_t& events) {
  double best = 1e9;
  for (int i = 0; i < repeat; ++i) {
    playback::Options options;
    options.tailSeconds = 4;
    playback::Player player(krb, bank, options);
    playback::Event event;
    const double start = cpuSeconds();
    events = 0;
    while (player.next(event)) ++events;
    best = std::min(best, cpuSeconds() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t rate = 44100;
  int repeat = 3;
  std::string keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--rate")) rate = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--repeat")) repeat = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--keep")) keep = argv[i + 1];
  }
  std::string dir = keep;
  if (dir.empty()) {
    char pattern[] = "/tmp/render-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    dir = pattern;
  }
  const std::string source = dir + "/song.mml";
  const std::string song = generateSong();
  if (!writeFileAtomically(source, song.data(), song.size())) return 1;
  StringOutStream out;
  ProgramContext program;
  program.out = &out;
  program.err = &out;
  if (tools::runDriver({source}, program) != 0) {
    std::fprintf(stderr, "render_bench: the song does not compile:\n%s", out.text().c_str());
    return 1;
  }
  std::vector<uint8_t> bytes, bank;
  std::string error;
  readFilePrefix(dir + "/SONG.KRB", 1 << 26, bytes);
  auto krb = readKrb(bytes, error);
  bool missing = false;
  if (!krb || !playback::loadBank(dir + "/SONG.KRB", *krb, {}, bank, missing) || missing) {
    std::fprintf(stderr, "render_bench: no KRB file or bank: %s\n", error.c_str());
    return 1;
  }

  uint64_t events = 0;
  const double model = timeModel(*krb, bank, repeat, events);
  const Timing voices = timeRender(*krb, bank, rate, false, repeat);
  const Timing full = timeRender(*krb, bank, rate, true, repeat);
  const double audio = static_cast<double>(full.result.stats.frames) / rate;

  StringOutStream toolOut, toolErr;
  const double start = cpuSeconds();
  tools::runKrb2wav({dir + "/SONG.KRB", dir + "/song.wav", "--rate", std::to_string(rate)}, toolOut,
                    toolErr);
  const double tool = cpuSeconds() - start;

  std::printf("song: %.1f s of audio at %u Hz, 15 parts, %llu model events, %zu bytes of MML\n",
              audio, rate, static_cast<unsigned long long>(events), song.size());
  std::printf("render (in memory): %.3f s CPU = %.0fx real time\n", full.cpu, audio / full.cpu);
  std::printf("krb2wav (to a WAV file): %.3f s CPU = %.0fx real time\n", tool, audio / tool);
  std::printf("breakdown per second of audio:\n");
  std::printf("  driver model            %7.3f ms\n", 1e3 * model / audio);
  std::printf("  PCM/BEEP voices, mixing %7.3f ms\n", 1e3 * (voices.cpu - model) / audio);
  std::printf("  FM chip and resampler   %7.3f ms\n", 1e3 * (full.cpu - voices.cpu) / audio);
  std::printf("peak %.3f, clipped samples %llu\n", full.result.stats.peak,
              static_cast<unsigned long long>(full.result.stats.clipped));
  if (keep.empty()) std::filesystem::remove_all(dir);
  return 0;
}
