#include "md5/md5_pose.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace lwmd5 {

namespace {

// The weights [first, first + count) that lie in the list; an empty range
// for a vertex without weights or a run wholly outside.
std::pair<std::size_t, std::size_t> weightRange(const Md5FileVertex& vertex, std::size_t weightCount)
{
    const auto total = static_cast<long long>(weightCount);
    const long long first = std::clamp(vertex.firstWeight, 0LL, total);
    const long long last = std::clamp(vertex.firstWeight + std::max(0LL, vertex.weightCount), first, total);
    return {static_cast<std::size_t>(first), static_cast<std::size_t>(last)};
}

double& componentOf(PosedJoint& joint, int which)
{
    double* values[] = {&joint.position.x, &joint.position.y,    &joint.position.z,
                        &joint.orientation.x, &joint.orientation.y, &joint.orientation.z};
    return *values[which];
}

} // namespace

JointPose bindPose(const Md5ModelFile& model)
{
    JointPose pose;
    pose.reserve(model.joints.size());
    for (const Md5FileJoint& joint : model.joints) pose.push_back({joint.position, joint.orientation});
    return pose;
}

void poseFrame(const Md5AnimFile& anim, std::size_t frame, JointPose& pose)
{
    const auto components = static_cast<std::size_t>(anim.animatedComponents);
    const double* values = anim.components.data() + frame * components;
    const std::size_t count = std::min(anim.hierarchy.size(), anim.baseFrame.size());
    pose.resize(count);
    for (std::size_t j = 0; j < count; ++j) {
        const Md5HierarchyEntry& entry = anim.hierarchy[j];
        const Md5BaseJoint& base = anim.baseFrame[j];
        PosedJoint local{base.position, {base.orientation.x, base.orientation.y, base.orientation.z, 0.0}};
        long long next = entry.startIndex;
        for (int c = 0; c < 6; ++c) {
            if ((entry.flags & (1LL << c)) == 0) continue;
            if (next >= 0 && static_cast<std::size_t>(next) < components) {
                componentOf(local, c) = values[next];
            }
            ++next;
        }
        local.orientation = completeQuat(local.orientation.x, local.orientation.y, local.orientation.z);
        if (entry.parent < 0 || static_cast<std::size_t>(entry.parent) >= j) {
            pose[j] = local;
            continue;
        }
        const PosedJoint& parent = pose[static_cast<std::size_t>(entry.parent)];
        pose[j] = {parent.position + rotatePoint(parent.orientation, local.position),
                   multiplyQuats(parent.orientation, local.orientation)};
    }
}

void skinVertices(const Md5FileMesh& mesh, const JointPose& pose, std::vector<Vec3d>& out)
{
    out.assign(mesh.vertices.size(), Vec3d{});
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
        const auto [first, last] = weightRange(mesh.vertices[v], mesh.weights.size());
        for (std::size_t w = first; w < last; ++w) {
            const Md5FileWeight& weight = mesh.weights[w];
            if (weight.joint < 0 || static_cast<std::size_t>(weight.joint) >= pose.size()) continue;
            const PosedJoint& joint = pose[static_cast<std::size_t>(weight.joint)];
            out[v] = out[v] + weight.bias * (joint.position + rotatePoint(joint.orientation, weight.offset));
        }
    }
}

MeshBoxer::MeshBoxer(const Md5ModelFile& model)
{
    for (const Md5FileMesh& mesh : model.meshes) {
        const auto base = static_cast<std::uint32_t>(weights_.size());
        for (const Md5FileWeight& w : mesh.weights) {
            const bool valid = w.joint >= 0 && static_cast<std::size_t>(w.joint) < model.joints.size();
            // A weight of no joint adds nothing: joint 0 with no bias.
            const double bias = valid ? w.bias : 0.0;
            weights_.push_back({{static_cast<float>(bias * w.offset.x), static_cast<float>(bias * w.offset.y),
                                 static_cast<float>(bias * w.offset.z)},
                                static_cast<float>(bias),
                                valid ? static_cast<std::uint32_t>(w.joint) : 0u});
        }
        // Vertices split at UV seams share their weights; each run counts once.
        std::map<std::pair<std::size_t, std::size_t>, bool> seen;
        for (const Md5FileVertex& vertex : mesh.vertices) {
            const auto range = weightRange(vertex, mesh.weights.size());
            if (range.first == range.second || !seen.emplace(range, true).second) continue;
            runs_.push_back({base + static_cast<std::uint32_t>(range.first),
                             static_cast<std::uint32_t>(range.second - range.first)});
        }
    }
    jointCount_ = model.joints.size();
}

