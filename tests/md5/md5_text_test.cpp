#include "md5/md5_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

std::string printfFixed(double value)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

std::string fixed(double value)
{
    std::string out = "<";
    appendFixed(out, value);
    return out.substr(1);
}

TEST(FixedNumbers, MatchPrintfOnChosenValues)
{
    const double values[] = {
        0.0, -0.0, 1.0, -3.0, 16777217.0, 9007199254740993.0, 18446744073709551616.0,
        // Around the sixth decimal, including exact binary ties (odd multiples
        // of 1/128 end in 5 at the seventh decimal).
        0.0000005, -0.0000005, 2.5e-7, 1e-7, -1e-7, 0.0000015, 9.9999995e-7, 0.9999995, 999999.9999995,
        0.0078125, 0.0234375, -0.0078125, 1.0078125, 2.5, 0.5, 1.5,
        // Single-precision values widened.
        static_cast<double>(0.1f), static_cast<double>(1.0f / 3.0f), static_cast<double>(-0.6f),
        // Large and tiny magnitudes.
        1e15, 1e17, 1e22, 1e23, 123456789.125, FLT_MAX, -FLT_MAX, DBL_MAX, -DBL_MAX, FLT_MIN, -FLT_MIN,
        static_cast<double>(std::numeric_limits<float>::denorm_min()), DBL_MIN,
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
    };
    for (const double v : values) EXPECT_EQ(fixed(v), printfFixed(v)) << v;
    EXPECT_EQ(fixed(-0.0), "-0.000000");
    EXPECT_EQ(fixed(0.0078125), "0.007812");
    EXPECT_EQ(fixed(0.0234375), "0.023438");
}

TEST(FixedNumbers, MatchPrintfOnRandomBitPatterns)
{
    std::mt19937_64 random(1234);
    int compared = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t pattern = random();
        const double asDouble = std::bit_cast<double>(pattern);
        const float asFloat = std::bit_cast<float>(static_cast<std::uint32_t>(pattern));
        // Doubles of every magnitude, and ones spread over the printed range.
        const double spread = std::ldexp(asDouble - std::trunc(asDouble), static_cast<int>(pattern % 60) - 30);
        for (const double v : {asDouble, static_cast<double>(asFloat), spread, std::ldexp(1.0, -7) * (2 * i + 1)}) {
            if (!std::isfinite(v)) continue;
            ASSERT_EQ(fixed(v), printfFixed(v)) << std::hexfloat << v;
            ++compared;
        }
    }
    EXPECT_GT(compared, 70000);
}

TEST(FixedNumbers, ValuesThatAreNotFinite)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(fixed(inf), "inf");
    EXPECT_EQ(fixed(-inf), "-inf");
    EXPECT_EQ(fixed(nan), "nan");
    EXPECT_EQ(fixed(-nan), "-nan");
    EXPECT_EQ(fixed(static_cast<double>(std::bit_cast<float>(0xFFC00001u))), "-nan");
}

TEST(OutputPath, CutAtTheLastFullStopAnywhere)
{
    struct Case {
        const char* scene;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"run.lws", ".md5anim", "run.md5anim"},
        {"scenes/run.lws", ".md5mesh", "scenes/run.md5mesh"},
        {"walk.final.lws", ".md5anim", "walk.final.md5anim"},
        {"walk", ".md5mesh", "walk.md5mesh"},
        {"models.v2/walk", ".md5mesh", "models.md5mesh"},
        {"../walk.lws", ".md5anim", "../walk.md5anim"},
        {"walk.", ".md5mesh", "walk.md5mesh"},
    };
    for (const Case& c : cases) EXPECT_EQ(outputPathFor(c.scene, c.extension), c.expected) << c.scene;
}

TEST(PrintedQuaternion, ComponentsOfTheQuaternionWithNonNegativeW)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        Quat q;
        Vec3 expected;
    };
    const Case cases[] = {
        {{0.5f, -0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}},
        {{0.0f, 0.25f, -0.0f, -1e-30f}, {-0.0f, -0.25f, 0.0f}},
        {{0.6f, 0.0f, -0.8f, 0.0f}, {0.6f, 0.0f, -0.8f}},
        {{0.6f, 0.0f, -0.8f, -0.0f}, {0.6f, 0.0f, -0.8f}},
        {{0.6f, 0.0f, -0.8f, nan}, {0.6f, 0.0f, -0.8f}},
        {{0.1f, 0.2f, 0.3f, 0.9f}, {0.1f, 0.2f, 0.3f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "w " << c.q.w);
        const Vec3 printed = printedQuatComponents(c.q);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(printed.x), std::bit_cast<std::uint32_t>(c.expected.x));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(printed.y), std::bit_cast<std::uint32_t>(c.expected.y));
        EXPECT_EQ(std::bit_cast<std::uint32_t>(printed.z), std::bit_cast<std::uint32_t>(c.expected.z));
    }
}

} // namespace
} // namespace lwmd5
