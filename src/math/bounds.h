#pragma once

#include "math/vec3.h"

namespace lwmd5 {

// The empty box: min at +99999, max at -99999 on every axis.
void resetBounds(Vec3& min, Vec3& max);
// Strict comparisons per axis; a coordinate that is not a number changes nothing.
inline void extendBounds(const Vec3& p, Vec3& min, Vec3& max)
{
    if (p.x < min.x) min.x = p.x;
    if (p.x > max.x) max.x = p.x;
    if (p.y < min.y) min.y = p.y;
    if (p.y > max.y) max.y = p.y;
    if (p.z < min.z) min.z = p.z;
    if (p.z > max.z) max.z = p.z;
}

} // namespace lwmd5
