#pragma once
#include "driver/compile_job.h"
namespace tallow {
int compile(CompileJob& job, ProgramContext& program);
}
