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
void skinVertices(const Md5FileMesh& mesh, const JointPose& pose, std::vector<Vec3d>& out);

// The box of every weighted vertex of every mesh, pose after pose, with the
// work shared: each distinct run of weights is posed once, through one
// rotation matrix per joint.
class MeshBoxer {
public:
    explicit MeshBoxer(const Md5ModelFile& model);
    // Nothing to box (no weighted vertex) gives the box from +inf to -inf.
    // Vertices are summed in float, as engines pose them: the boxes serve
    // comparisons with six printed decimals and pictures.
    Md5Box boxOf(const JointPose& pose) const;
    // The boxes of several poses at once: each weight is read once for 16
    // poses, whose joint matrices lie side by side so the sums of all 16 run
    // in vector registers.
    std::vector<Md5Box> boxesOf(const std::vector<JointPose>& poses) const;

private:
    static constexpr std::size_t kLanes = 16;
    void boxLanes(const JointPose* poses, std::size_t count, Md5Box* boxes) const;

    // The offset comes scaled by the bias: bias × (M·o + t) = M·(bias·o) + bias·t.
    struct Weight {
        float scaledOffset[3];
        float bias;
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
