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

// Samples each joint's bone channels (the scene's bones, in joint order) at
// every frame of the scene's preview range: positions and orientations in
// md5 space (scaled) as `mapping` says, with the angles in degrees they come
// from; the specified mapping also turns the first two joints. A joint of no
// bone (the added origin) stays at the origin unturned. Frames are split over
// up to `threads` threads.
std::vector<JointChannels> computeJointChannels(const std::vector<Joint>& joints, const Scene& scene,
                                                float scaleFactor, unsigned threads,
                                                SceneMapping mapping = SceneMapping::Specified);

} // namespace lwmd5
