#include "object/lwo_object.h"

namespace lwmd5 {

std::int64_t LwoObject::totalPoints() const
{
    std::int64_t total = 0;
    for (const LwoMesh& mesh : meshes) total += mesh.pointCount();
    return total;
}

std::int64_t LwoObject::totalPolygons() const
{
    std::int64_t total = 0;
    for (const LwoMesh& mesh : meshes) total += mesh.polygonCount;
    return total;
}

void LwoObject::release()
{
    *this = LwoObject{};
}

} // namespace lwmd5
