#pragma once

#include "object/lwo_object.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;

// Parses an LWO2 (or LWO3) object held in memory. `sourceName` names the
// file in messages. Nothing, after one error line, when the bytes are not a
// readable object: a chunk reaching past its parent or the file, a name
// without its terminating zero, a form type other than LWO2 or LWO3 (after
// the "Wrong File Format!" notice), ...
[[nodiscard]] std::optional<LwoObject> parseLwoObject(std::span<const std::uint8_t> bytes, Reporter& report,
                                                      std::string_view sourceName);

// Reads the file at `path` and parses it; an unreadable file is reported too.
[[nodiscard]] std::optional<LwoObject> loadLwoObject(const std::string& path, Reporter& report);

} // namespace lwmd5
