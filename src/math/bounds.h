#pragma once

#include "math/vec3.h"

namespace lwmd5 {

// The empty box: min at +99999, max at -99999 on every axis.
void resetBounds(Vec3& min, Vec3& max);
// Strict comparisons per axis; a coordinate that is not a number changes nothing.
void extendBounds(const Vec3& p, Vec3& min, Vec3& max);

} // namespace lwmd5
