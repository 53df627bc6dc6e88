#include "md5/md5_text.h"

#include <charconv>
#include <cmath>

namespace lwmd5 {

void appendFixed(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += std::signbit(value) ? "-nan" : "nan";
        return;
    }
    // %f of the largest double needs 309 digits before the point.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    out.append(buffer, result.ptr);
}

void appendFixedTriple(std::string& out, double a, double b, double c)
{
    appendFixed(out, a);
    out += ' ';
    appendFixed(out, b);
    out += ' ';
    appendFixed(out, c);
}

void appendInteger(std::string& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void TextOutput::handOn()
{
    if (buffer_.empty()) return;
    sink_(buffer_);
    buffer_.clear();
}

std::string outputPathFor(const std::string& scenePath, std::string_view extension)
{
    const std::size_t dot = scenePath.rfind('.');
    std::string path = dot == std::string::npos ? scenePath : scenePath.substr(0, dot);
    path += extension;
    return path;
}

Vec3 printedQuatComponents(const Quat& q)
{
    if (q.w < 0.0f) return {-q.x, -q.y, -q.z};
    return {q.x, q.y, q.z};
}

} // namespace lwmd5
