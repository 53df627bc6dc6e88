#pragma once

#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;

// Writes an output file beside the scene file, with one error line on failure.
bool writeOutputFile(const std::string& scenePath, std::string_view extension, std::string_view text,
                     Reporter& report);

} // namespace lwmd5
