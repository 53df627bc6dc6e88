#include "math/bounds.h"

namespace lwmd5 {

void resetBounds(Vec3& min, Vec3& max)
{
    min = {99999.0f, 99999.0f, 99999.0f};
    max = {-99999.0f, -99999.0f, -99999.0f};
}

} // namespace lwmd5
