#pragma once

#include "scene/scene.h"

#include <optional>
#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;

enum class SceneFlavour {
    Full,      // bones, null objects, channel blocks, frame range and rate (animconv)
    BonesOnly, // the bone keywords only (meshconv)
};

// Splits scene text into lines. Lines end at a carriage return, which also
// swallows a line feed right after it; a file without any carriage return
// ends its lines at line feeds instead. Text after the last line end is never
// returned, and a line stops at its first NUL byte as a C string would.
class SceneLineReader {
public:
    explicit SceneLineReader(std::string_view text);
    // Goes on reading `text` from `position` with the line end of a reader
    // that has already seen the whole text.
    SceneLineReader(std::string_view text, char lineEnd, std::size_t position)
        : text_(text), position_(position), lineEnd_(lineEnd)
    {
    }
    bool readLine(std::string_view& line);
    std::size_t remainingBytes() const { return text_.size() - position_; }
    std::size_t position() const { return position_; }
    char lineEnd() const { return lineEnd_; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    char lineEnd_ = '\r';
};

// Parses scene text held in memory. `sourceName` names the file in warnings
// (a file that ends inside a channel block). Long scenes convert their key
// lines on up to `threads` threads.
Scene parseScene(std::string_view text, SceneFlavour flavour, Reporter& report, std::string_view sourceName,
                 unsigned threads = 1);

// Read the scene file at `path` (the full reader of animconv, the bones-only
// reader of meshconv); nothing, after one error line, when it cannot be read.
[[nodiscard]] std::optional<Scene> readScene(const std::string& path, Reporter& report, unsigned threads);
[[nodiscard]] std::optional<Scene> readSceneBones(const std::string& path, Reporter& report);

} // namespace lwmd5
