#pragma once

#include <algorithm>
#include <cmath>

namespace lwmd5 {

// Double-precision vector and quaternion for reading md5 files back: the
// files hold six decimals, and posing them in double keeps the comparisons
// with the printed numbers free of float rounding of our own.
struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Vector part first, scalar part last, as md5 files write them.
struct Quatd {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double w = 1.0;
};

inline Vec3d operator+(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3d operator-(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3d operator*(double s, const Vec3d& v) { return {s * v.x, s * v.y, s * v.z}; }

inline double dotProduct(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d crossProduct(const Vec3d& a, const Vec3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const Vec3d& v) { return std::sqrt(dotProduct(v, v)); }

// The rotation a then b reads as a ⊗ b applied to a point (b first).
inline Quatd multiplyQuats(const Quatd& a, const Quatd& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

// q·v·q⁻¹ for a unit quaternion.
inline Vec3d rotatePoint(const Quatd& q, const Vec3d& v)
{
    const Vec3d u{q.x, q.y, q.z};
    const Vec3d t = 2.0 * crossProduct(u, v);
    return v + q.w * t + crossProduct(u, t);
}

// The unit quaternion of three stored components, as engines complete it:
// the negative root, and 0 where rounding leaves the sum above 1.
inline Quatd completeQuat(double x, double y, double z)
{
    return {x, y, z, -std::sqrt(std::max(0.0, 1.0 - x * x - y * y - z * z))};
}

// The angle in degrees between two orientations (q and -q are the same).
inline double angleBetween(const Quatd& a, const Quatd& b)
{
    const double dot = std::abs(a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w);
    return 2.0 * std::acos(std::min(1.0, dot)) * (180.0 / 3.14159265358979323846);
}

} // namespace lwmd5
