// The handlers of the MML commands, one per command (aliases share one).
// Each reads its own arguments through the scanner and works on the current
// part; the command table (command_table.cpp) maps keywords and codes to
// them.  Grouped by the file that defines them.
#pragma once

#include "state/compile_context.h"

namespace tallow {

// notes.cpp: notes, rests, lengths, ties, gates and detune.
void onNote(CompileContext& ctx);
void onKeySignature(CompileContext& ctx);
void onRest(CompileContext& ctx);
void onOctaveOnce(CompileContext& ctx);
void onDriverGate(CompileContext& ctx);
void onOneNoteGate(CompileContext& ctx);
void onGateFraction(CompileContext& ctx);
void onGateSteps(CompileContext& ctx);
void onDetune(CompileContext& ctx);
void onBareTie(CompileContext& ctx);
void onBareJoin(CompileContext& ctx);
void onBarePortamento(CompileContext& ctx);

// loops.cpp: expanded loops and driver loops.
void onLoopOpen(CompileContext& ctx);
void onLoopEscape(CompileContext& ctx);
void onLoopClose(CompileContext& ctx);
void onDriverLoopOpen(CompileContext& ctx);
void onDriverLoopClose(CompileContext& ctx);

// tempo.cpp
void onTempo(CompileContext& ctx);
void onTimerA(CompileContext& ctx);
void onTimerB(CompileContext& ctx);
void onRelativeTempo(CompileContext& ctx);
void onOtherClockTempo(CompileContext& ctx);

// volume.cpp
void onVolumeLevel(CompileContext& ctx);
void onVolumeValue(CompileContext& ctx);
void onVolumeOffset(CompileContext& ctx);
void onVolumeTableEntry(CompileContext& ctx);
void onLevelUp(CompileContext& ctx);
void onLevelDown(CompileContext& ctx);
void onValueUp(CompileContext& ctx);
void onValueDown(CompileContext& ctx);
void onOneNoteLevel(CompileContext& ctx);
void onOneNoteValue(CompileContext& ctx);
void onOneNoteLevelUp(CompileContext& ctx);
void onOneNoteLevelDown(CompileContext& ctx);
void onOneNoteValueUp(CompileContext& ctx);
void onOneNoteValueDown(CompileContext& ctx);
void onLevelByte(CompileContext& ctx);
void onLevelByteDirect(CompileContext& ctx);

// channel.cpp: tone select, driver settings, register writes, modulation,
// envelope controls and part filters.
void onTone(CompileContext& ctx);
void onSettingP(CompileContext& ctx);
void onSettingAtT(CompileContext& ctx);
void onSettingAtL(CompileContext& ctx);
void onKeySetting(CompileContext& ctx);
void onSweepSetting(CompileContext& ctx);
void onSettingAtE(CompileContext& ctx);
void onFilter(CompileContext& ctx);
void onFmSwitch(CompileContext& ctx);
void onFmChannelSwitch(CompileContext& ctx);
void onRegister(CompileContext& ctx);
void onHalfRegister(CompileContext& ctx);
void onLfoDepthX4(CompileContext& ctx);
void onModulation(CompileContext& ctx);
void onEnvelopeSelect(CompileContext& ctx);
void onEnvelopeUnit(CompileContext& ctx);
void onEnvelopeRestart(CompileContext& ctx);
void onUnnamedValue(CompileContext& ctx);
void onPartFilter(CompileContext& ctx);
void onPartExclusion(CompileContext& ctx);

// octave.cpp: octave, transposition, detune offsets, default length, "*".
void onOctave(CompileContext& ctx);
void onOctaveUp(CompileContext& ctx);
void onOctaveDown(CompileContext& ctx);
void onTranspose(CompileContext& ctx);
void onRelativeTranspose(CompileContext& ctx);
void onSecondTranspose(CompileContext& ctx);
void onRelativeDetune(CompileContext& ctx);
void onSecondDetune(CompileContext& ctx);
void onDefaultLength(CompileContext& ctx);
void onEndMarker(CompileContext& ctx);

// pan.cpp
void onPanCentre(CompileContext& ctx);
void onPanLeft(CompileContext& ctx);
void onPanRight(CompileContext& ctx);
void onVolumeScale(CompileContext& ctx);

// fm_operators.cpp: one handler for the thirteen FM parameter commands.
void onFmParameter(CompileContext& ctx);

// kr3.cpp: commands of the KR3 format.
void onPolyMode(CompileContext& ctx);
void onBend(CompileContext& ctx);
void onDelay(CompileContext& ctx);
void onChannelSet(CompileContext& ctx);
void onSettingAtQ(CompileContext& ctx);
void onWave(CompileContext& ctx);
void onWaveAmplitude(CompileContext& ctx);
void onFilterDetune(CompileContext& ctx);
void onNoise(CompileContext& ctx);
void onRelativeTotalLevel(CompileContext& ctx);
void onRelativeAttack(CompileContext& ctx);
void onKeySettingKr3(CompileContext& ctx);
void onSweepSettingKr3(CompileContext& ctx);
void onChord(CompileContext& ctx);

}  // namespace tallow
