#include "motion/envelope.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>

namespace lwmd5 {
namespace {

// Shape and behaviour codes as a scene file writes them.
constexpr int kTcb = static_cast<int>(KeyShape::Tcb), kHermite = static_cast<int>(KeyShape::Hermite),
              kBezier1D = static_cast<int>(KeyShape::Bezier1D), kStepped = static_cast<int>(KeyShape::Stepped),
              kBezier2D = static_cast<int>(KeyShape::Bezier2D);
constexpr int kReset = static_cast<int>(Behavior::Reset), kConstant = static_cast<int>(Behavior::Constant),
              kRepeat = static_cast<int>(Behavior::Repeat), kOscillate = static_cast<int>(Behavior::Oscillate),
              kOffsetRepeat = static_cast<int>(Behavior::OffsetRepeat), kLinear = static_cast<int>(Behavior::Linear);

// The time of frame f at a whole frame rate, as the per-frame stage forms it.
float frameTime(int frame, int fps) { return static_cast<float>(frame / static_cast<double>(fps)); }

TEST(Envelope, ValuesAtKeysSpansAndBeyondTheKeys)
{
    constexpr int kL = static_cast<int>(KeyShape::Linear);
    const std::vector<EnvelopeKey> ramp = {{0, 0, kL}, {10, 1, kL}};
    const std::vector<EnvelopeKey> late = {{0, 1, kL}, {20, 3, kL}};
    const std::vector<EnvelopeKey> twin = {{0, 0, kL}, {4, 1, kL}, {8, 1, kL}, {10, 2, kL}};
    const std::vector<EnvelopeKey> tcb = {{0, 0}, {1, 1, kTcb, 0, 0.5f}, {3, 2}};
    // Keys (value, time, shape), the behaviours before and after them, a time and the value there.
    const std::tuple<const char*, std::vector<EnvelopeKey>, int, int, float, float> cases[] = {
        {"no keys", {}, kConstant, kConstant, 3, 0},
        {"one key, whatever the behaviour", {{4.5f, 1, kStepped}}, kReset, kReset, 9, 4.5f},
        {"inside", ramp, kConstant, kConstant, 0.25f, 2.5f},
        {"constant after", ramp, kConstant, kConstant, 3, 10},
        {"offset repeat: one cycle", ramp, kConstant, kOffsetRepeat, 1.25f, 12.5f},
        {"oscillate: odd cycle mirrored", ramp, kConstant, kOscillate, 1.25f, 7.5f},
        {"linear after", ramp, kConstant, kLinear, 2, 20},
        {"oscillate before: cycle -1 is odd", ramp, kOscillate, kConstant, -0.25f, 2.5f},
        {"linear before", ramp, kLinear, kConstant, -0.5f, -5},
        {"reset after", ramp, kConstant, kReset, 2, 0},
        // -0.75 folds to 0.25 on cycle -1: 2.5 - 10.
        {"offset repeat before", ramp, kOffsetRepeat, kConstant, -0.75f, -7.5f},
        // Every time folds onto the one key time, where the first key holds.
        {"repeat over keys of one time", {{2, 1, kL}, {5, 1, kL}}, kRepeat, kRepeat, 3, 2},
        // At u = 1/2, h1 = h2 = 1/2, h3 = 1/8, h4 = -1/8. The first span has no key before it: out = b d = 1;
        // key 1's continuity 0.5 gives a = 0.5, b = 1.5 and s = 1/2: in = (1.5 x 2 + 0.5 x 1) / 2 = 1.75.
        {"TCB, first span", tcb, kConstant, kConstant, 0.5f, 0.5f + 0.125f - 0.125f * 1.75f},
        // Out of key 1 with a = 1.5, b = 0.5 and s = 1/2: (1.5 x 1 + 0.5 x 2) / 2 = 1.25; the last key has
        // nothing after it: in = a d = 2.
        {"TCB, last span", tcb, kConstant, kConstant, 1.5f, 0.5f + 1.5f + 0.125f * 1.25f - 0.125f * 2},
        // Tangents as given at the chain's ends; scaled by s = 1/2 where a key lies beyond.
        {"Hermite", {{0, 0, kHermite, 0, 0, 0, {0, 2}}, {1, 1, kHermite, 0, 0, 0, {4}}}, 1, 1, 0.5f, 0.25f},
        {"1D Bezier", {{0, 0, kBezier1D, 0, 0, 0, {0, 2}}, {1, 1, kBezier1D, 0, 0, 0, {4}}, {0, 2, kL}}, 1, 1, 0.5f,
         0.5f},
        {"no behaviour on the last key", ramp, kReset, kReset, 1, 10},
        // Folding adds t folded into [0, 2) to the first time, which is not t folded into [1, 3).
        {"first key after 0: repeat", late, kConstant, kRepeat, 3.5f, 15},
        {"first key after 0: repeat before", late, kRepeat, kConstant, 0.5f, 5},
        // 2.5 on cycle 1 is mirrored to -0.5, before the first key: the first span is extrapolated.
        {"first key after 0: oscillate", late, kConstant, kOscillate, 3.5f, -15},
        {"unknown code before: the first span extrapolated", late, -1, kConstant, 0.5f, -5},
        {"unknown code after: constant", late, kConstant, 255, 5, 20},
        {"equal key times: the earlier key", twin, 1, 1, 1, 4},
        {"equal key times: the later span", twin, 1, 1, 1.5f, 9},
        {"stepped up to its end", {{3, 0, kL}, {7, 1, kStepped}}, 1, 1, std::nextafter(1.0f, 0.0f), 3},
        {"stepped at its end", {{3, 0, kL}, {7, 1, kStepped}}, 1, 1, 1, 7},
        {"linear on a zero-length span after", {{0, 0, kL}, {6, 1, kL}, {8, 1, kL}}, kConstant, kLinear, 2, 8},
        {"linear on a zero-length span before", {{3, 1, kL}, {5, 1, kL}, {10, 2, kL}}, kLinear, kConstant, 0, 3},
        // 0.25 folded into keys at 0.05 and 0.1 comes out as 0.10000001 and is held on the last key.
        {"folded past the last key", {{0, 0.05f, kL}, {10, 0.1f, kL}}, kConstant, kRepeat, frameTime(6, 24), 10},
        // r = 0.25 - 0.1 is 0.15000001 in float: 0.75 s is 4.9999998 lengths, so it folds onto the last key.
        {"length in float", {{0, 0.1f, kL}, {10, 0.25f, kL}}, kConstant, kRepeat, frameTime(18, 24), 10},
        // 0.45 + 0.1 rounds up to 0.55000001 first, which folds exactly onto the stepped key at 0.5.
        {"first time plus t in float", {{0, 0.45f, kL}, {10, 0.5f, kStepped}}, kRepeat, 1, frameTime(3, 30), 10},
        // Frame -3 folds to 0.24999999 in double, stored as 0.25, the stepped span's end.
        {"folded time in float", {{0, 0.2f, kL}, {10, 0.25f, kStepped}}, kRepeat, 1, frameTime(-3, 30), 10},
        {"folded time in float, a frame on", {{0, 0.2f, kL}, {10, 0.25f, kStepped}}, kRepeat, 1, frameTime(-2, 30), 0},
        // Handles from one third: y1 = 7.2 x 0.33333334 rounds to 2.4000001, where 7.2 / 3 gives 2.3999999.
        {"one third is a factor", {{0, 0, kHermite, 0, 0, 0, {0, 7.2f}}, {8, 3, kBezier2D, 0, 0, 0, {-1, 4}}}, 1, 1,
         1.5f, 6.3999996185302734f},
        // Before the first key with an unknown code every midpoint lies after t: the bisection stops after 64
        // halvings at s = 2^-64, where the value cubic (0, 2, 12, 8) is 3 x 2 x 2^-64.
        {"bisection bound", {{0, 0, kHermite, 0, 0, 0, {0, 6}}, {8, 3, kBezier2D, 0, 0, 0, {-1, 4}}}, 7, 1, -10,
         std::ldexp(6.0f, -64)},
    };
    for (const auto& [name, keys, pre, post, t, expected] : cases) {
        // The per-frame stage finds the span by a search, which must agree with the walk from the first key.
        const Envelope envelope{keys, pre, post};
        const std::array got{evaluateEnvelope(envelope, t), evaluateEnvelope(envelope, t, SpanSearch(keys))};
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(std::array{expected, expected}))
            << name << ": " << got[0] << ", " << got[1];
    }
}

// The search bisects the running latest key time: for keys in any order, with equal, infinite and not-a-number
// times, it finds the span the walk finds.
TEST(Envelope, SpanSearchFindsTheWalksSpan)
{
    const float times[] = {-1, 0, 0.5f, 0.5f, 1, 2, INFINITY, -INFINITY, NAN};
    std::mt19937 random(4242);
    for (int round = 0; round < 3000; ++round) {
        std::vector<EnvelopeKey> keys(1 + random() % 8);
        for (EnvelopeKey& key : keys) key.time = times[random() % std::size(times)];
        const SpanSearch search(keys);
        for (const float t : {-3.0f, -1.0f, -0.5f, 0.0f, 0.25f, 0.5f, 1.0f, 1.5f, 3.0f, INFINITY, -INFINITY, NAN}) {
            ASSERT_EQ(search.find(t), findSpanLinear(keys, t)) << "round " << round << " t " << t;
        }
    }
}

} // namespace
} // namespace lwmd5
