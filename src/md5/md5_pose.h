#pragma once

#include "md5/md5_reader.h"

#include <cstdint>
#include <vector>

namespace lwmd5 {

// The joints of one pose in model space.
struct PosedJoint {
    Vec3d position;
    Quatd orientation;
};
using JointPose = std::vector<PosedJoint>;

// Posing as engines do it, made safe for any file the reader accepted: a
// component past the frame keeps the base frame's value, a parent that is not
// an earlier joint makes the joint a root, and a weight outside the list or of
// no joint adds nothing. The rules report each of those; posing never fails.

JointPose bindPose(const Md5ModelFile& model);

// Frame `frame`'s joints: from the base frame, the components of the frame
// replace Tx Ty Tz Qx Qy Qz in that order where the joint's flag bits 1, 2, 4,
// 8, 16, 32 are set, starting at its start index; then each joint is joined
// to its parent (orientation parent ⊗ local, position parent + parent·local).
void poseFrame(const Md5AnimFile& anim, std::size_t frame, JointPose& pose);

// Each vertex: the sum over its weights of bias × (joint + q·offset·q⁻¹).
void skinVertices(const Md5Mesh& mesh, const JointPose& pose, std::vector<Vec3d>& out);

// The box of every weighted vertex of every mesh, pose after pose, with the
// work shared: each distinct run of weights is posed once, through one
// rotation matrix per joint.
class MeshBoxer {
public:
    explicit MeshBoxer(const Md5ModelFile& model);
    // Nothing to box (no weighted vertex) gives the box from +inf to -inf.
    Md5Box boxOf(const JointPose& pose) const;

private:
    struct Weight {
        double offset[3];
        double bias;
        std::uint32_t joint;
    };
    struct Run {
        std::uint32_t first;
        std::uint32_t count;
    };
    std::vector<Weight> weights_;
    std::vector<Run> runs_;
    std::size_t jointCount_ = 0;
};

} // namespace lwmd5
