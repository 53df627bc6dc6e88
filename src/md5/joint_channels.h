#pragma once

#include "math/transform.h"
#include "scene/scene.h"
#include "skin/skeleton.h"

#include <vector>

namespace lwmd5 {

// One joint's motion, one entry per sampled frame of the preview range.
struct JointChannels {
    std::vector<Vec3> framePositions;    // md5 space, scaled, relative to the parent
    std::vector<Vec3> frameAngles;       // heading, pitch, bank in degrees
    std::vector<Quat> frameOrientations; // unit quaternion of the rotation in md5 space
};

// The rotation of one frame's heading, pitch and bank (degrees) in md5 space.
void frameRotation(const Vec3& angles, Transform& rotation);

// Samples each joint's bone channels (the scene's bones, in joint order) at
// every frame of the scene's preview range: positions (z negated, scaled),
// angles in degrees with the corrections of the first two joints, and
// orientations. Frames are split over up to `threads` threads.
std::vector<JointChannels> computeJointChannels(const std::vector<Joint>& joints, const Scene& scene,
                                                float scaleFactor, unsigned threads);

} // namespace lwmd5
