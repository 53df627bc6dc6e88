#pragma once

#include "scene/scene.h"

namespace lwmd5 {

// The box of the mesh posed with each frame's joints.
void computeFrameBounds(Scene& scene);

} // namespace lwmd5
