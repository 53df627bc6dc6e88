#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;
class TextOutput;

// Formats an output file beside the scene file (the scene path cut at its
// last full stop, plus `extension`) through a temporary file that replaces
// the target only when every byte was written. One error line on failure.
[[nodiscard]] bool writeOutputFile(const std::string& scenePath, std::string_view extension,
                     const std::function<void(TextOutput&)>& format, Reporter& report);

// Runs a formatter into a string.
std::string formatToString(const std::function<void(TextOutput&)>& format);

} // namespace lwmd5
