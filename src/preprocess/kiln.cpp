#include "preprocess/kiln.h"

namespace tallow {

int RunPreprocessor(CompileJob&, ProgramContext&) { return 1; }

}  // namespace tallow
