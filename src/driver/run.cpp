#include "driver/run.h"

namespace tallow {

int runDriver(const std::vector<std::string>&, ProgramContext&) { return 0; }

}  // namespace tallow
