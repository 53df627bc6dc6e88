#pragma once

#include <string>
#include <string_view>

namespace lwmd5 {

// Reads a whole file with one read into a buffer of its exact size. On
// failure returns false and leaves the reason ("No such file or directory",
// "Is a directory", ...) in `reason`.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& reason);

// Writes `text` to a temporary file beside `path` in text mode (so each line
// feed becomes the platform's line end), flushes it, checks every step and
// only then renames it over `path`. On failure the temporary file is removed,
// an existing file at `path` is left as it was, and `reason` says what failed.
bool replaceFileAtomically(const std::string& path, std::string_view text, std::string& reason);

} // namespace lwmd5
