// The functions the page's worker calls in the WebAssembly module: a plain C
// interface over one Playground object that the worker creates and keeps.
// Strings come back as UTF-8 owned by the object, valid until the next call
// that makes one; bytes as a pointer and a size likewise.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "web/playground.h"

namespace {

using tallow::web::Playground;

// The object the worker holds: the playground and the results it hands out.
struct Handle {
  Playground playground;
  std::string text;
  std::string error;
  std::vector<uint8_t> bytes;
  std::vector<double> numbers;
};

// The environment the compiler reads: only the language ("en" or "ja",
// else the compiler's default) may be chosen.
tallow::Environment compileEnvironment(const char* language) {
  tallow::Environment env;
  if (language[0] != '\0') env.language = language;
  return env;
}

const char* keep(Handle* h, std::string text) {
  h->text = std::move(text);
  return h->text.c_str();
}

}  // namespace

extern "C" {

Handle* tallow_new() {
  // Files the compiler writes (the KRB, a bank) must be readable afterwards.
  ::umask(022);
  return new Handle();
}

void tallow_free(Handle* h) { delete h; }

// Compiles `mainName` in directory `dir` (which holds every file of the song).
int tallow_compile(Handle* h, const char* dir, const char* mainName, const char* language) {
  if (::chdir(dir) != 0) return 1;
  return h->playground.compile(mainName, compileEnvironment(language));
}

const char* tallow_messages(Handle* h) { return h->playground.outcome().messages.c_str(); }
const char* tallow_diagnostics(Handle* h) { return keep(h, h->playground.diagnosticsJson()); }
const uint8_t* tallow_krb(Handle* h) { return h->playground.outcome().krb.data(); }
size_t tallow_krb_size(Handle* h) { return h->playground.outcome().krb.size(); }
const uint8_t* tallow_fmb(Handle* h) { return h->playground.outcome().fmb.data(); }
size_t tallow_fmb_size(Handle* h) { return h->playground.outcome().fmb.size(); }
const char* tallow_summary(Handle* h) { return keep(h, h->playground.summary()); }
const char* tallow_dump(Handle* h, int part, size_t maxBytes) {
  return keep(h, h->playground.dump(part, maxBytes));
}

// Makes a WAV (0), VGM (1) or MIDI (2) file of the latest song; 0 when made.
int tallow_export(Handle* h, int kind, const char* sampleDir) {
  bool ok = h->playground.makeExport(static_cast<tallow::web::ExportKind>(kind), sampleDir,
                                     h->bytes, h->error);
  return ok ? 0 : 1;
}
const uint8_t* tallow_bytes(Handle* h) { return h->bytes.data(); }
size_t tallow_bytes_size(Handle* h) { return h->bytes.size(); }
const char* tallow_error(Handle* h) { return h->error.c_str(); }

// The notes of the latest song in time: their count (at most `maxNotes`),
// or -1 on an error.  tallow_numbers then holds seven numbers a note: part,
// pitch, start and end (seconds), and the file (an index into
// tallow_place_files, -1 when the note has no place), line and column;
// then the second where the render stops.
long tallow_timeline(Handle* h, unsigned maxNotes) {
  tallow::web::Timeline timeline;
  if (!h->playground.timeline(maxNotes, timeline, h->error)) return -1;
  h->numbers.clear();
  for (const tallow::web::TimedNote& n : timeline.notes) {
    tallow::SourcePlace place = n.place.value_or(tallow::SourcePlace{});
    h->numbers.insert(h->numbers.end(), {double(n.part), double(n.pitch), n.start, n.end,
                                         n.place ? double(place.file) : -1.0, double(place.line),
                                         double(place.column)});
  }
  h->numbers.push_back(timeline.end);
  return static_cast<long>(timeline.notes.size());
}
const double* tallow_numbers(Handle* h) { return h->numbers.data(); }
const char* tallow_place_files(Handle* h) { return keep(h, h->playground.placeFilesJson()); }

// Starts the latest song; 0 when it plays.
int tallow_play(Handle* h, unsigned rate, unsigned mask, double startSeconds,
                const char* sampleDir) {
  bool ok =
      h->playground.play(rate, static_cast<uint16_t>(mask), startSeconds, sampleDir, h->error);
  return ok ? 0 : 1;
}

// Renders up to `frames` frames of the playing song: the count, 0 at the
// end, -1 on an error (tallow_error says which).
long tallow_render(Handle* h, unsigned frames) {
  tallow::web::SongStream* s = h->playground.stream();
  if (s == nullptr) return 0;
  return s->render(frames, h->error);
}
const float* tallow_left(Handle* h) { return h->playground.stream()->left().data(); }
const float* tallow_right(Handle* h) { return h->playground.stream()->right().data(); }
// The 15 parts' levels (0-1) during the latest piece.
const float* tallow_levels(Handle* h) { return h->playground.stream()->levels().data(); }

}  // extern "C"
