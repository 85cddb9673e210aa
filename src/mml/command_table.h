// The MML command table "[Tallow:DEF:MML]": one row per keyword, with its
// code and its handler, in the stored order that decides which keyword wins
// where one is a prefix of another; the auxiliary tables the note, length
// and volume commands read; and the codes, by name.
#pragma once

#include <cstdint>

#include "state/compile_context.h"

namespace tallow {

// The command codes.  Notes are 16 + semitone and key signatures 32 +
// semitone; several keywords may share a code (aliases).
enum MmlCode : int16_t {
  kMmlNoteC = 16,
  kMmlNoteD = 18,
  kMmlNoteE = 20,
  kMmlNoteF = 21,
  kMmlNoteG = 23,
  kMmlNoteA = 25,
  kMmlNoteB = 27,
  kMmlNoteLast = 31,  // 16-31 all play notes; only the letters' codes have keywords
  kMmlKeyC = 32,
  kMmlKeyD = 34,
  kMmlKeyE = 36,
  kMmlKeyF = 37,
  kMmlKeyG = 39,
  kMmlKeyA = 41,
  kMmlKeyB = 43,
  kMmlKeyLast = 47,
  kMmlRest = 48,
  kMmlOctave = 49,
  kMmlOctaveUp = 50,
  kMmlOctaveDown = 51,
  kMmlOctaveOnce = 52,  // "^"
  kMmlPartFilter = 56,
  kMmlPartExclusion = 57,
  kMmlTempo = 60,
  kMmlTimerA = 61,
  kMmlSettingAtT = 62,
  kMmlDefaultLength = 63,
  kMmlSettingAtL = 64,
  kMmlDriverGate = 65,
  kMmlOneNoteGate = 66,
  kMmlGateFraction = 67,
  kMmlGateSteps = 68,
  kMmlTimerB = 69,
  kMmlRelativeTempo = 70,
  kMmlOtherClockTempo = 71,
  kMmlVolumeLevel = 72,
  kMmlVolumeValue = 73,
  kMmlVolumeOffset = 74,
  kMmlVolumeTableEntry = 75,
  kMmlOneNoteLevel = 76,
  kMmlOneNoteValue = 77,
  kMmlLevelUp = 78,
  kMmlLevelDown = 79,
  kMmlValueUp = 80,
  kMmlValueDown = 81,
  kMmlOneNoteLevelUp = 82,
  kMmlOneNoteLevelDown = 83,
  kMmlOneNoteValueUp = 84,
  kMmlOneNoteValueDown = 85,
  kMmlTone = 88,
  kMmlLfoDepthX4 = 89,
  kMmlModulation = 90,
  kMmlKeySetting = 91,
  kMmlSweepSetting = 92,
  kMmlFilter = 93,
  kMmlSettingP = 94,
  kMmlLevelByte = 95,
  kMmlLevelByteDirect = 96,
  kMmlEnvelopeSelect = 97,
  kMmlEnvelopeRestart = 98,
  kMmlEnvelopeUnit = 99,
  kMmlDetune = 100,
  kMmlRelativeDetune = 101,
  kMmlSecondDetune = 102,
  kMmlTranspose = 104,
  kMmlRelativeTranspose = 105,
  kMmlSecondTranspose = 106,
  kMmlFmSwitch = 108,
  kMmlRegister = 109,
  kMmlHalfRegister = 110,
  kMmlDriverLoopOpen = 112,
  kMmlDriverLoopClose = 113,
  kMmlLoopOpen = 114,
  kMmlLoopEscape = 115,
  kMmlLoopClose = 116,
  kMmlPanCentre = 120,
  kMmlPanRight = 121,
  kMmlPanLeft = 122,
  kMmlSettingAtE = 123,
  kMmlFeedback = 128,
  kMmlAlgorithm = 129,
  kMmlOperatorDetune = 130,
  kMmlMultiple = 131,
  kMmlTotalLevel = 132,
  kMmlKeyScale = 133,
  kMmlAttackRate = 134,
  kMmlAmEnable = 135,
  kMmlDecayRate = 136,
  kMmlSustainRate = 137,
  kMmlSsgEnvelope = 138,
  kMmlAms = 139,
  kMmlPms = 140,
  kMmlTie = 144,
  kMmlPortamento = 145,
  kMmlLengthJoin = 146,
  kMmlUnnamedValue = 147,  // no keyword names it; only a redefinition reaches it
  kMmlPolyMode = 148,
  kMmlBend = 150,
  kMmlDelay = 151,
  kMmlChannelSet = 152,
  kMmlSettingAtQ = 153,
  kMmlWave = 154,
  kMmlWaveAmplitude = 155,
  kMmlFilterDetune = 156,
  kMmlNoise = 157,
  kMmlRelativeTotalLevel = 158,
  kMmlRelativeAttack = 159,
  kMmlKeySettingKr3 = 160,
  kMmlSweepSettingKr3 = 161,
  kMmlChord = 162,
  kMmlFmChannelSwitch = 163,
  kMmlVolumeScale = 200,
  kMmlEndMarker = 201,
};

constexpr bool isNoteCommand(int code) { return code >= kMmlNoteC && code <= kMmlNoteLast; }
// The note letters' codes: 16-27 (codes 28-31 play notes but no letter has them).
constexpr bool isNoteLetter(int code) { return code >= kMmlNoteC && code <= kMmlNoteB; }

// Codes of the auxiliary tables' entries.
constexpr int kAuxFirst = 16;   // "+"/"#" of TUNE CHAR, "%", ".", ","
constexpr int kAuxSecond = 17;  // "-" of TUNE CHAR
constexpr int kAuxThird = 18;   // "=" of TUNE CHAR

// One command: its keyword (none for a code that only a redefinition can
// reach), its code and the handler that compiles it.
struct MmlCommand {
  const char* keyword;
  MmlCode code;
  Handler handler;
};

MmlTables makeMmlTables();

// Sets every part's state to its initial values and fills the handler table:
// every slot gets the default handler ("ＭＭＬが解読できません"), then each
// command's handler.
void installMmlHandlers(CompileContext& ctx);

}  // namespace tallow
