#include "math/transform.h"

#include <cmath>

namespace lwmd5 {

namespace {

float component(const Vec3& v, int i)
{
    return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

float& component(Vec3& v, int i)
{
    return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

// The angle in radians is stored as float32 before sin and cos see it, which
// is why cos 90 degrees comes out as -4.371139e-8.
void sineCosine(float degrees, float& s, float& c)
{
    const double pi = 3.1415927f;
    const float radians = static_cast<float>(static_cast<double>(degrees) * pi / 180.0);
    s = static_cast<float>(std::sin(static_cast<double>(radians)));
    c = static_cast<float>(std::cos(static_cast<double>(radians)));
}

} // namespace

void multiplyTransforms(const Transform& a, const Transform& b, Transform& c)
{
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            c.m[r][col] = static_cast<float>(static_cast<double>(a.m[r][0]) * b.m[0][col] +
                                             static_cast<double>(a.m[r][1]) * b.m[1][col] +
                                             static_cast<double>(a.m[r][2]) * b.m[2][col]);
        }
    }
    for (int col = 0; col < 3; ++col) {
        component(c.t, col) = static_cast<float>(static_cast<double>(a.t.x) * b.m[0][col] +
                                                 static_cast<double>(a.t.y) * b.m[1][col] +
                                                 static_cast<double>(a.t.z) * b.m[2][col] +
                                                 component(b.t, col));
    }
}

void invertTransform(const Transform& s, Transform& d)
{
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            d.m[r][col] = s.m[col][r];
        }
    }
    for (int col = 0; col < 3; ++col) {
        component(d.t, col) = static_cast<float>(-(static_cast<double>(s.t.x) * d.m[0][col] +
                                                   static_cast<double>(s.t.y) * d.m[1][col] +
                                                   static_cast<double>(s.t.z) * d.m[2][col]));
    }
}

void transformPoint(const Vec3& p, const Transform& m, Vec3& out)
{
    const double x = p.x, y = p.y, z = p.z;
    out.x = static_cast<float>(x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.t.x);
    out.y = static_cast<float>(x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.t.y);
    out.z = static_cast<float>(x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.t.z);
}

void translationTransform(const Vec3& v, Transform& m)
{
    identityTransform(m);
    m.t = v;
}

void identityTransform(Transform& m)
{
    m = Transform{};
    m.m[0][0] = 1.0f;
    m.m[1][1] = 1.0f;
    m.m[2][2] = 1.0f;
}

void copyTransform(const Transform& src, Transform& dst)
{
    dst = src;
}

void rotationX(float degrees, Transform& m)
{
    float s = 0.0f;
    float c = 0.0f;
    sineCosine(degrees, s, c);
    m = Transform{};
    m.m[0][0] = 1.0f;
    m.m[1][1] = c;
    m.m[1][2] = s;
    m.m[2][1] = -s;
    m.m[2][2] = c;
}

void rotationY(float degrees, Transform& m)
{
    float s = 0.0f;
    float c = 0.0f;
    sineCosine(degrees, s, c);
    m = Transform{};
    m.m[0][0] = c;
    m.m[0][2] = -s;
    m.m[1][1] = 1.0f;
    m.m[2][0] = s;
    m.m[2][2] = c;
}

void rotationZ(float degrees, Transform& m)
{
    float s = 0.0f;
    float c = 0.0f;
    sineCosine(degrees, s, c);
    m = Transform{};
    m.m[0][0] = c;
    m.m[0][1] = s;
    m.m[1][0] = -s;
    m.m[1][1] = c;
    m.m[2][2] = 1.0f;
}

void headingPitchBankRotation(float heading, float pitch, float bank, Transform& m)
{
    Transform rz;
    Transform rx;
    Transform ry;
    Transform pitchHeading;
    rotationZ(bank, rz);
    rotationX(pitch, rx);
    rotationY(heading, ry);
    multiplyTransforms(rx, ry, pitchHeading);
    multiplyTransforms(rz, pitchHeading, m);
}

bool hasRightHandedRows(const Transform& m)
{
    const Vec3 row0{m.m[0][0], m.m[0][1], m.m[0][2]};
    const Vec3 row1{m.m[1][0], m.m[1][1], m.m[1][2]};
    Vec3 v;
    crossProduct(row0, row1, v);
    // The terms are summed in this order (x, z, y); the sum is compared unrounded.
    const double dot = static_cast<double>(v.x) * m.m[2][0] + static_cast<double>(v.z) * m.m[2][2] +
                       static_cast<double>(v.y) * m.m[2][1];
    return dot > 0.0;
}

void negateThirdRow(Transform& m)
{
    m.m[2][0] = -m.m[2][0];
    m.m[2][1] = -m.m[2][1];
    m.m[2][2] = -m.m[2][2];
}

void toMd5Rotation(Transform& m)
{
    if (!hasRightHandedRows(m)) negateThirdRow(m);
    // S * M * S with S = diag(1, 1, -1).
    m.m[0][2] = -m.m[0][2];
    m.m[1][2] = -m.m[1][2];
    m.m[2][0] = -m.m[2][0];
    m.m[2][1] = -m.m[2][1];
}

void normalizeQuat(Quat& q)
{
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    const float lengthSquared = static_cast<float>(x * x + y * y + z * z + w * w);
    float factor = 1.0f;
    if (lengthSquared > 0.0f) {
        const float length = static_cast<float>(std::sqrt(static_cast<double>(lengthSquared)));
        factor = static_cast<float>(1.0 / static_cast<double>(length));
    }
    q.x = static_cast<float>(x * factor);
    q.y = static_cast<float>(y * factor);
    q.z = static_cast<float>(z * factor);
    q.w = static_cast<float>(w * factor);
}

void transformToQuat(Quat& q, const Transform& m)
{
    const auto& r = m.m;
    const float trace = static_cast<float>(static_cast<double>(r[1][1]) + r[0][0] + r[2][2]);
    if (trace > 0.0f) {
        const float s = static_cast<float>(std::sqrt(static_cast<double>(trace) + 1.0));
        const float f = static_cast<float>(0.5 / static_cast<double>(s));
        q.w = static_cast<float>(0.5 * s);
        q.x = static_cast<float>((static_cast<double>(r[2][1]) - r[1][2]) * f);
        q.y = static_cast<float>((static_cast<double>(r[0][2]) - r[2][0]) * f);
        q.z = static_cast<float>((static_cast<double>(r[1][0]) - r[0][1]) * f);
    } else {
        int i = 0;
        if (r[1][1] > r[0][0]) i = 1;
        if (r[2][2] > r[i][i]) i = 2;
        const int j = (i + 1) % 3;
        const int k = (i + 2) % 3;
        const float s = static_cast<float>(
            std::sqrt(static_cast<double>(r[i][i]) - r[j][j] - r[k][k] + 1.0));
        const float f = static_cast<float>(0.5 / static_cast<double>(s));
        float xyz[3];
        xyz[i] = static_cast<float>(0.5 * s);
        xyz[j] = static_cast<float>((static_cast<double>(r[i][j]) + r[j][i]) * f);
        xyz[k] = static_cast<float>((static_cast<double>(r[i][k]) + r[k][i]) * f);
        q.x = xyz[0];
        q.y = xyz[1];
        q.z = xyz[2];
        q.w = static_cast<float>((static_cast<double>(r[k][j]) - r[j][k]) * f);
    }
    normalizeQuat(q);
}

} // namespace lwmd5
