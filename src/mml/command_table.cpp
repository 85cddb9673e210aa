// The MML command table, one row per keyword in its stored order (which
// decides the match where one keyword is a prefix of another), the codes
// that only a redefinition can reach, the auxiliary tables, and the initial
// part state.
#include "mml/command_table.h"

#include <vector>

#include "mml/handlers.h"

namespace tallow {
namespace {

// Room for 256 keyword definitions and a terminating record.
constexpr size_t kMmlTableCapacity = 256 + 1;

constexpr MmlCommand kMmlCommands[] = {
    {"c", kMmlNoteC, onNote},
    {"d", kMmlNoteD, onNote},
    {"e", kMmlNoteE, onNote},
    {"f", kMmlNoteF, onNote},
    {"g", kMmlNoteG, onNote},
    {"a", kMmlNoteA, onNote},
    {"b", kMmlNoteB, onNote},
    {"C", kMmlKeyC, onKeySignature},
    {"D", kMmlKeyD, onKeySignature},
    {"E", kMmlKeyE, onKeySignature},
    {"F", kMmlKeyF, onKeySignature},
    {"G", kMmlKeyG, onKeySignature},
    {"A", kMmlKeyA, onKeySignature},
    {"B", kMmlKeyB, onKeySignature},
    {"&", kMmlTie, onBareTie},
    {"_", kMmlPortamento, onBarePortamento},
    {"~", kMmlLengthJoin, onBareJoin},
    {"t", kMmlTempo, onTempo},
    {"TB", kMmlTimerB, onTimerB},
    {"T", kMmlTimerA, onTimerA},
    {"p", kMmlSettingP, onSettingP},
    {"Q", kMmlGateFraction, onGateFraction},
    {"q#", kMmlGateFraction, onGateFraction},
    {"q", kMmlDriverGate, onDriverGate},
    {"'", kMmlOneNoteGate, onOneNoteGate},
    {"v+#", kMmlValueUp, onValueUp},
    {"v-#", kMmlValueDown, onValueDown},
    {"v+", kMmlLevelUp, onLevelUp},
    {"v-", kMmlLevelDown, onLevelDown},
    {"v#", kMmlVolumeValue, onVolumeValue},
    {"v", kMmlVolumeLevel, onVolumeLevel},
    {"V", kMmlVolumeOffset, onVolumeOffset},
    {"%v", kMmlVolumeTableEntry, onVolumeTableEntry},
    {"!+#", kMmlOneNoteValueUp, onOneNoteValueUp},
    {"!-#", kMmlOneNoteValueDown, onOneNoteValueDown},
    {"!+", kMmlOneNoteLevelUp, onOneNoteLevelUp},
    {"!-", kMmlOneNoteLevelDown, onOneNoteLevelDown},
    {"!#", kMmlOneNoteValue, onOneNoteValue},
    {"!", kMmlOneNoteLevel, onOneNoteLevel},
    {"W", kMmlLfoDepthX4, onLfoDepthX4},
    {"w", kMmlModulation, onModulation},
    {"u", kMmlDetune, onDetune},
    {"y", kMmlRegister, onRegister},
    {"Y", kMmlHalfRegister, onHalfRegister},
    {"r", kMmlRest, onRest},
    {"k", kMmlTranspose, onTranspose},
    {"K", kMmlSecondTranspose, onSecondTranspose},
    {"o", kMmlOctave, onOctave},
    {">", kMmlOctaveUp, onOctaveUp},
    {"<", kMmlOctaveDown, onOctaveDown},
    {"U", kMmlSecondDetune, onSecondDetune},
    {"l", kMmlDefaultLength, onDefaultLength},
    {"]#", kMmlValueUp, onValueUp},
    {"[#", kMmlValueDown, onValueDown},
    {"]", kMmlLevelUp, onLevelUp},
    {"[", kMmlLevelDown, onLevelDown},
    {"%c", kMmlPanCentre, onPanCentre},
    {"%r", kMmlPanRight, onPanRight},
    {"%l", kMmlPanLeft, onPanLeft},
    {"%t", kMmlOtherClockTempo, onOtherClockTempo},
    {"(", kMmlLoopOpen, onLoopOpen},
    {":", kMmlLoopEscape, onLoopEscape},
    {")", kMmlLoopClose, onLoopClose},
    {"^", kMmlOctaveOnce, onOctaveOnce},
    {"M", kMmlEnvelopeRestart, onEnvelopeRestart},
    {"S", kMmlEnvelopeUnit, onEnvelopeUnit},
    {"X", kMmlEnvelopeSelect, onEnvelopeSelect},
    {"@FB", kMmlFeedback, onFmParameter},
    {"@AL", kMmlAlgorithm, onFmParameter},
    {"@AMS", kMmlAms, onFmParameter},
    {"@PMS", kMmlPms, onFmParameter},
    {"@TL", kMmlTotalLevel, onFmParameter},
    {"@DT", kMmlOperatorDetune, onFmParameter},
    {"@ML", kMmlMultiple, onFmParameter},
    {"@KS", kMmlKeyScale, onFmParameter},
    {"@AR", kMmlAttackRate, onFmParameter},
    {"@AM", kMmlAmEnable, onFmParameter},
    {"@DR", kMmlDecayRate, onFmParameter},
    {"@SR", kMmlSustainRate, onFmParameter},
    {"@EG", kMmlSsgEnvelope, onFmParameter},
    {"@WP", kMmlWave, onWave},
    {"@WA", kMmlWaveAmplitude, onWaveAmplitude},
    {"@FD", kMmlFilterDetune, onFilterDetune},
    {"@tl", kMmlRelativeTotalLevel, onRelativeTotalLevel},
    {"@ar", kMmlRelativeAttack, onRelativeAttack},
    {"@ks", kMmlSweepSettingKr3, onSweepSettingKr3},
    {"@kp", kMmlKeySettingKr3, onKeySettingKr3},
    {"@v%", kMmlVolumeScale, onVolumeScale},
    {"@v+", kMmlValueUp, onValueUp},
    {"@v-", kMmlValueDown, onValueDown},
    {"@v", kMmlVolumeValue, onVolumeValue},
    {"@t", kMmlRelativeTempo, onRelativeTempo},
    {"@T", kMmlSettingAtT, onSettingAtT},
    {"@L", kMmlSettingAtL, onSettingAtL},
    {"@K", kMmlKeySetting, onKeySetting},
    {"@S", kMmlSweepSetting, onSweepSetting},
    {"@x", kMmlFmSwitch, onFmSwitch},
    {"@X", kMmlFmChannelSwitch, onFmChannelSwitch},
    {"@f", kMmlFilter, onFilter},
    {"@r#", kMmlLevelByteDirect, onLevelByteDirect},
    {"@r", kMmlLevelByte, onLevelByte},
    {"@p", kMmlDriverLoopOpen, onDriverLoopOpen},
    {"@j", kMmlDriverLoopClose, onDriverLoopClose},
    {"@u", kMmlRelativeDetune, onRelativeDetune},
    {"@k", kMmlRelativeTranspose, onRelativeTranspose},
    {"@y", kMmlRelativeTranspose, onRelativeTranspose},
    {"@q", kMmlGateSteps, onGateSteps},
    {"@e", kMmlSettingAtE, onSettingAtE},
    {"@M", kMmlPolyMode, onPolyMode},
    {"@B", kMmlBend, onBend},
    {"@D", kMmlDelay, onDelay},
    {"@C", kMmlChannelSet, onChannelSet},
    {"@Q", kMmlSettingAtQ, onSettingAtQ},
    {"@N", kMmlNoise, onNoise},
    {"|!", kMmlPartExclusion, onPartExclusion},
    {"|", kMmlPartFilter, onPartFilter},
    {"\"", kMmlChord, onChord},
    {"@", kMmlTone, onTone},
    {"*", kMmlEndMarker, onEndMarker},
};

// Codes that have a handler but no keyword: the note and key-signature codes
// between the letters' codes (a semitone of their own), and code 147.
constexpr MmlCode kUnnamedCodes[] = {
    MmlCode{17}, MmlCode{19}, MmlCode{22}, MmlCode{24}, MmlCode{26},      MmlCode{28}, MmlCode{29},
    MmlCode{30}, MmlCode{31}, MmlCode{33}, MmlCode{35}, MmlCode{38},      MmlCode{40}, MmlCode{42},
    MmlCode{44}, MmlCode{45}, MmlCode{46}, MmlCode{47}, kMmlUnnamedValue,
};

Handler unnamedHandler(MmlCode code) {
  if (isNoteCommand(code)) return onNote;
  if (code >= kMmlKeyC && code <= kMmlKeyLast) return onKeySignature;
  return onUnnamedValue;
}

void defaultHandler(CompileContext& ctx) {
  std::string english;
  if (ctx.diag.english()) {
    english = formatText("'%s' is not an MML command",
                         std::string(1, static_cast<char>(ctx.scanner.current())))
                  .utf8();
  }
  ctx.error(Said("ＭＭＬが解読できません", english));
}

constexpr std::array<int32_t, 16> kFmVolumeTable = {97,  99,  101, 103, 105, 107, 109, 111,
                                                    113, 115, 117, 119, 121, 123, 125, 127};
constexpr std::array<int32_t, 16> kPcmVolumeTable = {5,  12, 20, 28, 36,  44,  52,  60,
                                                     68, 76, 84, 92, 100, 107, 116, 127};

// A part's state at the start of a compile: the defaults of PartState, the
// volume table of its kind and a quarter note as its default length.
PartState initialPart(int part, int zenlen) {
  PartState p;
  p.volumeTable = isFmPart(part) ? kFmVolumeTable : kPcmVolumeTable;
  p.defaultLength = zenlen / 4;
  return p;
}

}  // namespace

MmlTables makeMmlTables() {
  std::vector<KeywordTable::Entry> entries;
  for (const MmlCommand& c : kMmlCommands) entries.emplace_back(c.keyword, c.code);
  return MmlTables{
      KeywordTable("[Tallow:DEF:MML]", entries, kMmlTableCapacity),
      KeywordTable("**TUNE CHAR**",
                   {{"+", kAuxFirst}, {"#", kAuxFirst}, {"-", kAuxSecond}, {"=", kAuxThird}}),
      KeywordTable("**CountDetail**", {{"%", kAuxFirst}}),
      KeywordTable("**CountAdd**", {{".", kAuxFirst}}),
      KeywordTable("", {{",", kAuxFirst}}),
      KeywordTable("", {}),
  };
}

void installMmlHandlers(CompileContext& ctx) {
  for (int part = 0; part < kPartCount; ++part) {
    ctx.parts[part] = initialPart(part, ctx.settings.zenlen);
    ctx.loops[part] = PartLoops{};
  }
  ctx.mmlHandlers.fill(defaultHandler);
  for (const MmlCommand& c : kMmlCommands) ctx.mmlHandlers[c.code] = c.handler;
  for (MmlCode code : kUnnamedCodes) ctx.mmlHandlers[code] = unnamedHandler(code);
}

}  // namespace tallow
