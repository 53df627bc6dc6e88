#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace lwmd5 {
namespace {

TEST(FileKinds, ExtensionIsTheFourCharactersFromTheLastDot)
{
    struct Case {
        const char* argument;
        bool scene;
        bool object;
    };
    const Case cases[] = {
        {"walk.lws", true, false},
        {"walk.lwo", false, true},
        {"walk.lwsx", true, false},          // only four characters are compared
        {"walk.lwob", false, true},
        {"walk.LWS", false, false},          // case-sensitive
        {"walk.Lwo", false, false},
        {"walk.lw", false, false},           // too short
        {"walk", false, false},              // no dot at all
        {"", false, false},
        {".lws", true, false},
        {"walk.lws.", false, false},         // the last dot ends the name
        {"walk.lwo.lws", true, false},       // only the last dot counts
        {"walk.lws.lwo", false, true},
        {"models.old/walk.lws", true, false},
        {"models.old/walk", false, false},   // the folder's dot is the last one
        {"scenes.lws/walk", true, false},    // ... and it is taken as it stands
        {"C:\\a.b\\walk.lwo", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isSceneFile(c.argument), c.scene) << '"' << c.argument << '"';
        EXPECT_EQ(isObjectFile(c.argument), c.object) << '"' << c.argument << '"';
    }
}

std::uint32_t bitsOf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(ScaleFactor, ReadsTheLeadingDecimalNumberRoundedToFloat)
{
    struct Case {
        const char* argument;
        float expected;
    };
    const Case cases[] = {
        {"0.5", 0.5f},
        {"2", 2.0f},
        {"-2.25", -2.25f},
        {"+.5", 0.5f},
        {"5.", 5.0f},
        {" \t\n3", 3.0f},      // leading white space is skipped
        {"2.5cm", 2.5f},       // reading stops where the number ends
        {"1.5.5", 1.5f},
        {"1e3", 1000.0f},
        {"2E-1", 0.2f},
        {"1.5e2x", 150.0f},
        {"4e", 4.0f},          // an incomplete exponent is not part of the number
        {"4e+", 4.0f},
        {"4e-x", 4.0f},
        {"0x10", 0.0f},        // decimal only: the number is the "0"
        {"0.1", 0.1f},
        {"3.4e38", 3.4e38f},
        {"340282346638528859811704183484516925440", FLT_MAX},
        {"0", 0.0f},
        {"-0.0", -0.0f},
        // Exactly halfway between 1 and the next float once rounded to double,
        // so it rounds to even (1); a direct rounding to float would give the
        // next float up.
        {"1.00000005960464477539062500001", 1.0f},
    };
    for (const Case& c : cases) {
        const std::optional<float> scale = parseScaleFactor(c.argument);
        ASSERT_TRUE(scale.has_value()) << '"' << c.argument << '"';
        EXPECT_EQ(bitsOf(*scale), bitsOf(c.expected)) << '"' << c.argument << "\" gave " << *scale;
    }
}

TEST(ScaleFactor, RejectsWhatDoesNotBeginWithAFiniteDecimalNumber)
{
    const char* const cases[] = {
        "", "abc", " ", "-", "+", ".", "-.e5", "e5", "inf", "-INF", "infinity", "nan", "NaN(1)", "x1",
        "1e39", "-1e39", "3.5e38", "1e400",
        // too small for a float: would silently put every position at the origin
        "1e-50", "-1e-46",
        // halfway between FLT_MAX and 2^128: rounds to even, which is infinity
        "340282356779733661637539395458142568448",
    };
    for (const char* argument : cases) {
        const std::optional<float> scale = parseScaleFactor(argument);
        EXPECT_FALSE(scale.has_value()) << '"' << argument << "\" gave " << scale.value_or(0.0f);
    }
}

} // namespace
} // namespace lwmd5
