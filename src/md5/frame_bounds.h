#pragma once

#include "md5/joint_channels.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

#include <vector>

namespace lwmd5 {

struct FrameBounds {
    Vec3 min;
    Vec3 max;
};

// The box of the meshes posed with each frame's joints (their rotations
// rebuilt from the frame's angles as `mapping` builds them), in the space of
// the root joints' positions. Frames are split over up to `threads` threads.
std::vector<FrameBounds> computeFrameBounds(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                                            const std::vector<Md5Mesh>& meshes, unsigned threads,
                                            SceneMapping mapping = SceneMapping::Specified);

} // namespace lwmd5
