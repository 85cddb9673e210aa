// The MML keyword table in its stored order (which decides the match where
// one keyword is a prefix of another), the auxiliary tables, the initial
// part state and the handler table.
#include "mml/command_table.h"

namespace tallow {
namespace {

// Room for 256 keyword definitions and a terminating record.
constexpr size_t kMmlTableCapacity = 256 + 1;

void defaultHandler(CompileContext& ctx) { ctx.error("ＭＭＬが解読できません"); }

constexpr int32_t kFmVolumeTable[16] = {97,  99,  101, 103, 105, 107, 109, 111,
                                        113, 115, 117, 119, 121, 123, 125, 127};
constexpr int32_t kPcmVolumeTable[16] = {5,  12, 20, 28, 36,  44,  52,  60,
                                         68, 76, 84, 92, 100, 107, 116, 127};

void initialisePart(PartState& p, int part, int zenlen) {
  p.steps = p.loopSteps = 0;
  p.volumeLevel = 15;
  p.volumeValue = 127;
  p.volumeOffset = 0;
  const int32_t* table = isFmPart(part) ? kFmVolumeTable : kPcmVolumeTable;
  for (int i = 0; i < 16; ++i) p.volumeTable[i] = table[i];
  p.defaultLength = zenlen / 4;
  p.detune = p.detune2 = 0;
  p.transpose = p.transpose2 = 0;
  p.octave = 4;
  p.gateValue = p.gateMode = 0;
  p.oneShotVolume = 0;
  p.savedVolumeValue = 127;
  p.octaveShiftOnce = p.oneShotGate = 0;
  p.envelopeNumber = 0;
  p.envelopeRestart = 1;
  p.skipRest = 0;
  p.lfoDepthX4 = 0;
  p.code147Value = 1;
  p.tempoOffset = 0;
  p.volumeScale = 100;
}

}  // namespace

MmlTables makeMmlTables() {
  return MmlTables{
      KeywordTable(
          "[Tallow:DEF:MML]",
          {
              {"c", 16},    {"d", 18},    {"e", 20},    {"f", 21},     {"g", 23},     {"a", 25},
              {"b", 27},    {"C", 32},    {"D", 34},    {"E", 36},     {"F", 37},     {"G", 39},
              {"A", 41},    {"B", 43},    {"&", 144},   {"_", 145},    {"~", 146},    {"t", 60},
              {"TB", 69},   {"T", 61},    {"p", 94},    {"Q", 67},     {"q#", 67},    {"q", 65},
              {"'", 66},    {"v+#", 80},  {"v-#", 81},  {"v+", 78},    {"v-", 79},    {"v#", 73},
              {"v", 72},    {"V", 74},    {"%v", 75},   {"!+#", 84},   {"!-#", 85},   {"!+", 82},
              {"!-", 83},   {"!#", 77},   {"!", 76},    {"W", 89},     {"w", 90},     {"u", 100},
              {"y", 109},   {"Y", 110},   {"r", 48},    {"k", 104},    {"K", 106},    {"o", 49},
              {">", 50},    {"<", 51},    {"U", 102},   {"l", 63},     {"]#", 80},    {"[#", 81},
              {"]", 78},    {"[", 79},    {"%c", 120},  {"%r", 121},   {"%l", 122},   {"%t", 71},
              {"(", 114},   {":", 115},   {")", 116},   {"^", 52},     {"M", 98},     {"S", 99},
              {"X", 97},    {"@FB", 128}, {"@AL", 129}, {"@AMS", 139}, {"@PMS", 140}, {"@TL", 132},
              {"@DT", 130}, {"@ML", 131}, {"@KS", 133}, {"@AR", 134},  {"@AM", 135},  {"@DR", 136},
              {"@SR", 137}, {"@EG", 138}, {"@WP", 154}, {"@WA", 155},  {"@FD", 156},  {"@tl", 158},
              {"@ar", 159}, {"@ks", 161}, {"@kp", 160}, {"@v%", 200},  {"@v+", 80},   {"@v-", 81},
              {"@v", 73},   {"@t", 70},   {"@T", 62},   {"@L", 64},    {"@K", 91},    {"@S", 92},
              {"@x", 108},  {"@X", 163},  {"@f", 93},   {"@r#", 96},   {"@r", 95},    {"@p", 112},
              {"@j", 113},  {"@u", 101},  {"@k", 105},  {"@y", 105},   {"@q", 68},    {"@e", 123},
              {"@M", 148},  {"@B", 150},  {"@D", 151},  {"@C", 152},   {"@Q", 153},   {"@N", 157},
              {"|!", 57},   {"|", 56},    {"\"", 162},  {"@", 88},     {"*", 201},
          },
          kMmlTableCapacity),
      KeywordTable("**TUNE CHAR**", {{"+", 16}, {"#", 16}, {"-", 17}, {"=", 18}}),
      KeywordTable("**CountDetail**", {{"%", 16}}),
      KeywordTable("**CountAdd**", {{".", 16}}),
      KeywordTable("", {{",", 16}}),
      KeywordTable("", {}),
  };
}

void installMmlHandlers(CompileContext& ctx) {
  for (int part = 0; part < kPartCount; ++part) {
    initialisePart(ctx.parts[part], part, ctx.settings.zenlen);
    ctx.loops[part] = PartLoops{};
  }
  ctx.mmlHandlers.fill(defaultHandler);
  installNoteHandlers(ctx.mmlHandlers);
  installLoopHandlers(ctx.mmlHandlers);
  installTempoHandlers(ctx.mmlHandlers);
  installVolumeHandlers(ctx.mmlHandlers);
  installChannelHandlers(ctx.mmlHandlers);
  installOctaveHandlers(ctx.mmlHandlers);
  installPanHandlers(ctx.mmlHandlers);
  installFmOperatorHandlers(ctx.mmlHandlers);
  installKr3Handlers(ctx.mmlHandlers);
}

}  // namespace tallow
