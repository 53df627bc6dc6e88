#pragma once

namespace lwmd5 {

// One whole run of md5inspect: the command line, the checks, the report on
// stdout and the picture; returns the process exit status.
int runInspect(int argc, const char* const* argv);

} // namespace lwmd5
