// The record that crosses from the driver to the preprocessor and the
// compiler and carries the results back, and the program-lifetime context.
//
// Path fields hold at most kPathFieldSize - 1 bytes: longer values are cut to
// fit when they are stored (setPathField).
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/allocator.h"
#include "base/column_map.h"
#include "base/environment.h"
#include "base/note_positions.h"
#include "base/out_stream.h"
#include "base/parts.h"

namespace tallow {

constexpr size_t kPathFieldSize = 512;
constexpr size_t kBankToneSlots = 128;  // the tones of one FMB bank

// The tone bank of the tone compiler (defined with it); the program keeps it
// from run to run.
struct ToneBankState;

// Stores `value` into a 512-byte path field, cut to fit.
inline void setPathField(std::string& field, std::string_view value) {
  field.assign(value.substr(0, kPathFieldSize - 1));
}

struct CompileJob {
  std::string sourcePath;
  std::string intermediatePath;
  std::string logPath;
  std::string searchDir;
  std::string outputPath;      // as shown to the user
  std::string outputFilePath;  // the same path as it is opened for writing
  int32_t warnLevel = 255;
  int32_t warnLimit = 32;
  int32_t optimize = 1;
  int32_t allowDecompile = 1;
  int32_t deleteIntermediate = 1;
  std::string title;
  std::string artist;
  std::string fmbName;
  std::string pmbName;
  std::string wpkName;
  int32_t soundUse = 0;
  int32_t wholeNoteTicks = 384;
  int32_t warningCount = 0;
  // With editor lines or note positions: where the columns of the lines the
  // preprocessor rewrote came from.
  ColumnMaps columnMaps;
  // When set, the compile records where each note and chord event of the
  // image was written (the image is the same either way).
  NotePositions* notePositions = nullptr;
  // The tones the source defined, when it wrote a bank (preprocessor).
  std::optional<std::bitset<kBankToneSlots>> tonesDefined;
  uint32_t outputSize = 0;
  std::array<int32_t, kPartCount> partSteps{};
  std::array<int32_t, kPartCount> partLoopSteps{};
  ByteBlock outputImage;
};

// Wall time spent in each stage of the latest run, in seconds; filled when a
// tool asks for it (benchmarks), never printed by the program itself.
struct StageTimes {
  double preprocess = 0;
  double compile = 0;  // the header loop and the MML commands
  double output = 0;   // ending, optimising and laying out the streams
};

// What lives for the whole program: the installed allocator, the
// environment, the console streams and the tone bank that the preprocessor's
// tone compiler keeps from run to run.
struct ProgramContext {
  Allocator* allocator = &heapAllocator();
  // The most bytes all event streams of a compile may hold together (tests
  // lower it to reach the limit cheaply).
  size_t streamBudget = kMaxBlockSize;
  Environment env;
  OutStream* out = nullptr;  // standard output
  OutStream* err = nullptr;  // standard error
  // TALLOWC_DIAGNOSTICS=gnu: every error and displayed warning also as a
  // line "FILE:LINE:COLUMN: error: TEXT" on standard error, for editors.
  bool editorDiagnostics = false;
  // Made by the preprocessor's first run; it lives as long as this context.
  std::shared_ptr<ToneBankState> toneBank;
  StageTimes* stageTimes = nullptr;
};

}  // namespace tallow
