// Header commands: a word at the start of a statement followed by a number
// or the rest of the line.  They set the song's names and settings, define
// envelopes, redefine keywords, carry line markers and start part lines.
#include "compiler/header_commands.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "base/paths.h"
#include "compiler/compile.h"
#include "envelope/envelope.h"
#include "state/compile_context.h"
#include "tonebank/fmb_file.h"

namespace tallow {
namespace {

enum HeaderCode : int16_t {
  kArtist = 32,
  kDiscomp = 33,
  kEnd = 34,
  kFmbFile = 35,
  kPmbFile = 36,
  kWpkFile = 37,
  kHeadstr = 38,
  kIgnore = 39,
  kKrbFile = 40,
  kTitle = 41,
  kVstart = 42,
  kZenlen = 43,
  kSnduse = 44,
  kEnv = 45,
  kMarker = 46,
  kAll = 48,
  kDefineMml = 49,
  kDefineEml = 50,
  kDefineCmd = 51,
  kWarning = 52,
  kInfo = 53,
  kQwidth = 54,
  kKeywidth = 55,
  kPanfix = 56,
  kPlaycount = 57,
  kKrbtype = 58,
};

std::string cut(std::string text, size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

// The leading decimal number of a text: optional sign and digits,
// saturating at the 32-bit limits; 0 when there is none.
int64_t leadingNumber(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
  }
  value = negative ? -value : value;
  return std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max());
}

int16_t number(CompileContext& ctx, int32_t low, int32_t high) {
  return ctx.scanner.readHeaderNumber(low, high);
}

void onTitle(CompileContext& ctx) { ctx.settings.title = cut(ctx.scanner.readText(), 64); }
void onArtist(CompileContext& ctx) { ctx.settings.artist = cut(ctx.scanner.readText(), 16); }
void onPmbFile(CompileContext& ctx) { ctx.settings.pmbName = cut(ctx.scanner.readText(), 12); }
void onWpkFile(CompileContext& ctx) { ctx.settings.wpkName = cut(ctx.scanner.readText(), 12); }

void onFmbFile(CompileContext& ctx) {
  ctx.settings.fmbName = cut(ctx.scanner.readText(), 12);
  if (!loadToneTable(ctx)) ctx.warn("FMB ファイルが参照できません");
}

void onKrbFile(CompileContext& ctx) {
  std::string name = cut(ctx.scanner.readText(), 250);
  if (fileNamePart(name).find('.') == std::string_view::npos) name += ".krb";
  ctx.settings.outputName = name;
}

void onDiscomp(CompileContext& ctx) {
  ctx.settings.decompile = leadingNumber(ctx.scanner.readText()) != 0 ? 255 : 0;
}

void onHeadstr(CompileContext& ctx) { ctx.settings.partLetters = cut(ctx.scanner.readText(), 15); }

void onIgnore(CompileContext& ctx) {
  ctx.settings.ignoredLetters = cut(ctx.scanner.readText(), 15);
  for (char letter : ctx.settings.ignoredLetters) {
    size_t part = ctx.settings.partLetters.find(letter);
    if (part != std::string::npos) ctx.parts[part].skipRest = 1;
  }
}

void onQwidth(CompileContext& ctx) { ctx.settings.qwidth = number(ctx, 1, 256); }
void onVstart(CompileContext& ctx) { ctx.settings.vstart = number(ctx, 0, 1); }
void onSnduse(CompileContext& ctx) { ctx.settings.soundUse = number(ctx, 0, 8); }
void onKeywidth(CompileContext& ctx) { ctx.settings.keywidth = number(ctx, 0, 256); }
void onPanfix(CompileContext& ctx) { ctx.settings.panfix = number(ctx, 0, 1); }
void onPlaycount(CompileContext& ctx) { ctx.settings.playCount = number(ctx, 1, 4); }
void onKrbtype(CompileContext& ctx) { ctx.settings.krbType = number(ctx, 2, 3); }
void onWarning(CompileContext& ctx) { ctx.diag.setLevel(number(ctx, 0, 256)); }

void onZenlen(CompileContext& ctx) {
  int16_t n = number(ctx, 48, 768);
  ctx.settings.zenlen = n;
  ctx.settings.playCount = static_cast<int16_t>(std::clamp(384 / n, 1, 4));
}

// `.end`: the header loop stops after this command; the compile finishes normally.
void onEnd(CompileContext& ctx) { ctx.endOfSource = true; }
void onInfo(CompileContext& ctx) { ctx.error("未定義のコマンドです"); }

void onEnv(CompileContext& ctx) { defineEnvelope(ctx, number(ctx, 1, 128) - 1); }

void onAll(CompileContext& ctx) {
  Scanner::Position start = ctx.scanner.savePosition();
  for (int part = 0; part < kPartCount; ++part) {
    ctx.scanner.restorePosition(start);
    compilePart(ctx, part);
  }
}

void onMarker(CompileContext& ctx) {
  int16_t line = number(ctx, 0, 16776960);
  ctx.scanner.setMarker(line, ctx.scanner.readText());
}

// A keyword definition of `.MML` (kind 0), `.EML` (1) or `.CMD` (2): record k,
// counted from the title record, gets a new name and code.
struct DefinitionKind {
  int limit;
  const char* tooMany;
};

// Any code 0-256 may be defined: a keyword whose code has no handler stops
// the compile only where it is used, as an unknown keyword would.
constexpr DefinitionKind kDefinitionKinds[] = {
    {256, "MML定義が多すぎます"},
    {64, "エンベロープ用MML定義が多すぎます"},
    {64, "コマンド定義が多すぎます"},
};

KeywordTable& definitionTable(CompileContext& ctx, int kind) {
  return kind == 0 ? ctx.mml.commands : kind == 1 ? ctx.emlTable : ctx.headerTable;
}

void defineKeyword(CompileContext& ctx, int kind) {
  const DefinitionKind& k = kDefinitionKinds[kind];
  int& counter = ctx.definitionCounts[kind];
  if (counter >= k.limit) ctx.error(k.tooMany);
  int16_t code = number(ctx, 0, 256);
  std::string name = cut(ctx.scanner.readText(), 15);
  name = name.substr(0, name.find_first_of(" \t"));
  definitionTable(ctx, kind).define(static_cast<size_t>(counter), name, code);
  ++counter;
}

void onDefineMml(CompileContext& ctx) { defineKeyword(ctx, 0); }
void onDefineEml(CompileContext& ctx) { defineKeyword(ctx, 1); }
void onDefineCmd(CompileContext& ctx) { defineKeyword(ctx, 2); }

struct HeaderCommand {
  const char* keyword;
  HeaderCode code;
  Handler handler;
};

// In stored order; aliases share a code.
constexpr HeaderCommand kHeaderCommands[] = {
    {".title", kTitle, onTitle},
    {".artist", kArtist, onArtist},
    {".krbfile", kKrbFile, onKrbFile},
    {".fmbfile", kFmbFile, onFmbFile},
    {".fm", kFmbFile, onFmbFile},
    {".pmbfile", kPmbFile, onPmbFile},
    {".pcm", kPmbFile, onPmbFile},
    {".wpkfile", kWpkFile, onWpkFile},
    {".wpk", kWpkFile, onWpkFile},
    {".discomp", kDiscomp, onDiscomp},
    {".qwidth", kQwidth, onQwidth},
    {".headstr", kHeadstr, onHeadstr},
    {".ignore", kIgnore, onIgnore},
    {".vstart", kVstart, onVstart},
    {".zenlen", kZenlen, onZenlen},
    {".snduse", kSnduse, onSnduse},
    {".end", kEnd, onEnd},
    {".env", kEnv, onEnv},
    {".all", kAll, onAll},
    {".keywidth", kKeywidth, onKeywidth},
    {".MML", kDefineMml, onDefineMml},
    {".EML", kDefineEml, onDefineEml},
    {".CMD", kDefineCmd, onDefineCmd},
    {".warning", kWarning, onWarning},
    {".info", kInfo, onInfo},
    {".panfix", kPanfix, onPanfix},
    {".playcount", kPlaycount, onPlaycount},
    {".krbtype", kKrbtype, onKrbtype},
    {"#", kMarker, onMarker},
};

constexpr size_t kHeaderTableCapacity = 64 + 1;

}  // namespace

KeywordTable makeHeaderTable() {
  std::vector<KeywordTable::Entry> entries;
  for (const HeaderCommand& c : kHeaderCommands) entries.emplace_back(c.keyword, c.code);
  return KeywordTable("[Tallow:COM]", entries, kHeaderTableCapacity);
}

void installHeaderHandlers(CompileContext& ctx) {
  ctx.headerHandlers.fill(partLineHandler);
  for (const HeaderCommand& c : kHeaderCommands) ctx.headerHandlers[c.code] = c.handler;
}

bool loadToneTable(CompileContext& ctx) {
  std::optional<BankPath> path =
      locateBankFile(ctx.sourceDirectory, ctx.settings.fmbName + ".fmb", ctx.program.env);
  return path && readBankFile(path->opened, ctx.toneTable);
}

}  // namespace tallow
