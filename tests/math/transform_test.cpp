#include "math/bounds.h"
#include "math/transform.h"
#include "math/vec3.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace lwmd5 {
namespace {

// cos 90 and sin 180 as the rounded angle gives them.
constexpr float kCos90 = -4.371139e-8f;
constexpr float kSin180 = -8.742278e-8f;
constexpr float kHalfSqrt2 = 0.70710683f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// Bit patterns, so that -0 and +0 differ.
void expectSame(float actual, float expected, const std::string& what)
{
    EXPECT_EQ(bits(actual), bits(expected)) << what << ": " << actual << " instead of " << expected;
}

using Rows = std::array<float, 9>;

Transform fromRows(const Rows& rows, Vec3 t = {})
{
    Transform m;
    for (int i = 0; i < 9; ++i) m.m[i / 3][i % 3] = rows[static_cast<std::size_t>(i)];
    m.t = t;
    return m;
}

void expectRows(const Transform& m, const Rows& expected)
{
    for (int i = 0; i < 9; ++i) {
        expectSame(m.m[i / 3][i % 3], expected[static_cast<std::size_t>(i)],
                   "m" + std::to_string(i / 3) + std::to_string(i % 3));
    }
}

void expectVec(const Vec3& v, const Vec3& expected)
{
    expectSame(v.x, expected.x, "x");
    expectSame(v.y, expected.y, "y");
    expectSame(v.z, expected.z, "z");
}

void expectQuat(const Quat& q, const Quat& expected)
{
    expectSame(q.x, expected.x, "x");
    expectSame(q.y, expected.y, "y");
    expectSame(q.z, expected.z, "z");
    expectSame(q.w, expected.w, "w");
}

TEST(AxisRotations, AngleRoundedToFloatGivesTheseRowsAndImages)
{
    struct Case {
        const char* name;
        void (*rotation)(float, Transform&);
        float degrees;
        Rows rows;
        Vec3 point;
        Vec3 image;
    };
    const Case cases[] = {
        {"x 90: +y to +z", rotationX, 90.0f, {1, 0, 0, 0, kCos90, 1, 0, -1, kCos90}, {0, 1, 0}, {0, kCos90, 1}},
        {"y 90: +z to +x", rotationY, 90.0f, {kCos90, 0, -1, 0, 1, 0, 1, 0, kCos90}, {0, 0, 1}, {1, 0, kCos90}},
        {"z 90: +x to +y", rotationZ, 90.0f, {kCos90, 1, 0, -1, kCos90, 0, 0, 0, 1}, {1, 0, 0}, {kCos90, 1, 0}},
        {"z 180", rotationZ, 180.0f, {-1, kSin180, 0, -kSin180, -1, 0, 0, 0, 1}, {1, 0, 0}, {-1, kSin180, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transform m;
        m.t = {5, 6, 7};
        c.rotation(c.degrees, m);
        expectRows(m, c.rows);
        expectVec(m.t, {0, 0, 0});
        Vec3 image;
        transformPoint(c.point, m, image);
        expectVec(image, c.image);
    }
}

TEST(AxisRotations, HeadingPitchBankTurnsByBankThenPitchThenHeading)
{
    // Bank takes +x to +y, pitch +y to +z, heading +z back to +x: row 0 stays
    // +x. Any other order of the three turns moves it.
    Transform m;
    headingPitchBankRotation(90.0f, 90.0f, 90.0f, m);
    const float tiny = 1.9106855e-15f; // kCos90 squared
    expectRows(m, {1, kCos90, 0, 0, tiny, 1, kCos90, -1, tiny});
}

TEST(MultiplyTransforms, AppliesTheFirstOperandFirst)
{
    Transform shift;
    Transform turn;
    translationTransform({1, 0, 0}, shift);
    rotationZ(90.0f, turn);
    const Rows turnRows = {kCos90, 1, 0, -1, kCos90, 0, 0, 0, 1};

    Transform shiftThenTurn;
    multiplyTransforms(shift, turn, shiftThenTurn);
    expectRows(shiftThenTurn, turnRows);
    expectVec(shiftThenTurn.t, {kCos90, 1, 0});

    Transform turnThenShift;
    multiplyTransforms(turn, shift, turnThenShift);
    expectRows(turnThenShift, turnRows);
    expectVec(turnThenShift.t, {1, 0, 0});
}

TEST(InvertTransform, TransposesTheRotationAndCarriesTheNegatedTranslationThroughIt)
{
    Transform shift;
    translationTransform({1, 2, 3}, shift);
    Transform inverse;
    invertTransform(shift, inverse);
    expectRows(inverse, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    expectVec(inverse.t, {-1, -2, -3});

    // Turn by 90 about z, then move by (1, 0, 0). The z of the inverse's
    // translation is a negated 0.
    Transform turnShift = fromRows({kCos90, 1, 0, -1, kCos90, 0, 0, 0, 1}, {1, 0, 0});
    invertTransform(turnShift, inverse);
    expectRows(inverse, {kCos90, -1, 0, 1, kCos90, 0, 0, 0, 1});
    expectVec(inverse.t, {-kCos90, 1, -0.0f});
}

// Each input is chosen so that rounding every product and partial sum to
// float would lose the last bit that the one rounding at the end keeps.
TEST(DoublePrecision, EachResultIsRoundedOnceWhereItIsStored)
{
    const float e24 = std::ldexp(1.0f, -24);
    const float e23 = std::ldexp(1.0f, -23);
    const float e12 = std::ldexp(1.0f, -12);

    Vec3 out;
    transformPoint({1, 1, 0}, fromRows({1, 0, 0, e24, 1, 0, 0, 0, 1}, {e24, 0, 0}), out);
    expectSame(out.x, 1 + e23, "transformPoint: 1 + 2^-24 + 2^-24");

    Transform product;
    multiplyTransforms(fromRows({1, e24, e24, 0, 1, 0, 0, 0, 1}, {1, e24, 0}),
                       fromRows({1, 0, 0, 1, 1, 0, 1, 0, 1}, {e24, 0, 0}), product);
    expectSame(product.m[0][0], 1 + e23, "multiplyTransforms rotation");
    expectSame(product.t.x, 1 + e23, "multiplyTransforms translation");

    Transform inverse;
    invertTransform(fromRows({1, 1, 1, 0, 1, 0, 0, 0, 1}, {1, e24, e24}), inverse);
    expectSame(inverse.t.x, -(1 + e23), "invertTransform translation");

    // (1 + 2^-22 + 2^-46) + 2^-24 is above the tie; without the 2^-46 it is a
    // tie that rounds down.
    crossProduct({0, 1 + e23, e12}, {0, -e12, 1 + e23}, out);
    expectSame(out.x, 1 + 3 * e23, "crossProduct");

    // The squared length, its root and the factor are each stored as float.
    Quat q{0, 2, 3, 3};
    normalizeQuat(q);
    expectSame(q.z, 0.6396022f, "normalizeQuat");
}

TEST(ToMd5Rotation, MakesRowsRightHandedThenMirrorsInZ)
{
    const float e30 = std::ldexp(1.0f, -30);
    const float c30 = 0.8660254f;
    struct Case {
        const char* name;
        Rows in;
        Rows out;
    };
    const Case cases[] = {
        {"left-handed rows: row 2 negated, ends as identity",
         {1, 0, 0, 0, 1, 0, 0, 0, -1},
         {1, 0, -0.0f, 0, 1, -0.0f, 0, 0, 1}},
        {"rotationY 30 becomes rotationY -30", {c30, 0, -0.5f, 0, 1, 0, 0.5f, 0, c30},
         {c30, 0, 0.5f, 0, 1, -0.0f, -0.5f, -0.0f, c30}},
        {"rotationZ 30 keeps its values", {c30, 0.5f, 0, -0.5f, c30, 0, 0, 0, 1},
         {c30, 0.5f, -0.0f, -0.5f, c30, -0.0f, -0.0f, -0.0f, 1}},
        {"not a number counts as left-handed", {1, 0, 0, 0, 1, 0, kNaN, 0, 1}, {1, 0, -0.0f, 0, 1, -0.0f, kNaN, 0, -1}},
        {"a zero row 2 is negated", {1, 0, 0, 0, 1, 0, 0, 0, 0}, {1, 0, -0.0f, 0, 1, -0.0f, 0, 0, -0.0f}},
        // cross(row 0, row 1) = (1, 2^-30, 1); the dot summed x, z, y is
        // 2^-60 > 0, summed x, y, z it would be 0 and negate row 2.
        {"dot product summed x, z, y", {-e30, 1, 0, -1, 0, 1, 1, e30, -1}, {-e30, 1, -0.0f, -1, 0, -1, -1, -e30, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transform m = fromRows(c.in, {1, -0.0f, 3});
        toMd5Rotation(m);
        expectRows(m, c.out);
        expectVec(m.t, {1, -0.0f, 3});
    }

    Transform y30;
    Transform yMinus30;
    rotationY(30.0f, y30);
    rotationY(-30.0f, yMinus30);
    toMd5Rotation(y30);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(y30.m[i / 3][i % 3], yMinus30.m[i / 3][i % 3]) << i;
}

TEST(NormalizeQuat, ScalesToUnitLengthUnlessTheLengthIsNotPositive)
{
    struct Case {
        Quat in;
        Quat out;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{0, 0, 0, 2}, {0, 0, 0, 1}},
        {{-0.0f, 0, 0, 2}, {-0.0f, 0, 0, 1}},
        {{0, 2, 3, 3}, {0, 0.42640144f, 0.6396022f, 0.6396022f}},
        {{kNaN, 0, 0, 2}, {kNaN, 0, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.in.x << " " << c.in.y << " " << c.in.z << " " << c.in.w);
        Quat q = c.in;
        normalizeQuat(q);
        expectQuat(q, c.out);
    }
}

TEST(TransformToQuat, TraceBranchAndAxisBranchesWithTiesKeepingTheLowerAxis)
{
    auto rotation = [](void (*make)(float, Transform&), float degrees) {
        Transform m;
        make(degrees, m);
        return m;
    };
    struct Case {
        const char* name;
        Transform m;
        Quat q;
    };
    const Case cases[] = {
        {"identity", fromRows({1, 0, 0, 0, 1, 0, 0, 0, 1}), {0, 0, 0, 1}},
        {"x 90", rotation(rotationX, 90), {-kHalfSqrt2, 0, 0, kHalfSqrt2}},
        {"y 90", rotation(rotationY, 90), {0, -kHalfSqrt2, 0, kHalfSqrt2}},
        {"z 90: m10 - m01 in z", rotation(rotationZ, 90), {0, 0, -kHalfSqrt2, kHalfSqrt2}},
        {"x 180: axis 0", rotation(rotationX, 180), {1, 0, 0, 4.371139e-8f}},
        {"y 180: axis 1", rotation(rotationY, 180), {0, 1, 0, 4.371139e-8f}},
        {"z 180: axis 2", rotation(rotationZ, 180), {0, 0, 1, 4.371139e-8f}},
        // Trace exactly 0 is not greater than 0; the trace branch would give
        // (-0.5, -0.5, -0.5, 0.5).
        {"trace 0 takes the axis branch", fromRows({0, 1, 0, 0, 0, 1, 1, 0, 0}), {0.5f, 0.5f, 0.5f, -0.5f}},
        // 180 degrees about (1, -1, 0): m11 equals m00, axis 0 stays; axis 1
        // would flip both signs.
        {"tie of m11 with m00", fromRows({0, -1, 0, -1, 0, 0, 0, 0, -1}), {kHalfSqrt2, -kHalfSqrt2, 0, 0}},
        // 180 degrees about (1, 0, -1): m22 equals m00.
        {"tie of m22 with m00", fromRows({0, 0, -1, 0, -1, 0, -1, 0, 0}), {kHalfSqrt2, 0, -kHalfSqrt2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Quat q{9, 9, 9, 9};
        transformToQuat(q, c.m);
        expectQuat(q, c.q);
    }
}

TEST(Bounds, StartEmptyAndGrowOnlyByStrictComparison)
{
    Vec3 min;
    Vec3 max;
    resetBounds(min, max);
    expectVec(min, {99999, 99999, 99999});
    expectVec(max, {-99999, -99999, -99999});

    extendBounds({1, 2, 3}, min, max);
    expectVec(min, {1, 2, 3});
    expectVec(max, {1, 2, 3});

    extendBounds({kNaN, 5, 0}, min, max);
    extendBounds({kNaN, kNaN, kNaN}, min, max);
    expectVec(min, {1, 2, 0});
    expectVec(max, {1, 5, 3});

    // -0 is neither less nor greater than +0: the stored zeros keep their sign.
    Vec3 zeroMin{0, 0, 0};
    Vec3 zeroMax{-0.0f, -0.0f, -0.0f};
    extendBounds({-0.0f, 0, -0.0f}, zeroMin, zeroMax);
    expectVec(zeroMin, {0, 0, 0});
    expectVec(zeroMax, {-0.0f, -0.0f, -0.0f});
}

} // namespace
} // namespace lwmd5
