#include "md5/frame_bounds.h"

#include "math/bounds.h"
#include "md5/joint_channels.h"
#include "md5/posing.h"
#include "platform/parallel.h"

namespace lwmd5 {

namespace {

// Vertices that split off a source vertex share its weights and pose to the
// very same point, which cannot change a box the source has already grown:
// pose only the first vertex of each weight run, in vertex order.
std::vector<PoseRun> distinctWeightRuns(const Md5Mesh& mesh)
{
    // The weight count of the run posed from each first weight, 0 for none yet.
    std::vector<std::int32_t> posedCount(mesh.weights.size() + 1, 0);
    std::vector<PoseRun> runs;
    runs.reserve(mesh.vertices.size());
    for (const Md5Vertex& vertex : mesh.vertices) {
        if (vertex.weightCount > 0) {
            std::int32_t& posed = posedCount[static_cast<std::size_t>(vertex.firstWeight)];
            if (posed == vertex.weightCount) continue;
            if (posed == 0) posed = vertex.weightCount;
        }
        runs.push_back({static_cast<std::uint32_t>(vertex.firstWeight), static_cast<std::uint32_t>(vertex.weightCount)});
    }
    return runs;
}

void computeWorldTransforms(const Scene& scene, std::size_t k, std::vector<Transform>& world)
{
    for (std::size_t j = 0; j < scene.joints.size(); ++j) {
        const Joint& joint = scene.joints[j];
        Transform rotation;
        Transform translation;
        Transform local;
        frameRotation(joint.frameAngles[k], rotation);
        translationTransform(joint.framePositions[k], translation);
        multiplyTransforms(rotation, translation, local);
        if (joint.parentIndex <= -1) {
            world[j] = local;
        } else {
            multiplyTransforms(local, world[static_cast<std::size_t>(joint.parentIndex)], world[j]);
        }
    }
}

} // namespace

void computeFrameBounds(Scene& scene)
{
    const std::size_t frames = static_cast<std::size_t>(scene.frameCount());
    scene.frameBounds.assign(frames, FrameBounds{});
    const Md5Mesh& mesh = scene.outputMeshes.front();
    const std::vector<PoseRun> runs = distinctWeightRuns(mesh);
    std::vector<PoseWeight> weights(mesh.weights.size());
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const Md5Weight& source = mesh.weights[i];
        weights[i] = {{source.offset.x, source.offset.y, source.offset.z},
                      source.bias,
                      source.bias,
                      static_cast<std::size_t>(source.joint)};
    }
    const PoseFunction pose = choosePoseFunction();

    forEachRange(frames, [&](std::size_t begin, std::size_t end) {
        std::vector<Transform> world(scene.joints.size());
        std::vector<JointRows> rows(scene.joints.size());
        for (std::size_t k = begin; k < end; ++k) {
            computeWorldTransforms(scene, k, world);
            for (std::size_t j = 0; j < world.size(); ++j) toRows(world[j], rows[j]);
            FrameBounds& box = scene.frameBounds[k];
            resetBounds(box.min, box.max);
            pose(weights.data(), runs.data(), runs.size(), rows.data(), box);
        }
    });
}

} // namespace lwmd5
