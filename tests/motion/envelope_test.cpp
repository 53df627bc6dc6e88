#include "motion/envelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace lwmd5 {
namespace {

EnvelopeKey key(float value, float time, int shape = kLinearShape, std::array<float, 4> params = {},
                std::array<float, 3> tcb = {})
{
    EnvelopeKey k;
    k.value = value;
    k.time = time;
    k.shape = shape;
    std::copy(params.begin(), params.end(), k.params);
    k.tension = tcb[0];
    k.continuity = tcb[1];
    k.bias = tcb[2];
    return k;
}

Envelope envelope(std::vector<EnvelopeKey> keys, int pre = kConstant, int post = kConstant)
{
    Envelope e;
    e.keys = std::move(keys);
    e.preBehavior = pre;
    e.postBehavior = post;
    return e;
}

// The time of frame f at a whole frame rate, as the per-frame stage forms it.
float frameTime(int frame, int fps)
{
    return static_cast<float>(static_cast<double>(static_cast<float>(frame)) / fps);
}

TEST(EnvelopeKeys, NoKeysGiveZeroAndOneKeyGivesItsValueWhateverTheBehaviours)
{
    for (const int behavior : {0, 1, 2, 3, 4, 5, 9}) {
        SCOPED_TRACE(behavior);
        EXPECT_EQ(evaluateEnvelope(envelope({}, behavior, behavior), 3.0f), 0.0f);
        const Envelope single = envelope({key(4.5f, 1.0f, kStepped)}, behavior, behavior);
        for (const float t : {-7.0f, 0.0f, 1.0f, 2.5f, 1e9f}) EXPECT_EQ(evaluateEnvelope(single, t), 4.5f);
    }
}

// Two linear keys: (v0 at t0) and (v1 at t1).
TEST(EnvelopeBehaviors, BeforeAndAfterTheKeys)
{
    struct Case {
        float v0, t0, v1, t1;
        int pre, post;
        float t, expected;
    };
    const Case cases[] = {
        // The unit ramp, 0 at 0 s to 10 at 1 s.
        {0, 0, 10, 1, kConstant, kConstant, 0.25f, 2.5f},
        {0, 0, 10, 1, kConstant, kConstant, 3.0f, 10.0f},
        {0, 0, 10, 1, kConstant, kOffsetRepeat, 1.25f, 12.5f}, // one cycle: 2.5 + 10
        {0, 0, 10, 1, kConstant, kOscillate, 1.25f, 7.5f},     // odd cycle: 0.25 mirrored to 0.75
        {0, 0, 10, 1, kConstant, kLinear, 2.0f, 20.0f},
        {0, 0, 10, 1, kConstant, kRepeat, 1.25f, 2.5f},
        {0, 0, 10, 1, kConstant, kRepeat, 3.75f, 7.5f},
        {0, 0, 10, 1, kConstant, kOscillate, 2.25f, 2.5f},     // even cycle: not mirrored
        {0, 0, 10, 1, kConstant, kOffsetRepeat, 2.0f, 20.0f},  // onto the first key, two cycles
        {0, 0, 10, 1, kRepeat, kConstant, -0.75f, 2.5f},
        {0, 0, 10, 1, kOscillate, kConstant, -0.25f, 2.5f},    // cycle -1 is odd: 0.75 mirrored
        {0, 0, 10, 1, kOffsetRepeat, kConstant, -0.75f, -7.5f},
        {0, 0, 10, 1, kLinear, kConstant, -0.5f, -5.0f},
        // Reset and constant; on the end keys no behaviour applies.
        {2, 0, 12, 1, kReset, kReset, -1.0f, 0.0f},
        {2, 0, 12, 1, kReset, kReset, 2.0f, 0.0f},
        {2, 0, 12, 1, kReset, kReset, 0.0f, 2.0f},
        {2, 0, 12, 1, kReset, kReset, 1.0f, 12.0f},
        {2, 0, 12, 1, kConstant, kConstant, -1.0f, 2.0f},
        {2, 0, 12, 1, kConstant, kConstant, 2.0f, 12.0f},
        // First key after 0: folding adds (t folded into [0, 2)) to 1 s,
        // which is not t folded into [1, 3).
        {0, 1, 20, 3, kConstant, kRepeat, 3.5f, 15.0f},        // 1 + 1.5, not 1.5
        {0, 1, 20, 3, kRepeat, kConstant, 0.5f, 5.0f},         // 1 + 0.5, not 2.5
        {0, 1, 20, 3, kConstant, kRepeat, 7.0f, 10.0f},        // 1 + 1
        {0, 1, 20, 3, kConstant, kOffsetRepeat, 7.0f, 70.0f},  // three cycles
        {0, 1, 20, 3, kOffsetRepeat, kConstant, 0.5f, -15.0f}, // cycle -1
        {0, 1, 20, 3, kConstant, kOscillate, 4.5f, 5.0f},      // 1.5 on cycle 2
        // On cycle 1 the folded 2.5 is mirrored as length - 2.5 = -0.5, before
        // the first key: the first span is extrapolated.
        {0, 1, 20, 3, kConstant, kOscillate, 3.5f, -15.0f},
        // Codes outside the table: before the first key the first span is
        // extrapolated; after the last key they act as constant.
        {0, 1, 10, 2, -1, kConstant, 0.5f, -5.0f},
        {0, 1, 10, 2, 6, kConstant, 0.5f, -5.0f},
        {0, 1, 10, 2, kConstant, -1, 5.0f, 10.0f},
        {0, 1, 10, 2, kConstant, 255, 5.0f, 10.0f},
        // Keys sharing one time fold every time onto it.
        {5, 2, 9, 2, kRepeat, kRepeat, 3.0f, 5.0f},
        {5, 2, 9, 2, kOscillate, kOscillate, -1.0f, 5.0f},
        {5, 2, 9, 2, kOffsetRepeat, kOffsetRepeat, 3.0f, 5.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.v0 << " at " << c.t0 << ", " << c.v1 << " at " << c.t1 << "; pre "
                                          << c.pre << " post " << c.post << " t " << c.t);
        const Envelope e = envelope({key(c.v0, c.t0), key(c.v1, c.t1)}, c.pre, c.post);
        EXPECT_EQ(evaluateEnvelope(e, c.t), c.expected);
    }
}

TEST(EnvelopeBehaviors, LinearOnAZeroLengthEndSpanActsAsConstant)
{
    EXPECT_EQ(evaluateEnvelope(envelope({key(3, 1), key(5, 1), key(10, 2)}, kLinear), 0.0f), 3.0f);
    EXPECT_EQ(evaluateEnvelope(envelope({key(0, 0), key(6, 1), key(8, 1)}, kConstant, kLinear), 2.0f), 8.0f);
}

// Linear behaviour follows the end span's tangent, which for a chain end is
// the tangent without a neighbour. Keys 0 at 0 s and 10 at 2 s, both of the
// given shape and parameters; sampled at -1 s and 3 s.
TEST(EnvelopeTangents, LinearBehaviourFollowsTheEndTangentOfEveryShape)
{
    struct Case {
        int shape;
        float tension;
        std::array<float, 4> params;
        float before, after;
    };
    const Case cases[] = {
        {kLinearShape, 0.0f, {6, 6, 0, 0}, -5.0f, 15.0f},  // d
        {kTcb, 0.5f, {6, 6, 0, 0}, -2.5f, 12.5f},          // (1 - T) d
        {kHermite, 0.0f, {6, 6, 0, 0}, -3.0f, 13.0f},      // params 1 out, params 0 in
        {kBezier1D, 0.0f, {6, 6, 0, 0}, -3.0f, 13.0f},
        {kStepped, 0.0f, {6, 6, 0, 0}, 0.0f, 10.0f},       // flat
        {kBezier2D, 0.0f, {0.5f, 1, 0.5f, 0}, 0.0f, 12.0f}, // params 3 is 0 as read: flat before
        {kBezier2D, 0.0f, {0.5f, 1, 0.5f, 1}, -2.0f, 12.0f}, // (2 s x 1) / 0.5
        {7, 0.0f, {6, 6, 0, 0}, 0.0f, 10.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "shape " << c.shape << " params3 " << c.params[3]);
        const std::array<float, 3> tcb = {c.tension, 0, 0};
        const Envelope e = envelope({key(0, 0, c.shape, c.params, tcb), key(10, 2, c.shape, c.params, tcb)},
                                    kLinear, kLinear);
        EXPECT_EQ(evaluateEnvelope(e, -1.0f), c.before);
        EXPECT_EQ(evaluateEnvelope(e, 3.0f), c.after);
    }
}

// The span from B (10 at 1 s) to C (20 at 2 s) sampled at 1.5 s (u = 0.5:
// h1 = h2 = 0.5, h3 = 0.125, h4 = -0.125), once inside the chain A (4 at 0 s),
// B, C, D (40 at 3 s), where both neighbours scale the tangents by 0.5, and
// once with B and C alone.
TEST(EnvelopeTangents, HermiteFormSpansWithAndWithoutNeighbours)
{
    struct Case {
        const char* name;
        EnvelopeKey b, c;
        float inChain, alone;
    };
    const Case cases[] = {
        // out = s x 8, in = s x 4.
        {"hermite", key(10, 1, kHermite, {0, 8}), key(20, 2, kHermite, {4, 0}), 15.25f, 15.5f},
        {"bezier1d", key(10, 1, kBezier1D, {0, 8}), key(20, 2, kBezier1D, {4, 0}), 15.25f, 15.5f},
        // T 0.5, C 0.5: out a 0.75, b 0.25; in a 0.25, b 0.75.
        {"tcb tension continuity", key(10, 1, kTcb, {}, {0.5f, 0.5f, 0}), key(20, 2, kTcb, {}, {0.5f, 0.5f, 0}),
         14.34375f, 15.0f},
        // B 0.5: out a 1.5, b 0.5; in a 1.5, b 0.5.
        {"tcb bias", key(10, 1, kTcb, {}, {0, 0, 0.5f}), key(20, 2, kTcb, {}, {0, 0, 0.5f}), 14.3125f, 13.75f},
        // Linear out: s (B - A + d) = 8 in the chain, d = 10 alone; in = 0.
        {"linear out", key(10, 1, kLinearShape), key(20, 2, kHermite), 16.0f, 16.25f},
        // Stepped out is 0; in = s x 4.
        {"stepped out", key(10, 1, kStepped), key(20, 2, kHermite, {4, 0}), 14.75f, 14.5f},
        // 2D-Bezier out: (1 s x params 3) / params 2 = 4, no neighbour factor.
        {"bezier2d out", key(10, 1, kBezier2D, {0, 0, 0.5f, 2}), key(20, 2, kHermite, {4, 0}), 15.25f, 15.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(evaluateEnvelope(envelope({key(4, 0), c.b, c.c, key(40, 3)}), 1.5f), c.inChain);
        EXPECT_EQ(evaluateEnvelope(envelope({c.b, c.c}), 1.5f), c.alone);
    }
}

// A handle parameter of exactly 0.00001 is not above the threshold, so the
// tangent is q x 100000; just above it, q / parameter.
TEST(EnvelopeTangents, BezierHandleAtTheThresholdTakesTheMultiplication)
{
    const float threshold = 0.00001f;
    const float above = std::nextafter(threshold, 1.0f);
    // Incoming, through linear behaviour after keys 0 at 0 s and 10 at 2 s: q = 2 x 1.
    auto after = [](float p0) {
        return evaluateEnvelope(envelope({key(0, 0), key(10, 2, kBezier2D, {p0, 1})}, kConstant, kLinear), 3.0f);
    };
    EXPECT_EQ(after(threshold), 100010.0f);
    EXPECT_EQ(after(-threshold), 100010.0f);
    EXPECT_EQ(after(above), static_cast<float>(10.0 + static_cast<float>(2.0 / above) / 2.0));
    EXPECT_NE(after(above), 100010.0f);
    // Outgoing, inside a Hermite span (q = 1 s x 2): out = 200000 adds 0.125 x 200000.
    auto inside = [](float p2) {
        return evaluateEnvelope(
            envelope({key(4, 0), key(10, 1, kBezier2D, {0, 0, p2, 2}), key(20, 2, kHermite, {4, 0}), key(40, 3)}),
            1.5f);
    };
    EXPECT_EQ(inside(threshold), 25014.75f);
    EXPECT_NE(inside(above), 25014.75f);
}

TEST(EnvelopeSpans, SteppedHoldsTheStartValueUpToButNotIncludingTheEnd)
{
    const Envelope e = envelope({key(3, 0), key(7, 1, kStepped), key(9, 2, kStepped)});
    EXPECT_EQ(evaluateEnvelope(e, 0.5f), 3.0f);
    EXPECT_EQ(evaluateEnvelope(e, std::nextafter(1.0f, 0.0f)), 3.0f);
    EXPECT_EQ(evaluateEnvelope(e, 1.0f), 7.0f);
    EXPECT_EQ(evaluateEnvelope(e, 1.5f), 7.0f);
}

TEST(EnvelopeSpans, EqualKeyTimes)
{
    const Envelope e = envelope({key(0, 0), key(4, 1), key(8, 1), key(10, 2)});
    EXPECT_EQ(evaluateEnvelope(e, 1.0f), 4.0f);  // the earlier key
    EXPECT_EQ(evaluateEnvelope(e, 1.5f), 9.0f);  // the span from the later key
    EXPECT_EQ(evaluateEnvelope(e, 0.5f), 2.0f);
}

// Keys 0 at 0 s and 8 at 3 s; the end key's handles are (-1, 4), so x2 = 2.
// With the start key's time handle 1, time runs linearly (x = 3 s).
TEST(EnvelopeSpans, TwoDimensionalBezier)
{
    const EnvelopeKey end = key(8, 3, kBezier2D, {-1, 4});
    struct Case {
        const char* name;
        EnvelopeKey start;
        float t, expected;
    };
    const Case cases[] = {
        // y handles 0, 12: cubic (0, 0, 12, 8).
        {"2d start, midpoint", key(0, 0, kBezier2D, {0, 0, 1, 0}), 1.5f, 5.5f},
        {"2d start, second halving", key(0, 0, kBezier2D, {0, 0, 1, 0}), 0.75f, 1.8125f},
        {"2d start, value handle", key(0, 0, kBezier2D, {0, 0, 1, 2}), 1.5f, 6.25f},
        // Handles from one third: x1 = 3 x 0.33333334 = 1, y1 = 6 x 0.33333334 = 2.
        {"hermite start", key(0, 0, kHermite, {0, 6}), 1.5f, 6.25f},
        // y1 = 7.2 x 0.33333334 rounds to 2.4000001; 7.2 / 3 would give
        // 2.3999999 and the value 6.4000001.
        {"one third is a factor", key(0, 0, kHermite, {0, 7.2f}), 1.5f, 6.3999996185302734f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(evaluateEnvelope(envelope({c.start, end}), c.t), c.expected);
    }
}

// Before the first key with an unknown code, the bisection never meets its
// tolerance (every midpoint lies after t): it stops after 64 halvings at
// s = 2^-64, where the value cubic (0, 2, 12, 8) is 3 x 2 x 2^-64.
TEST(EnvelopeSpans, BezierBisectionStopsAfterSixtyFourHalvings)
{
    const Envelope e = envelope({key(0, 0, kHermite, {0, 6}), key(8, 3, kBezier2D, {-1, 4})}, 7, kConstant);
    EXPECT_EQ(evaluateEnvelope(e, -10.0f), std::ldexp(6.0f, -64));
}

// A span of 3e9 s: single precision spaces times 64 s apart there, so the
// tolerance of 0.0001 s cannot be met at 1e9 + 64 s; halving stops changing the
// interval, and the value is still the curve's near t.
TEST(EnvelopeSpans, BezierSpanTooLongForSinglePrecisionStillReturns)
{
    const Envelope e = envelope({key(0, 0, kBezier2D, {0, 0, 1e9f, 0}), key(30, 3e9f, kBezier2D, {-1e9f, -10})});
    const float t = 1e9f + 64.0f;
    const double s = static_cast<double>(t) / 3e9; // time runs linearly
    const double expected = -30.0 * s * s * s + 60.0 * s * s; // cubic (0, 0, 20, 30)
    EXPECT_NEAR(evaluateEnvelope(e, t), expected, 1e-5);
}

TEST(EnvelopeFolding, WrapTimeFormulaAndCycleCounts)
{
    struct Case {
        float v, lo, hi, folded;
        double cycles;
    };
    const Case cases[] = {
        {1.25f, 0, 1, 0.25f, 1},   {2.0f, 0, 1, 0.0f, 2},     {-0.25f, 0, 1, 0.75f, -1},
        {-1.0f, 0, 1, 0.0f, -1},   {-2.5f, 0, 1, 0.5f, -3},   {3.5f, 1, 3, 2.5f, 1},
        {0.5f, 1, 3, 1.5f, -1},    {7.0f, 1, 3, 2.0f, 3},     {-3.5f, -1, 1, -0.5f, -2},
        {5.0f, 2, 2, 2.0f, 0},     {-5.0f, 2, 2, 2.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.v << " in [" << c.lo << ", " << c.hi << "]");
        const WrappedTime w = wrapTime(c.v, c.lo, c.hi);
        EXPECT_EQ(w.time, c.folded);
        EXPECT_EQ(w.cycles, c.cycles);
    }
}

// Samples at frame times where one rounding of a named value decides which
// key's value comes out.
TEST(EnvelopeFolding, SinglePrecisionRoundingDecidesOnCycleBoundaries)
{
    // r = 0.25 - 0.1 rounded to single precision is 0.15000001, so 0.75 s
    // (frame 18 at 24 fps) is 4.9999998 lengths: floor 4, folded time
    // 0.85 - 0.6 = 0.25, the last key. The unrounded length gives floor 5 and
    // the first key's value.
    const std::vector<EnvelopeKey> ramp = {key(0, 0.1f), key(10, 0.25f)};
    EXPECT_EQ(frameTime(18, 24), 0.75f);
    EXPECT_EQ(evaluateEnvelope(envelope(ramp, kConstant, kRepeat), frameTime(18, 24)), 10.0f);
    EXPECT_EQ(evaluateEnvelope(envelope(ramp, kConstant, kOffsetRepeat), frameTime(18, 24)), 40.0f);
    EXPECT_EQ(wrapTime(0.75f, 0.1f, 0.25f).cycles, 3.0);

    // 0.45 + 0.1 (frame 3 at 30 fps) rounds up to 0.55000001 before the
    // length is taken off, which lands exactly on the stepped key at 0.5;
    // in double the time stays just before it.
    const std::vector<EnvelopeKey> step45 = {key(0, 0.45f), key(10, 0.5f, kStepped)};
    EXPECT_EQ(evaluateEnvelope(envelope(step45, kRepeat, kConstant), frameTime(3, 30)), 10.0f);

    // Frame -3 at 30 fps folds to 0.24999999 in double, which single
    // precision stores as 0.25: the stepped span's end.
    const std::vector<EnvelopeKey> step20 = {key(0, 0.2f), key(10, 0.25f, kStepped)};
    EXPECT_EQ(evaluateEnvelope(envelope(step20, kRepeat, kConstant), frameTime(-3, 30)), 10.0f);
    EXPECT_EQ(evaluateEnvelope(envelope(step20, kRepeat, kConstant), frameTime(-2, 30)), 0.0f);
}

// 0.25 s folded into keys at 0.05 and 0.1 s comes out as 0.10000001, past the
// last key; it is held there instead of extrapolating the span.
TEST(EnvelopeFolding, FoldedTimePastTheLastKeyIsClamped)
{
    EXPECT_GT(wrapTime(0.25f, 0.05f, 0.1f).time, 0.1f);
    EXPECT_EQ(evaluateEnvelope(envelope({key(0, 0.05f), key(10, 0.1f)}, kConstant, kRepeat), frameTime(6, 24)),
              10.0f);
}

} // namespace
} // namespace lwmd5
