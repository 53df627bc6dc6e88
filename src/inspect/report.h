#pragma once

#include "inspect/inspection.h"

#include <string>

namespace lwmd5 {

// The text md5inspect prints: a section per file with its figures and the
// rules it breaks ("error: walk.md5anim:12: ... [flags]"), then the totals.
std::string formatReport(const Inspection& inspection);

// "doom3", "bfg" or "any".
std::string_view engineName(Engine engine);

} // namespace lwmd5
