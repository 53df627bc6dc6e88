#include "math/bounds.h"
#include "math/transform.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <tuple>

namespace lwmd5 {
namespace {

using Bits = std::vector<std::uint32_t>;

// The bit patterns of a value made of floats: -0 differs from +0, and a NaN matches a NaN.
template <typename T>
Bits bits(const T& value)
{
    const auto patterns = std::bit_cast<std::array<std::uint32_t, sizeof(T) / 4>>(value);
    return Bits(patterns.begin(), patterns.end());
}

// The rotation rows m00 to m22, then the translation.
Transform matrix(const std::array<float, 12>& values) { return std::bit_cast<Transform>(values); }
Bits m(const std::array<float, 12>& values) { return bits(values); }
Bits q(float x, float y, float z, float w) { return bits(Quat{x, y, z, w}); }

// The bits of what `routine` writes into its last argument.
template <typename Out, typename Routine, typename... In>
Bits run(Routine routine, const In&... in)
{
    Out out{};
    routine(in..., out);
    return bits(out);
}

void toQuat(const Transform& in, Quat& out) { transformToQuat(out, in); }
void toMd5(const Transform& in, Transform& out) { toMd5Rotation(out = in); }
void normalized(const Quat& in, Quat& out) { normalizeQuat(out = in); }

TEST(GeometryMath, DocumentedValuesBitForBit)
{
    // cos 90 and sin 180 as the angle rounded to float gives them.
    const float c = -4.371139e-8f, s = -8.742278e-8f, h = 0.70710683f, nan = NAN;
    const Transform x90 = matrix({1, 0, 0, 0, c, 1, 0, -1, c});
    const Transform y90 = matrix({c, 0, -1, 0, 1, 0, 1, 0, c});
    const Transform z90 = matrix({c, 1, 0, -1, c, 0, 0, 0, 1});
    const float c30 = 0.8660254f, e30 = std::ldexp(1.0f, -30);
    const std::tuple<const char*, Bits, Bits> cases[] = {
        {"x 90", run<Transform>(rotationX, 90.0f), bits(x90)},
        {"y 90", run<Transform>(rotationY, 90.0f), bits(y90)},
        {"z 90", run<Transform>(rotationZ, 90.0f), bits(z90)},
        {"x 180", run<Transform>(rotationX, 180.0f), m({1, 0, 0, 0, -1, s, 0, -s, -1})},
        // pi as a float and the angle stored as float: sin would be 0.29237169 otherwise.
        {"z 17", run<Transform>(rotationZ, 17.0f),
         m({0.956304729f, 0.29237172f, 0, -0.29237172f, 0.956304729f, 0, 0, 0, 1})},
        {"y 90 takes +z to +x", run<Vec3>(transformPoint, Vec3{0, 0, 1}, y90), bits(Vec3{1, 0, c})},
        // Bank takes +x to +y, pitch +y to +z, heading +z back to +x; in no other order does +x stay.
        {"heading pitch bank", run<Transform>(headingPitchBankRotation, 90.0f, 90.0f, 90.0f),
         m({1, c, 0, 0, c * c, 1, c, -1, c * c})},
        {"translate, then turn", run<Transform>(multiplyTransforms, matrix({1, 0, 0, 0, 1, 0, 0, 0, 1, 1}), z90),
         m({c, 1, 0, -1, c, 0, 0, 0, 1, c, 1, 0})},
        {"turn, then translate", run<Transform>(multiplyTransforms, z90, matrix({1, 0, 0, 0, 1, 0, 0, 0, 1, 1})),
         m({c, 1, 0, -1, c, 0, 0, 0, 1, 1, 0, 0})},
        {"inverse turn", run<Transform>(invertTransform, matrix({c, 1, 0, -1, c, 0, 0, 0, 1, 1})),
         m({c, -1, 0, 1, c, 0, 0, 0, 1, -c, 1, -0.0f})},
        {"md5: left-handed", run<Transform>(toMd5, matrix({1, 0, 0, 0, 1, 0, 0, 0, -1, 1, -0.0f, 3})),
         m({1, 0, -0.0f, 0, 1, -0.0f, 0, 0, 1, 1, -0.0f, 3})},
        {"md5: y 30 becomes y -30", run<Transform>(toMd5, matrix({c30, 0, -0.5f, 0, 1, 0, 0.5f, 0, c30})),
         m({c30, 0, 0.5f, 0, 1, -0.0f, -0.5f, -0.0f, c30})},
        {"md5: z 30 stays", run<Transform>(toMd5, matrix({c30, 0.5f, 0, -0.5f, c30, 0, 0, 0, 1})),
         m({c30, 0.5f, -0.0f, -0.5f, c30, -0.0f, -0.0f, -0.0f, 1})},
        {"md5: not a number", run<Transform>(toMd5, matrix({1, 0, 0, 0, 1, 0, nan, 0, 1})),
         m({1, 0, -0.0f, 0, 1, -0.0f, nan, 0, -1})},
        {"md5: a zero row 2", run<Transform>(toMd5, matrix({1, 0, 0, 0, 1})), m({1, 0, -0.0f, 0, 1, -0.0f, 0, 0, -0.0f})},
        // The dot product summed x, z, y is 2^-60 > 0; summed x, y, z it would be 0.
        {"md5: dot summed x, z, y", run<Transform>(toMd5, matrix({-e30, 1, 0, -1, 0, 1, 1, e30, -1})),
         m({-e30, 1, -0.0f, -1, 0, -1, -1, -e30, -1})},
        {"normalise 0", run<Quat>(normalized, Quat{0, 0, 0, 0}), q(0, 0, 0, 0)},
        {"normalise", run<Quat>(normalized, Quat{-0.0f, 0, 0, 2}), q(-0.0f, 0, 0, 1)},
        // The squared length, its root and the factor are each stored as float.
        {"normalise in steps", run<Quat>(normalized, Quat{0, 2, 3, 3}), q(0, 0.42640144f, 0.6396022f, 0.6396022f)},
        {"quat identity", run<Quat>(toQuat, matrix({1, 0, 0, 0, 1, 0, 0, 0, 1})), q(0, 0, 0, 1)},
        {"quat x 90", run<Quat>(toQuat, x90), q(-h, 0, 0, h)},
        {"quat y 90", run<Quat>(toQuat, y90), q(0, -h, 0, h)},
        {"quat z 90: m10 - m01 in z", run<Quat>(toQuat, z90), q(0, 0, -h, h)},
        {"quat x 180: axis 0", run<Quat>(toQuat, matrix({1, 0, 0, 0, -1, s, 0, -s, -1})), q(1, 0, 0, -c)},
        {"quat y 180: axis 1", run<Quat>(toQuat, matrix({-1, 0, -s, 0, 1, 0, s, 0, -1})), q(0, 1, 0, -c)},
        {"quat z 180: axis 2", run<Quat>(toQuat, matrix({-1, s, 0, -s, -1, 0, 0, 0, 1})), q(0, 0, 1, -c)},
        {"quat trace 0: an axis", run<Quat>(toQuat, matrix({0, 1, 0, 0, 0, 1, 1})), q(0.5f, 0.5f, 0.5f, -0.5f)},
        {"quat m11 ties m00: axis 0", run<Quat>(toQuat, matrix({0, -1, 0, -1, 0, 0, 0, 0, -1})), q(h, -h, 0, 0)},
        {"quat m22 ties m00: axis 0", run<Quat>(toQuat, matrix({0, 0, -1, 0, -1, 0, -1, 0, 0})), q(h, 0, -h, 0)},
    };
    for (const auto& [name, actual, expected] : cases) EXPECT_EQ(actual, expected) << name;
}

TEST(GeometryMath, BoundsGrowOnlyByStrictComparison)
{
    // On x, -0 is neither less nor greater than +0: the stored zeros keep their sign.
    Vec3 min{0, 99999, 99999};
    Vec3 max{-0.0f, -99999, -99999};
    extendBounds({-0.0f, 1, 2}, min, max);
    extendBounds({NAN, NAN, NAN}, min, max);
    EXPECT_EQ(bits(min), bits(Vec3{0, 1, 2}));
    EXPECT_EQ(bits(max), bits(Vec3{-0.0f, 1, 2}));
}

} // namespace
} // namespace lwmd5
