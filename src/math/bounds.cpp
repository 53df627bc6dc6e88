#include "math/bounds.h"

namespace lwmd5 {

void resetBounds(Vec3& min, Vec3& max)
{
    min = {99999.0f, 99999.0f, 99999.0f};
    max = {-99999.0f, -99999.0f, -99999.0f};
}

void extendBounds(const Vec3& p, Vec3& min, Vec3& max)
{
    if (p.x < min.x) min.x = p.x;
    if (p.x > max.x) max.x = p.x;
    if (p.y < min.y) min.y = p.y;
    if (p.y > max.y) max.y = p.y;
    if (p.z < min.z) min.z = p.z;
    if (p.z > max.z) max.z = p.z;
}

} // namespace lwmd5
