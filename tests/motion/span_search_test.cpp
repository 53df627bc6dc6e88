#include "motion/envelope.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace lwmd5 {
namespace {

// Key times drawn from a few values, so equal, descending, infinite and
// not-a-number times all come up often.
float randomTime(std::mt19937& random)
{
    static const float times[] = {-1.0f, 0.0f, 0.25f, 0.5f, 0.5f, 1.0f, 2.0f,
                                  std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN()};
    return times[random() % std::size(times)];
}

TEST(SpanSearch, FindsTheSpanTheWalkFindsForKeysInAnyOrder)
{
    std::mt19937 random(31337);
    const float samples[] = {-2.0f, -1.0f, -0.5f, 0.0f, 0.25f, 0.3f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f,
                             std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    for (int round = 0; round < 3000; ++round) {
        std::vector<EnvelopeKey> keys(1 + random() % 8);
        for (EnvelopeKey& key : keys) key.time = randomTime(random);
        const SpanSearch search(keys);
        for (const float t : samples) {
            ASSERT_EQ(search.find(t), findSpanLinear(keys, t)) << "round " << round << " t " << t;
        }
    }
}

TEST(SpanSearch, EvaluatesToTheBitsOfTheWalk)
{
    std::mt19937 random(4242);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> code(-1, 6);
    for (int round = 0; round < 500; ++round) {
        Envelope envelope;
        envelope.preBehavior = code(random);
        envelope.postBehavior = code(random);
        envelope.keys.resize(2 + random() % 6);
        for (EnvelopeKey& key : envelope.keys) {
            key.value = 10.0f * unit(random);
            key.time = 2.0f * unit(random); // unsorted on purpose
            key.shape = code(random);
            key.tension = unit(random);
            key.params[0] = unit(random);
            key.params[1] = unit(random);
            key.params[2] = unit(random);
        }
        const SpanSearch search(envelope.keys);
        for (int i = 0; i < 30; ++i) {
            const float t = -3.0f + 0.2f * static_cast<float>(i);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(evaluateEnvelope(envelope, t, search)),
                      std::bit_cast<std::uint32_t>(evaluateEnvelope(envelope, t)))
                << "round " << round << " t " << t;
        }
    }
}

} // namespace
} // namespace lwmd5
