#include "inspect/pose_checks.h"

#include "md5/md5_pose.h"
#include "platform/parallel.h"

#include <algorithm>
#include <cmath>

namespace lwmd5 {

namespace {

// The largest difference between the six numbers of two boxes.
double boxDifference(const Md5Box& a, const Md5Box& b)
{
    return std::max({std::abs(a.min.x - b.min.x), std::abs(a.min.y - b.min.y), std::abs(a.min.z - b.min.z),
                     std::abs(a.max.x - b.max.x), std::abs(a.max.y - b.max.y), std::abs(a.max.z - b.max.z)});
}

// How far `inner` reaches out of `outer` on any side (0 when it fits).
double overhang(const Md5Box& inner, const Md5Box& outer)
{
    return std::max({0.0, outer.min.x - inner.min.x, outer.min.y - inner.min.y, outer.min.z - inner.min.z,
                     inner.max.x - outer.max.x, inner.max.y - outer.max.y, inner.max.z - outer.max.z});
}

struct FrameBoxes {
    Md5Box mesh;       // the posed mesh, model space
    Vec3d jointZero;   // joint 0's position
};

std::vector<FrameBoxes> poseEveryFrame(const Md5ModelFile& model, const Md5AnimFile& anim, unsigned threads)
{
    // Frames go to the boxer in groups whose joint matrices stay in the
    // cache while the weights stream past once per group.
    constexpr std::size_t kGroup = 16;
    const MeshBoxer boxer(model);
    std::vector<FrameBoxes> frames(anim.frameCount());
    forEachRange(frames.size(), threads, [&](std::size_t begin, std::size_t end) {
        std::vector<JointPose> poses;
        for (std::size_t first = begin; first < end; first += kGroup) {
            poses.resize(std::min(kGroup, end - first));
            for (std::size_t k = 0; k < poses.size(); ++k) poseFrame(anim, first + k, poses[k]);
            const std::vector<Md5Box> boxes = boxer.boxesOf(poses);
            for (std::size_t k = 0; k < poses.size(); ++k) {
                frames[first + k] = {boxes[k], poses[k].empty() ? Vec3d{} : poses[k][0].position};
            }
        }
    });
    return frames;
}

BoundsReading readingOf(std::size_t frames, std::size_t model, std::size_t relative)
{
    if (model == frames && relative == frames) return BoundsReading::Both;
    if (model > 0 && model >= relative) return BoundsReading::ModelSpace;
    if (relative > 0) return BoundsReading::RelativeToJoint0;
    return BoundsReading::Neither;
}

} // namespace

PoseDistance compareWithBindPose(const Md5ModelFile& model, const Md5AnimFile& anim, std::size_t frame)
{
    PoseDistance distance;
    JointPose pose;
    poseFrame(anim, frame, pose);
    for (std::size_t j = 0; j < std::min(pose.size(), model.joints.size()); ++j) {
        const double moved = length(pose[j].position - model.joints[j].position);
        const double turned = angleBetween(pose[j].orientation, model.joints[j].orientation);
        if (moved > distance.position) distance.position = moved, distance.positionJoint = j;
        if (turned > distance.degrees) distance.degrees = turned, distance.angleJoint = j;
    }
    return distance;
}

Md5Box bindPoseBox(const Md5ModelFile& model)
{
    return MeshBoxer(model).boxOf(bindPose(model));
}

BoundsCheck classifyBounds(const Md5ModelFile& model, const Md5AnimFile& anim, unsigned threads)
{
    BoundsCheck check;
    const Md5Box bind = bindPoseBox(model);
    const double extent = std::max({bind.max.x - bind.min.x, bind.max.y - bind.min.y, bind.max.z - bind.min.z});
    // Six printed decimals on joints and offsets, compounded down a chain of
    // joints, stay far below this.
    check.tolerance = 1e-4 * std::max(1.0, std::isfinite(extent) ? extent : 1.0);
    const std::vector<FrameBoxes> frames = poseEveryFrame(model, anim, threads);
    std::size_t matchModel = 0, matchRelative = 0;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const Md5Box& file = anim.bounds[f];
        const Md5Box& mesh = frames[f].mesh;
        const Vec3d& r = frames[f].jointZero;
        const double absolute = boxDifference(file, mesh);
        const double relative = boxDifference(file, {mesh.min - r, mesh.max - r});
        if (f == 0 || absolute > check.worstModel) check.worstModel = absolute, check.worstModelFrame = f;
        if (f == 0 || relative > check.worstRelative) check.worstRelative = relative, check.worstRelativeFrame = f;
        check.jointZeroTravel = std::max(check.jointZeroTravel, length(r));
        matchModel += absolute <= check.tolerance ? 1 : 0;
        matchRelative += relative <= check.tolerance ? 1 : 0;
        const double miss = overhang(mesh, file);
        if (absolute > check.tolerance && relative > check.tolerance && miss > check.tolerance) {
            if (check.missingFrames++ == 0) check.firstMissingFrame = f;
            check.worstMiss = std::max(check.worstMiss, miss);
        }
    }
    check.reading = readingOf(frames.size(), matchModel, matchRelative);
    return check;
}

std::vector<Finding> checkBounds(const BoundsCheck& check, const Md5AnimFile& anim, Engine engine)
{
    std::vector<Finding> findings;
    if (check.reading == BoundsReading::RelativeToJoint0) {
        addFinding(findings, "bounds-relative", engine, anim.boundsLines.empty() ? 0 : anim.boundsLines[0],
                   "the bounds are boxes relative to joint 0, which moves up to " +
                       std::to_string(check.jointZeroTravel) +
                       " from the origin; engines read model-space boxes and will cull the model where it is not");
    }
    if (check.missingFrames > 0) {
        const std::size_t f = check.firstMissingFrame;
        addFinding(findings, "bounds", engine, anim.boundsLines[f],
                   "the bounds of frame " + std::to_string(f) + " leave the posed mesh outside by up to " +
                       std::to_string(check.worstMiss) + " in either reading" +
                       (check.missingFrames > 1
                            ? " (and " + std::to_string(check.missingFrames - 1) + " more like it)"
                            : std::string()));
    }
    return findings;
}

} // namespace lwmd5
