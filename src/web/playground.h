// What the page's worker keeps between calls: the latest compile, the files
// made from it on request (WAV, VGM, MIDI, listings) and the song playing.
//
// Invariants: every byte handed out comes from the latest successful compile
// (a failed compile keeps the song that played before it, so the player
// never stops on a typing mistake); a result stays valid until the next call
// that makes one of its kind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "web/compile_session.h"
#include "web/song_stream.h"
#include "web/timeline.h"

namespace tallow::web {

enum class ExportKind { kWav = 0, kVgm = 1, kMidi = 2 };

class Playground {
 public:
  // Compiles `mainName` in the current directory; returns the exit status.
  int compile(const std::string& mainName, const Environment& env);
  const CompileOutcome& outcome() const { return outcome_; }
  // The diagnostics of the latest compile as a JSON array of objects
  // {file, line, column, severity, text}.
  std::string diagnosticsJson() const;

  // The summary of the latest song: each part's length, the loop lengths
  // and the warning when the parts end apart.
  std::string summary() const;
  // The listing of one part (0-14), cut after `maxBytes` bytes with a note.
  std::string dump(int part, size_t maxBytes) const;

  // Makes the file of `kind` as the command-line tools write it with their
  // default options (samples, if any, from `sampleDir`).
  bool makeExport(ExportKind kind, const std::string& sampleDir, std::vector<uint8_t>& out,
                  std::string& error) const;

  // The notes of the latest song in time, with their places in the sources
  // (at most `maxNotes`).  False, with a reason, for a song the model cannot
  // play.
  bool timeline(size_t maxNotes, Timeline& out, std::string& error) const;
  // The names of the source files the places name, as a JSON array.
  std::string placeFilesJson() const;

  // Starts the song from `startSeconds` at `rate` with the parts of `mask`
  // heard (bit n: part n).
  bool play(uint32_t rate, uint16_t mask, double startSeconds, const std::string& sampleDir,
            std::string& error);
  SongStream* stream() { return stream_.get(); }

 private:
  CompileOutcome outcome_;
  std::vector<uint8_t> krb_, fmb_;  // the latest song that compiled
  NotePositions positions_;         // ... and where its notes were written
  std::unique_ptr<SongStream> stream_;
};

}  // namespace tallow::web
