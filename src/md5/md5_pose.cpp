#include "md5/md5_pose.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace lwmd5 {

namespace {

// The weights [first, first + count) that lie in the list; an empty range
// for a vertex without weights or a run wholly outside.
std::pair<std::size_t, std::size_t> weightRange(const Md5Vertex& vertex, std::size_t weightCount)
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
    for (const Md5Joint& joint : model.joints) pose.push_back({joint.position, joint.orientation});
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

void skinVertices(const Md5Mesh& mesh, const JointPose& pose, std::vector<Vec3d>& out)
{
    out.assign(mesh.vertices.size(), Vec3d{});
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
        const auto [first, last] = weightRange(mesh.vertices[v], mesh.weights.size());
        for (std::size_t w = first; w < last; ++w) {
            const Md5Weight& weight = mesh.weights[w];
            if (weight.joint < 0 || static_cast<std::size_t>(weight.joint) >= pose.size()) continue;
            const PosedJoint& joint = pose[static_cast<std::size_t>(weight.joint)];
            out[v] = out[v] + weight.bias * (joint.position + rotatePoint(joint.orientation, weight.offset));
        }
    }
}

MeshBoxer::MeshBoxer(const Md5ModelFile& model)
{
    for (const Md5Mesh& mesh : model.meshes) {
        const auto base = static_cast<std::uint32_t>(weights_.size());
        for (const Md5Weight& w : mesh.weights) {
            const bool valid = w.joint >= 0 && static_cast<std::size_t>(w.joint) < model.joints.size();
            // A weight of no joint adds nothing: joint 0 with no bias.
            weights_.push_back({{w.offset.x, w.offset.y, w.offset.z},
                                valid ? w.bias : 0.0,
                                valid ? static_cast<std::uint32_t>(w.joint) : 0u});
        }
        // Vertices split at UV seams share their weights; each run counts once.
        std::map<std::pair<std::size_t, std::size_t>, bool> seen;
        for (const Md5Vertex& vertex : mesh.vertices) {
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
    constexpr double inf = std::numeric_limits<double>::infinity();
    double low[3] = {inf, inf, inf};
    double high[3] = {-inf, -inf, -inf};
    // One matrix per joint: rows are the images of the axes, so a point is
    // row-vector times matrix plus the position. A joint the pose lacks stays
    // all zero and moves its weights to nothing.
    std::vector<double> rows(std::max(pose.size(), jointCount_) * 12, 0.0);
    for (std::size_t j = 0; j < pose.size(); ++j) {
        const Quatd& q = pose[j].orientation;
        const Vec3d x = rotatePoint(q, {1, 0, 0}), y = rotatePoint(q, {0, 1, 0}), z = rotatePoint(q, {0, 0, 1});
        const Vec3d& t = pose[j].position;
        const double m[12] = {x.x, x.y, x.z, y.x, y.y, y.z, z.x, z.y, z.z, t.x, t.y, t.z};
        std::copy(m, m + 12, rows.begin() + static_cast<std::ptrdiff_t>(12 * j));
    }
    for (const Run& run : runs_) {
        double p[3] = {0.0, 0.0, 0.0};
        for (std::uint32_t w = run.first; w < run.first + run.count; ++w) {
            const Weight& weight = weights_[w];
            const double* m = rows.data() + 12 * static_cast<std::size_t>(weight.joint);
            const double* o = weight.offset;
            for (int a = 0; a < 3; ++a) {
                p[a] += weight.bias * (o[0] * m[a] + o[1] * m[3 + a] + o[2] * m[6 + a] + m[9 + a]);
            }
        }
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
    }
    return {{low[0], low[1], low[2]}, {high[0], high[1], high[2]}};
}

} // namespace lwmd5
