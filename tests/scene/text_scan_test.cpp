#include "scene/text_scan.h"

#include "scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

std::uint32_t bitsOf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Spellings a scene line may hold, plain and odd, drawn at random and glued
// together with random separators.
class Spellings {
public:
    explicit Spellings(unsigned seed) : random_(seed) {}

    std::string number()
    {
        static const char* const specials[] = {
            "inf", "-INF", "Infinity", "nan", "NaN(12)", "-nan", "0x1p3", "0X1.8p-2", "0x", "0x1A", "-0x10",
            "1e39", "-3.5e38", "3.4028235e38", "340282356779733661637539395458142568448", "1e-40", "1.4e-45",
            "7e-46", "1e-50", "2147483647", "2147483648", "-2147483649", "99999999999", "1e", "1e+", "3.5",
            "1.00000005960464477539062500001", ".", "+.", "-", "+-1", "..5", "1.5.5", "00000000012",
        };
        if (pick(6) == 0) return specials[pick(std::size(specials))];
        std::string text;
        const char* const signs[] = {"", "", "", "-", "+"};
        text += signs[pick(5)];
        text += digits(pick(4) == 0 ? pick(25) : pick(6));
        if (pick(2) == 0) text += "." + digits(pick(9));
        if (pick(4) == 0) {
            text += pick(2) == 0 ? "e" : "E";
            const char* const exponentSigns[] = {"", "-", "+"};
            text += exponentSigns[pick(3)];
            text += digits(pick(4));
        }
        return text;
    }

    std::string hex()
    {
        static const char* const prefixes[] = {"", "", "", "0x", "0X", "-", "+", "-0x"};
        static const char alphabet[] = "0123456789abcdefABCDEF";
        std::string text = prefixes[pick(std::size(prefixes))];
        const std::size_t count = pick(12);
        for (std::size_t i = 0; i < count; ++i) text += alphabet[pick(sizeof alphabet - 1)];
        return text;
    }

    std::string separator()
    {
        static const char* const separators[] = {" ", " ", " ", "  ", "\t", "\n", "\v\f", "", ",", "x"};
        return separators[pick(std::size(separators))];
    }

    std::string line(bool hexDigits)
    {
        static const char* const leads[] = {"", "", " ", "\t ", "abc"};
        std::string text = leads[pick(std::size(leads))];
        const std::size_t fields = pick(11);
        for (std::size_t i = 0; i < fields; ++i) {
            if (i > 0) text += separator();
            text += hexDigits ? hex() : number();
        }
        static const char* const tails[] = {"", "", "", " ", "x", "e5", "g", ".", "\t\t"};
        return text + tails[pick(std::size(tails))];
    }

private:
    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }

    std::string digits(std::size_t count)
    {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('0' + pick(10));
        return text;
    }

    std::mt19937 random_;
};

constexpr int kSamples = 40000;
// Untouched fields must keep this.
constexpr float kFloatSentinel = -1234.5f;
constexpr int kIntSentinel = -777;

// Each conversion gets a view that ends before more digits in the same
// buffer, as a line does inside the file's text.
std::string_view viewOf(const std::string& buffer, std::size_t length)
{
    return std::string_view(buffer).substr(0, length);
}

TEST(TextScan, FloatFieldsMatchScanf)
{
    Spellings spellings(20240611);
    for (int i = 0; i < kSamples; ++i) {
        const std::string line = spellings.line(false);
        const std::string buffer = line + "9.5e1";
        float got[3] = {kFloatSentinel, kFloatSentinel, kFloatSentinel};
        float want[3] = {kFloatSentinel, kFloatSentinel, kFloatSentinel};
        const int gotCount = scanThreeFloats(viewOf(buffer, line.size()), got[0], got[1], got[2]);
        const int wantCount = std::max(0, std::sscanf(line.c_str(), "%f %f %f", &want[0], &want[1], &want[2]));
        ASSERT_EQ(gotCount, wantCount) << '"' << line << '"';
        for (int f = 0; f < 3; ++f) ASSERT_EQ(bitsOf(got[f]), bitsOf(want[f])) << '"' << line << "\" field " << f;
    }
}

TEST(TextScan, KeyFieldsMatchScanf)
{
    Spellings spellings(7);
    for (int i = 0; i < kSamples; ++i) {
        const std::string line = spellings.line(false);
        const std::string buffer = line + "1";
        EnvelopeKey got;
        EnvelopeKey want;
        float* const gotFloats[] = {&got.value, &got.time, &got.tension, &got.continuity, &got.bias,
                                    &got.params[0], &got.params[1], &got.params[2]};
        float* const wantFloats[] = {&want.value, &want.time, &want.tension, &want.continuity, &want.bias,
                                     &want.params[0], &want.params[1], &want.params[2]};
        for (float* f : gotFloats) *f = kFloatSentinel;
        for (float* f : wantFloats) *f = kFloatSentinel;
        got.shape = want.shape = kIntSentinel;
        const int gotCount = scanKeyFields(viewOf(buffer, line.size()), got);
        const int wantCount = std::max(
            0, std::sscanf(line.c_str(), "%f %f %d %f %f %f %f %f %f", &want.value, &want.time, &want.shape,
                           &want.tension, &want.continuity, &want.bias, &want.params[0], &want.params[1],
                           &want.params[2]));
        ASSERT_EQ(gotCount, wantCount) << '"' << line << '"';
        ASSERT_EQ(got.shape, want.shape) << '"' << line << '"';
        for (std::size_t f = 0; f < std::size(gotFloats); ++f) {
            ASSERT_EQ(bitsOf(*gotFloats[f]), bitsOf(*wantFloats[f])) << '"' << line << "\" float " << f;
        }
        ASSERT_EQ(bitsOf(got.params[3]), 0u);
    }
}

TEST(TextScan, IntegerFieldsMatchScanfAndStrtol)
{
    Spellings spellings(99);
    for (int i = 0; i < kSamples; ++i) {
        const std::string line = spellings.line(false);
        const std::string buffer = line + "7";
        int got[2] = {kIntSentinel, kIntSentinel};
        int want[2] = {kIntSentinel, kIntSentinel};
        const int gotCount = scanTwoInts(viewOf(buffer, line.size()), got[0], got[1]);
        const int wantCount = std::max(0, std::sscanf(line.c_str(), "%d %d", &want[0], &want[1]));
        ASSERT_EQ(gotCount, wantCount) << '"' << line << '"';
        ASSERT_EQ(got[0], want[0]) << '"' << line << '"';
        ASSERT_EQ(got[1], want[1]) << '"' << line << '"';

        // The leading integer is strtol's, held in the int range.
        const long wide = std::strtol(line.c_str(), nullptr, 10);
        const int clamped = static_cast<int>(std::clamp<long>(wide, INT_MIN, INT_MAX));
        ASSERT_EQ(leadingInteger(viewOf(buffer, line.size())), clamped) << '"' << line << '"';
    }
}

TEST(TextScan, HexFieldMatchesScanf)
{
    Spellings spellings(5);
    for (int i = 0; i < kSamples; ++i) {
        const std::string line = spellings.line(true);
        const std::string buffer = line + "f";
        std::uint32_t got = 0xDEADBEEFu;
        unsigned int want = 0xDEADBEEFu;
        const int gotCount = scanHex8(viewOf(buffer, line.size()), got);
        const int wantCount = std::max(0, std::sscanf(line.c_str(), "%8X", &want));
        ASSERT_EQ(gotCount, wantCount) << '"' << line << '"';
        ASSERT_EQ(got, want) << '"' << line << '"';
    }
}

} // namespace
} // namespace lwmd5
