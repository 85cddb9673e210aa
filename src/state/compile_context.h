// Everything one compile owns: settings, scanner, diagnostics, command
// tables, per-part state, event streams, loops, envelopes and FM voices.
//
// A CompileContext is made afresh for every compile, so one process can
// compile any number of sources one after another; nothing of a compile is
// kept in global state.  Handlers work on the part selected by
// `currentPart` and read their own arguments through `scanner`.  The
// compiler core fills the keyword and handler tables at the compile's start.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/compile_job.h"
#include "base/parts.h"
#include "output/byte_buffer.h"
#include "output/fmb_format.h"
#include "output/krb_format.h"
#include "output/note_recorder.h"
#include "scan/diagnostics.h"
#include "scan/keyword_table.h"
#include "scan/scanner.h"
#include "state/envelope_state.h"
#include "state/fm_tone_state.h"
#include "state/header_settings.h"
#include "state/loop_state.h"
#include "state/part_state.h"

namespace tallow {

struct CompileContext;
using Handler = void (*)(CompileContext&);

constexpr int kMmlHandlerCount = 203;
constexpr int kHeaderHandlerCount = 59;

// The MML command table and the auxiliary tables the note, length and
// volume commands read.
struct MmlTables {
  KeywordTable commands;
  KeywordTable tuneChar;
  KeywordTable countDetail;
  KeywordTable countAdd;
  KeywordTable separator;
  KeywordTable empty;
};

struct CompileContext {
  CompileContext(CompileJob& job, ProgramContext& program);

  CompileJob& job;
  ProgramContext& program;

  HeaderSettings settings;
  MmlRunState running;
  Scanner scanner;
  Diagnostics diag{scanner};

  KeywordTable headerTable;
  MmlTables mml;
  KeywordTable emlTable;
  std::array<int, 3> definitionCounts{};  // .MML, .EML, .CMD

  std::array<Handler, kMmlHandlerCount> mmlHandlers{};
  std::array<Handler, kHeaderHandlerCount> headerHandlers{};

  std::array<PartState, kPartCount> parts{};
  std::array<ByteBuffer, kPartCount> tracks;
  std::array<PartLoops, kPartCount> loops{};
  std::array<FmVoiceState, kFmPartCount> fmVoices{};
  EnvelopeSet envelopes;
  std::array<uint8_t, kFmbFileSize> toneTable{};
  std::string sourceDirectory;

  int currentPart = 0;
  int currentCode = 0;
  Token currentToken;
  bool endOfSource = false;  // `.end` was read: the header loop stops
  // Set when the job asks for note positions; null otherwise.
  std::unique_ptr<NoteRecorder> notes;

  PartState& part() { return parts[currentPart]; }
  ByteBuffer& track() { return tracks[currentPart]; }
  bool onFmPart() const { return isFmPart(currentPart); }

  // Makes room for `extra` more bytes in the current part's stream.  All
  // streams together hold at most the stream budget (kMaxBlockSize, as the
  // image they become): a growth past it is refused before it is made, with
  // "メモリが足りません", so that no source can exhaust the machine's memory.
  void reserveTrack(size_t extra) {
    if (!tracks[currentPart].hasRoom(extra)) growTrack(extra);
  }
  // Appends to the current part's stream; "メモリが足りません" when it cannot grow.
  void emitByte(int value) {
    ByteBuffer& t = tracks[currentPart];
    reserveTrack(1);
    t.put(static_cast<uint8_t>(value));
  }
  void emitWord(int value) {
    reserveTrack(2);
    uint8_t* at = tracks[currentPart].append(2);
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  }
  // An event of a code byte and a 16-bit operand.
  void emitByteWord(int code, int value) {
    reserveTrack(3);
    uint8_t* at = tracks[currentPart].append(3);
    at[0] = static_cast<uint8_t>(code);
    at[1] = static_cast<uint8_t>(value & 0xFF);
    at[2] = static_cast<uint8_t>((value >> 8) & 0xFF);
  }
  // The code of an event that carries the count of its following bytes, and
  // that count (its length less the code and the count byte).
  void emitEventHead(uint8_t code) {
    emitByte(code);
    emitByte(kEventLength[code] - 2);
  }
  void growTrack(size_t extra);
  [[noreturn]] void outOfMemory();
  [[noreturn]] void error(const Said& said) { diag.error(said); }
  void warn(const Said& said, int level = kWarnOrdinary) { diag.warn(said, level); }
};

}  // namespace tallow
