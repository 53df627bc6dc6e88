#include "scene/text_scan.h"

#include "scene/scene.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

namespace lwmd5 {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One conversion of a scanf format: what it reads and where it stores.
struct Field {
    enum Kind { Float, Int } kind;
    void* target;
};

enum class FastResult { Converted, InputEnded, Unsure };

// The outcome of one %f or %d on a plain spelling; Unsure whenever the C
// library could treat the text differently (hex, inf, nan, a letter or a
// second point right after the number, a value out of range).
FastResult convertField(const char*& p, const char* end, const Field& field)
{
    while (p != end && isCSpace(*p)) ++p;
    if (p == end) return FastResult::InputEnded;
    const char* start = p;
    if (field.kind == Field::Int) {
        const char* q = p;
        if (*q == '+' || *q == '-') ++q;
        const char* digitsStart = q;
        while (q != end && isDigit(*q)) ++q;
        const std::size_t digits = static_cast<std::size_t>(q - digitsStart);
        if (digits == 0 || digits > 9) return FastResult::Unsure;
        if (q != end && !isCSpace(*q)) return FastResult::Unsure;
        int value = 0;
        const char* numberStart = *start == '+' ? start + 1 : start;
        std::from_chars(numberStart, q, value);
        *static_cast<int*>(field.target) = value;
        p = q;
        return FastResult::Converted;
    }
    const DecimalSpelling number = scanDecimalSpelling(std::string_view(start, static_cast<std::size_t>(end - start)));
    if (number.length == 0 || number.danglingExponent) return FastResult::Unsure;
    const char* q = start + number.length;
    if (q != end && !isCSpace(*q)) return FastResult::Unsure;
    float value = 0.0f;
    const char* numberStart = *start == '+' ? start + 1 : start;
    const auto result = std::from_chars(numberStart, q, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != q) return FastResult::Unsure;
    *static_cast<float*>(field.target) = value;
    p = q;
    return FastResult::Converted;
}

int scanWithC(const std::string& text, const Field* fields, int count);

// Runs the conversions of a format whose directives are separated by single
// spaces (a space in a scanf format skips any white space, which every
// conversion does anyway).
int scanFields(std::string_view text, const Field* fields, int count)
{
    const char* p = text.data();
    const char* end = text.data() + text.size();
    // Convert into scratch copies first, so an Unsure field can hand the whole
    // line to the C library with the targets untouched.
    float floats[9];
    int ints[9];
    Field scratch[9];
    for (int i = 0; i < count; ++i) {
        scratch[i] = fields[i];
        scratch[i].target = fields[i].kind == Field::Float ? static_cast<void*>(&floats[i]) : &ints[i];
    }
    int converted = 0;
    for (; converted < count; ++converted) {
        const FastResult result = convertField(p, end, scratch[converted]);
        if (result == FastResult::InputEnded) break;
        if (result == FastResult::Unsure) return scanWithC(std::string(text), fields, count);
    }
    for (int i = 0; i < converted; ++i) {
        if (fields[i].kind == Field::Float) {
            *static_cast<float*>(fields[i].target) = floats[i];
        } else {
            *static_cast<int*>(fields[i].target) = ints[i];
        }
    }
    return converted;
}

int scanWithC(const std::string& text, const Field* fields, int count)
{
    std::string format;
    for (int i = 0; i < count; ++i) {
        if (i > 0) format += ' ';
        format += fields[i].kind == Field::Float ? "%f" : "%d";
    }
    void* t[9] = {};
    for (int i = 0; i < count; ++i) t[i] = fields[i].target;
    // The format is built from a fixed alphabet above; its conversions match
    // the targets' types one by one.
    const int result = std::sscanf(text.c_str(), format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6],
                                   t[7], t[8]);
    return result < 0 ? 0 : result;
}

} // namespace

int leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

int scanThreeFloats(std::string_view text, float& a, float& b, float& c)
{
    const Field fields[] = {{Field::Float, &a}, {Field::Float, &b}, {Field::Float, &c}};
    return scanFields(text, fields, 3);
}

int scanTwoInts(std::string_view text, int& a, int& b)
{
    const Field fields[] = {{Field::Int, &a}, {Field::Int, &b}};
    return scanFields(text, fields, 2);
}

int scanKeyFields(std::string_view text, EnvelopeKey& key)
{
    const Field fields[] = {
        {Field::Float, &key.value},     {Field::Float, &key.time},      {Field::Int, &key.shape},
        {Field::Float, &key.tension},   {Field::Float, &key.continuity}, {Field::Float, &key.bias},
        {Field::Float, &key.params[0]}, {Field::Float, &key.params[1]}, {Field::Float, &key.params[2]},
    };
    return scanFields(text, fields, 9);
}

int scanHex8(std::string_view text, std::uint32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    const std::size_t start = i;
    const bool prefixed = i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    std::uint32_t result = 0;
    for (; i < text.size() && i - start < 8; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        result = (result << 4) | static_cast<std::uint32_t>(digit);
    }
    if (i > start && !prefixed) {
        value = result;
        return 1;
    }
    if (start == text.size()) return 0;
    // A sign or a 0x prefix: let the C library apply its own rules.
    unsigned int parsed = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%8X", &parsed) != 1) return 0;
    value = parsed;
    return 1;
}

} // namespace lwmd5
