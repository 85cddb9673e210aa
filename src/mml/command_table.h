// The MML command table "[Tallow:DEF:MML]", the auxiliary tables, and the
// handler table that maps each command code to the operation compiling it.
#pragma once

#include "state/compile_context.h"

namespace tallow {

// Command codes with a meaning of their own.
enum MmlCode : int16_t {
  kNoteC = 16,
  kNoteLast = 31,
  kKeyC = 32,
  kKeyLast = 47,
  kRest = 48,
  kTie = 144,
  kPortamento = 145,
  kLengthJoin = 146,
};

// Codes of the auxiliary tables' entries.
constexpr int kAuxFirst = 16;   // "+"/"#" of TUNE CHAR, "%", ".", ","
constexpr int kAuxSecond = 17;  // "-" of TUNE CHAR
constexpr int kAuxThird = 18;   // "=" of TUNE CHAR

MmlTables makeMmlTables();

// Sets every part's state to its initial values and fills the handler table:
// every slot gets the default handler, then each command's handler.
void installMmlHandlers(CompileContext& ctx);

// Installers of the command groups (one per file of this folder).
using MmlHandlerTable = std::array<Handler, kMmlHandlerCount>;
void installNoteHandlers(MmlHandlerTable& table);
void installLoopHandlers(MmlHandlerTable& table);
void installTempoHandlers(MmlHandlerTable& table);
void installVolumeHandlers(MmlHandlerTable& table);
void installChannelHandlers(MmlHandlerTable& table);
void installOctaveHandlers(MmlHandlerTable& table);
void installPanHandlers(MmlHandlerTable& table);
void installFmOperatorHandlers(MmlHandlerTable& table);
void installKr3Handlers(MmlHandlerTable& table);

}  // namespace tallow
