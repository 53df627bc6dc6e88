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

void computeWorldTransforms(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                            std::size_t k, SceneMapping mapping, std::vector<Transform>& world)
{
    for (std::size_t j = 0; j < joints.size(); ++j) {
        Transform rotation;
        Transform translation;
        Transform local;
        mapRotation(mapping, channels[j].frameAngles[k], rotation);
        translationTransform(channels[j].framePositions[k], translation);
        multiplyTransforms(rotation, translation, local);
        const int parent = joints[j].parentIndex;
        if (parent <= -1) {
            world[j] = local;
        } else {
            multiplyTransforms(local, world[static_cast<std::size_t>(parent)], world[j]);
        }
    }
}

// The weights as the posing loop reads them, and the runs worth posing, of
// every mesh one after the other.
struct PosingInput {
    std::vector<PoseWeight> weights;
    std::vector<PoseRun> runs;
};

PosingInput preparePosing(const std::vector<Md5Mesh>& meshes)
{
    PosingInput input;
    for (const Md5Mesh& mesh : meshes) {
        const auto base = static_cast<std::uint32_t>(input.weights.size());
        for (const Md5Weight& source : mesh.weights) {
            input.weights.push_back({{source.offset.x, source.offset.y, source.offset.z},
                                     source.bias,
                                     source.bias,
                                     static_cast<std::size_t>(source.joint)});
        }
        for (PoseRun run : distinctWeightRuns(mesh)) {
            run.first += base;
            input.runs.push_back(run);
        }
    }
    return input;
}

} // namespace

std::vector<FrameBounds> computeFrameBounds(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                                            const std::vector<Md5Mesh>& meshes, unsigned threads, SceneMapping mapping)
{
    const std::size_t frames = channels.empty() ? 0 : channels.front().frameAngles.size();
    std::vector<FrameBounds> bounds(frames);
    const PosingInput input = preparePosing(meshes);
    const PoseFunction pose = choosePoseFunction();

    forEachRange(frames, threads, [&](std::size_t begin, std::size_t end) {
        std::vector<Transform> world(joints.size());
        std::vector<JointRows> rows(joints.size());
        for (std::size_t k = begin; k < end; ++k) {
            computeWorldTransforms(joints, channels, k, mapping, world);
            for (std::size_t j = 0; j < world.size(); ++j) toRows(world[j], rows[j]);
            FrameBounds& box = bounds[k];
            resetBounds(box.min, box.max);
            pose(input.weights.data(), input.runs.data(), input.runs.size(), rows.data(), box);
        }
    });
    return bounds;
}

} // namespace lwmd5