Md5Box MeshBoxer::boxOf(const JointPose& pose) const
{
    Md5Box box;
    boxLanes(&pose, 1, &box);
    return box;
}

std::vector<Md5Box> MeshBoxer::boxesOf(const std::vector<JointPose>& poses) const
{
    std::vector<Md5Box> boxes(poses.size());
    for (std::size_t first = 0; first < poses.size(); first += kLanes) {
        boxLanes(poses.data() + first, std::min(kLanes, poses.size() - first), boxes.data() + first);
    }
    return boxes;
}

void MeshBoxer::boxLanes(const JointPose* poses, std::size_t count, Md5Box* boxes) const
{
    // For each joint its twelve matrix entries (rows are the images of the
    // axes, then the position), each entry as 16 lanes, one per pose. A
    // joint a pose lacks, and an unused lane, stay zero.
    const std::size_t jointStride = 12 * kLanes;
    std::vector<float> matrices(std::max(jointCount_, std::size_t{1}) * jointStride, 0.0f);
    for (std::size_t k = 0; k < count; ++k) {
        for (std::size_t j = 0; j < std::min(poses[k].size(), jointCount_); ++j) {
            const Quatd& q = poses[k][j].orientation;
            const Vec3d x = rotatePoint(q, {1, 0, 0}), y = rotatePoint(q, {0, 1, 0}), z = rotatePoint(q, {0, 0, 1});
            const Vec3d& t = poses[k][j].position;
            const double m[12] = {x.x, x.y, x.z, y.x, y.y, y.z, z.x, z.y, z.z, t.x, t.y, t.z};
            for (std::size_t e = 0; e < 12; ++e) matrices[j * jointStride + e * kLanes + k] = static_cast<float>(m[e]);
        }
    }
    constexpr float inf = std::numeric_limits<float>::infinity();
    float low[3][kLanes], high[3][kLanes];
    std::fill(&low[0][0], &low[0][0] + 3 * kLanes, inf);
    std::fill(&high[0][0], &high[0][0] + 3 * kLanes, -inf);
    for (const Run& run : runs_) {
        float p[3][kLanes] = {};
        for (std::uint32_t w = run.first; w < run.first + run.count; ++w) {
            const Weight& weight = weights_[w];
            const float* m = matrices.data() + static_cast<std::size_t>(weight.joint) * jointStride;
            const float o0 = weight.scaledOffset[0], o1 = weight.scaledOffset[1], o2 = weight.scaledOffset[2];
            for (std::size_t a = 0; a < 3; ++a) {
                for (std::size_t k = 0; k < kLanes; ++k) {
                    p[a][k] += o0 * m[a * kLanes + k] + o1 * m[(3 + a) * kLanes + k] + o2 * m[(6 + a) * kLanes + k] +
                               weight.bias * m[(9 + a) * kLanes + k];
                }
            }
        }
        for (std::size_t a = 0; a < 3; ++a) {
            for (std::size_t k = 0; k < kLanes; ++k) {
                low[a][k] = std::min(low[a][k], p[a][k]);
                high[a][k] = std::max(high[a][k], p[a][k]);
            }
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        boxes[k] = {{low[0][k], low[1][k], low[2][k]}, {high[0][k], high[1][k], high[2][k]}};
    }
}

} // namespace lwmd5
