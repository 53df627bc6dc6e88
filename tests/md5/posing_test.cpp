#include "md5/posing.h"

#include "math/bounds.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>

namespace lwmd5 {
namespace {

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// The vector loop (four vertices interleaved, float lanes for the bias
// product and the sum) must grow the box to the very bits of the plain loop,
// whatever the weight counts, values, signed zeros and non-finite numbers.
TEST(Posing, FastLoopAgreesWithThePlainLoopToTheBit)
{
    std::mt19937 random(2718);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto value = [&]() {
        switch (random() % 16) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        case 2: return std::numeric_limits<float>::quiet_NaN();
        case 3: return std::numeric_limits<float>::infinity();
        case 4: return 1e-40f; // subnormal
        default: return unit(random) * 100.0f;
        }
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<JointRows> joints(1 + random() % 5);
        for (JointRows& rows : joints) {
            Transform m;
            for (auto& row : m.m) {
                for (float& x : row) x = unit(random);
            }
            m.t = {value(), value(), value()};
            toRows(m, rows);
        }
        std::vector<PoseWeight> weights;
        std::vector<PoseRun> runs;
        const std::size_t runCount = random() % 40;
        for (std::size_t r = 0; r < runCount; ++r) {
            // Mostly equal counts, so both the interleaved and the single path run.
            const std::uint32_t count = random() % 3 == 0 ? 1 + random() % 9 : 3;
            runs.push_back({static_cast<std::uint32_t>(weights.size()), count});
            for (std::uint32_t w = 0; w < count; ++w) {
                const float bias = value();
                weights.push_back({{value(), value(), value()}, bias, bias, random() % joints.size()});
            }
        }
        FrameBounds plain;
        FrameBounds fast;
        resetBounds(plain.min, plain.max);
        resetBounds(fast.min, fast.max);
        poseRunsScalar(weights.data(), runs.data(), runs.size(), joints.data(), plain);
        choosePoseFunction()(weights.data(), runs.data(), runs.size(), joints.data(), fast);
        const float plainValues[] = {plain.min.x, plain.min.y, plain.min.z, plain.max.x, plain.max.y, plain.max.z};
        const float fastValues[] = {fast.min.x, fast.min.y, fast.min.z, fast.max.x, fast.max.y, fast.max.z};
        for (int i = 0; i < 6; ++i) ASSERT_EQ(bits(plainValues[i]), bits(fastValues[i])) << "round " << round << " value " << i;
    }
}

} // namespace
} // namespace lwmd5
