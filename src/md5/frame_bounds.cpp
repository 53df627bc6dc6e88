#include "md5/frame_bounds.h"

#include "math/bounds.h"
#include "md5/joint_channels.h"
#include "md5/parallel_frames.h"

namespace lwmd5 {

namespace {

// Vertices that split off a source vertex share its weights and pose to the
// very same point, which cannot change a box the source has already grown.
// The vertices worth posing: the first of each weight run, in vertex order.
std::vector<std::size_t> distinctlyWeightedVertices(const Md5Mesh& mesh)
{
    std::vector<bool> seen(mesh.weights.size() + 1, false);
    std::vector<std::size_t> result;
    result.reserve(mesh.vertices.size());
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Md5Vertex& vertex = mesh.vertices[i];
        const auto first = static_cast<std::size_t>(vertex.firstWeight);
        if (vertex.weightCount > 0 && seen[first]) continue;
        if (vertex.weightCount > 0) seen[first] = true;
        result.push_back(i);
    }
    return result;
}

} // namespace

void computeFrameBounds(Scene& scene)
{
    const std::size_t frames = static_cast<std::size_t>(scene.frameCount());
    scene.frameBounds.assign(frames, FrameBounds{});
    const Md5Mesh& mesh = scene.outputMeshes.front();
    const std::vector<std::size_t> posed = distinctlyWeightedVertices(mesh);

    forEachFrameRange(frames, [&](std::size_t begin, std::size_t end) {
        std::vector<Transform> world(scene.joints.size());
        for (std::size_t k = begin; k < end; ++k) {
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
            FrameBounds& box = scene.frameBounds[k];
            resetBounds(box.min, box.max);
            for (const std::size_t v : posed) {
                const Md5Vertex& vertex = mesh.vertices[v];
                Vec3 point;
                for (std::int32_t w = 0; w < vertex.weightCount; ++w) {
                    const Md5Weight& weight = mesh.weights[static_cast<std::size_t>(vertex.firstWeight + w)];
                    Vec3 moved;
                    transformPoint(weight.offset, world[static_cast<std::size_t>(weight.joint)], moved);
                    const double bias = weight.bias;
                    point.x = static_cast<float>(point.x + static_cast<double>(static_cast<float>(bias * moved.x)));
                    point.y = static_cast<float>(point.y + static_cast<double>(static_cast<float>(bias * moved.y)));
                    point.z = static_cast<float>(point.z + static_cast<double>(static_cast<float>(bias * moved.z)));
                }
                extendBounds(point, box.min, box.max);
            }
        }
    });
}

} // namespace lwmd5
