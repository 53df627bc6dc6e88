#pragma once

#include <cstdint>
#include <string_view>

namespace lwmd5 {

// C's text-to-number conversions over a string_view, with their exact
// results: the common spellings are converted with std::from_chars, anything
// unusual (hex, inf, nan, a number running into letters, overflow) goes to
// the C library itself. None of them ever fails; fields a conversion cannot
// fill are left as they were.

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
DecimalSpelling scanDecimalSpelling(std::string_view text);

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
