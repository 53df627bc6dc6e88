#pragma once

#include "app/conversion.h"

namespace lwmd5 {

// One whole run of a program, from the banner to the written file; returns
// the process exit status.
int runProgram(Program program, int argc, const char* const* argv);

} // namespace lwmd5
