#pragma once

#include "math/vec3.h"

#include <functional>
#include <string>
#include <string_view>

namespace lwmd5 {

// Appends `value` as C's "%f" prints it: fixed notation, six decimals, a
// minus sign for negative values including negative zero, "nan", "-nan",
// "inf", "-inf" for values that are not finite.
void appendFixed(std::string& out, double value);
// Appends "%f %f %f".
void appendFixedTriple(std::string& out, double a, double b, double c);
// Appends `value` as "%d" prints it.
void appendInteger(std::string& out, long long value);

// Output text built piece by piece in a buffer and handed to a sink in
// large chunks, so a long animation never sits in memory whole.
class TextOutput {
public:
    using Sink = std::function<void(std::string_view)>;
    explicit TextOutput(Sink sink) : sink_(std::move(sink)) {}

    // Append to this, then call pieceDone().
    std::string& text() { return buffer_; }
    void pieceDone()
    {
        if (buffer_.size() >= kChunkSize) handOn();
    }
    void finish() { handOn(); }

private:
    static constexpr std::size_t kChunkSize = 1 << 20;
    void handOn();

    Sink sink_;
    std::string buffer_;
};

// The output path beside the scene: the path cut at its last full stop (when
// it has one) with `extension` appended.
std::string outputPathFor(const std::string& scenePath, std::string_view extension);

// The x, y and z a writer prints for a quaternion: those of the quaternion
// with w >= 0 (negated when w < 0; w of 0 or not a number leaves them).
Vec3 printedQuatComponents(const Quat& q);

} // namespace lwmd5
