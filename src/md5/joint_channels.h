#pragma once

#include "scene/scene.h"

namespace lwmd5 {

// The rotation of one frame's heading, pitch and bank (degrees) in md5 space.
void frameRotation(const Vec3& angles, Transform& rotation);

// Samples every joint's bone channels at every frame of the preview range:
// positions (z negated, scaled), angles in degrees with the corrections of
// the first two joints, and orientations.
void computeJointChannels(Scene& scene);

} // namespace lwmd5
