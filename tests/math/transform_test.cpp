#include "math/bounds.h"
#include "math/transform.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <tuple>

namespace lwmd5 {
namespace {

using Bits = std::vector<std::uint32_t>;
using Rows = std::array<float, 12>; // the rotation rows m00 to m22, then the translation

// The bit patterns of a value made of floats: -0 differs from +0, and a NaN matches a NaN.
template <typename T>
Bits bits(const T& value)
{
    const auto patterns = std::bit_cast<std::array<std::uint32_t, sizeof(T) / 4>>(value);
    return Bits(patterns.begin(), patterns.end());
}

// What `routine` writes into its last argument.
template <typename Out, typename Routine, typename... In>
Out run(Routine routine, const In&... in)
{
    Out out{};
    routine(in..., out);
    return out;
}

Transform matrix(const Rows& values) { return std::bit_cast<Transform>(values); }
Transform md5(const Rows& rows) { Transform m = matrix(rows); toMd5Rotation(m); return m; }
Quat quat(const Transform& m) { Quat q; transformToQuat(q, m); return q; }
Quat normalized(Quat q) { normalizeQuat(q); return q; }

TEST(GeometryMath, DocumentedValuesBitForBit)
{
    // cos 90 and sin 180 as the angle rounded to float gives them.
    const float c = -4.371139e-8f, s = -8.742278e-8f, h = 0.70710683f, nan = NAN, c30 = 0.8660254f;
    const float o = -0.0f, e30 = std::ldexp(1.0f, -30), sin17 = 0.29237172f, cos17 = 0.956304729f;
    const Transform x90 = matrix({1, 0, 0, 0, c, 1, 0, -1, c}), y90 = matrix({c, 0, -1, 0, 1, 0, 1, 0, c});
    const Transform z90 = matrix({c, 1, 0, -1, c, 0, 0, 0, 1}), shift = matrix({1, 0, 0, 0, 1, 0, 0, 0, 1, 1});
    const std::tuple<const char*, Transform, Rows> transforms[] = {
        {"x 90", run<Transform>(rotationX, 90.0f), {1, 0, 0, 0, c, 1, 0, -1, c}},
        {"y 90", run<Transform>(rotationY, 90.0f), {c, 0, -1, 0, 1, 0, 1, 0, c}},
        {"z 90", run<Transform>(rotationZ, 90.0f), {c, 1, 0, -1, c, 0, 0, 0, 1}},
        // pi as a float and the angle stored as float: sin would be 0.29237169 otherwise.
        {"z 17", run<Transform>(rotationZ, 17.0f), {cos17, sin17, 0, -sin17, cos17, 0, 0, 0, 1}},
        // Bank takes +x to +y, pitch +y to +z, heading +z back to +x; in no other order does +x stay.
        {"heading pitch bank", run<Transform>(headingPitchBankRotation, 90.0f, 90.0f, 90.0f),
         {1, c, 0, 0, c * c, 1, c, -1, c * c}},
        {"translate, then turn", run<Transform>(multiplyTransforms, shift, z90), {c, 1, 0, -1, c, 0, 0, 0, 1, c, 1, 0}},
        {"inverse turn", run<Transform>(invertTransform, matrix({c, 1, 0, -1, c, 0, 0, 0, 1, 1})),
         {c, -1, 0, 1, c, 0, 0, 0, 1, -c, 1, -0.0f}},
        {"md5: left-handed", md5({1, 0, 0, 0, 1, 0, 0, 0, -1, 1, o, 3}), {1, 0, o, 0, 1, o, 0, 0, 1, 1, o, 3}},
        {"md5: y 30 becomes -30", md5({c30, 0, -0.5f, 0, 1, 0, 0.5f, 0, c30}), {c30, 0, 0.5f, 0, 1, o, -0.5f, o, c30}},
        {"md5: not a number", md5({1, 0, 0, 0, 1, 0, nan, 0, 1}), {1, 0, o, 0, 1, o, nan, 0, -1}},
        {"md5: a zero row 2", md5({1, 0, 0, 0, 1}), {1, 0, o, 0, 1, o, 0, 0, o}},
        // The dot product summed x, z, y is 2^-60 > 0; summed x, y, z it would be 0.
        {"md5: dot summed x, z, y", md5({-e30, 1, 0, -1, 0, 1, 1, e30, -1}), {-e30, 1, o, -1, 0, -1, -1, -e30, -1}},
    };
    for (const auto& [name, actual, expected] : transforms) EXPECT_EQ(bits(actual), bits(expected)) << name;
    const std::tuple<const char*, Quat, Quat> quats[] = {
        {"normalise 0", normalized({0, 0, 0, 0}), {0, 0, 0, 0}},
        // The squared length, its root and the factor are each stored as float.
        {"normalise in steps", normalized({0, 2, 3, 3}), {0, 0.42640144f, 0.6396022f, 0.6396022f}},
        {"quat x 90", quat(x90), {-h, 0, 0, h}},
        {"quat z 90: m10 - m01 in z", quat(z90), {0, 0, -h, h}},
        {"quat x 180: axis 0", quat(matrix({1, 0, 0, 0, -1, s, 0, -s, -1})), {1, 0, 0, -c}},
        {"quat y 180: axis 1", quat(matrix({-1, 0, -s, 0, 1, 0, s, 0, -1})), {0, 1, 0, -c}},
        {"quat z 180: axis 2", quat(matrix({-1, s, 0, -s, -1, 0, 0, 0, 1})), {0, 0, 1, -c}},
        {"quat trace 0: an axis", quat(matrix({0, 1, 0, 0, 0, 1, 1})), {0.5f, 0.5f, 0.5f, -0.5f}},
        {"quat m11 ties m00: axis 0", quat(matrix({0, -1, 0, -1, 0, 0, 0, 0, -1})), {h, -h, 0, 0}},
        {"quat m22 ties m00: axis 0", quat(matrix({0, 0, -1, 0, -1, 0, -1, 0, 0})), {h, 0, -h, 0}},
    };
    for (const auto& [name, actual, expected] : quats) EXPECT_EQ(bits(actual), bits(expected)) << name;
    EXPECT_EQ(bits(run<Vec3>(transformPoint, Vec3{0, 0, 1}, y90)), bits(Vec3{1, 0, c})) << "y 90 takes +z to +x";
    // Bounds grow by strict comparison only: on x, -0 is neither less nor greater than +0; NaN changes nothing.
    Vec3 min{0, 99999, 99999}, max{-0.0f, -99999, -99999};
    extendBounds({-0.0f, 1, 2}, min, max);
    extendBounds({NAN, NAN, NAN}, min, max);
    EXPECT_EQ(bits(std::array{min, max}), bits(std::array{Vec3{0, 1, 2}, Vec3{-0.0f, 1, 2}}));
}

} // namespace
} // namespace lwmd5
