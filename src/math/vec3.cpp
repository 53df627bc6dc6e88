#include "math/vec3.h"

namespace lwmd5 {

void crossProduct(const Vec3& a, const Vec3& b, Vec3& out)
{
    const double ax = a.x, ay = a.y, az = a.z;
    out.x = static_cast<float>(ay * b.z - az * b.y);
    out.y = static_cast<float>(az * b.x - ax * b.z);
    out.z = static_cast<float>(ax * b.y - ay * b.x);
}

} // namespace lwmd5
