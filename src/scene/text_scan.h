#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lwmd5 {

// C's text-to-number conversions over a string_view, with their exact
// results: the common spellings are converted with std::from_chars, anything
// unusual (hex, inf, nan, a number running into letters, overflow) goes to
// the C library itself. None of them ever fails; fields a conversion cannot
// fill are left as they were.

// The white space C's conversions skip: space, \t, \n, \v, \f, \r.
inline bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi: optional white space, sign and decimal digits; 0 when there are none.
// Values beyond the int range are clamped to it.
int leadingInteger(std::string_view text);

// The decimal number at the very start of `text` as C's conversions spell
// it: an optional sign, digits with at most one point (one digit at least),
// and an exponent when it is complete. `length` is 0 when there is none;
// `danglingExponent` tells that an 'e' follows which completes no exponent
// (the number then ends before it).
struct DecimalSpelling {
    std::size_t length;
    bool danglingExponent;
};
// Inline: the scene's key lines run through it a million times a second.
inline DecimalSpelling scanDecimalSpelling(std::string_view text)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const char* p = begin;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    const char* digits = p;
    while (p != end && digit(*p)) ++p;
    bool any = p != digits;
    if (p != end && *p == '.') {
        digits = ++p;
        while (p != end && digit(*p)) ++p;
        any = any || p != digits;
    }
    if (!any) return {0, false};
    if (p != end && (*p == 'e' || *p == 'E')) {
        const char* e = p + 1;
        if (e != end && (*e == '+' || *e == '-')) ++e;
        const char* exponent = e;
        while (e != end && digit(*e)) ++e;
        if (e == exponent) return {static_cast<std::size_t>(p - begin), true};
        p = e;
    }
    return {static_cast<std::size_t>(p - begin), false};
}

// sscanf(text, "%f %f %f", ...): returns the number of fields assigned.
int scanThreeFloats(std::string_view text, float& a, float& b, float& c);
// sscanf(text, "%d %d", ...).
int scanTwoInts(std::string_view text, int& a, int& b);
// sscanf(text, "%8X", ...).
int scanHex8(std::string_view text, std::uint32_t& value);
// sscanf(text, "%f %f %d %f %f %f %f %f %f", ...) into value, time, shape,
// tension, continuity, bias and params[0..2].
struct EnvelopeKey;
int scanKeyFields(std::string_view text, EnvelopeKey& key);

} // namespace lwmd5
