#include "app/output_check.h"

#include "md5/md5mesh_writer.h"
#include "platform/report.h"

#include <cmath>

namespace lwmd5 {

namespace {

bool finite(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite(const Quat& q)
{
    return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

bool refuse(Reporter& report, const std::string& scenePath, const std::string& what)
{
    report.error(scenePath + ": " + what + " is not a finite number, which no md5 loader reads; nothing was written");
    return false;
}

} // namespace

bool checkMeshOutputIsFinite(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes,
                             const std::string& scenePath, Reporter& report)
{
    for (const Joint& joint : joints) {
        if (!finite(joint.bindTransform.t) || !finite(bindOrientation(joint))) {
            return refuse(report, scenePath, "the bind pose of joint '" + joint.name + "' (its rest position or direction)");
        }
    }
    for (const Md5Mesh& mesh : meshes) {
        for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
            const Md5Vertex& vertex = mesh.vertices[i];
            if (!std::isfinite(vertex.u) || !std::isfinite(vertex.v)) {
                return refuse(report, scenePath, "the texture coordinate of vertex " + std::to_string(i));
            }
        }
        for (std::size_t i = 0; i < mesh.weights.size(); ++i) {
            const Md5Weight& weight = mesh.weights[i];
            if (!std::isfinite(weight.bias) || !finite(weight.offset)) {
                return refuse(report, scenePath,
                              "weight " + std::to_string(i) + " (its point's position or weight map value)");
            }
        }
    }
    return true;
}

bool checkAnimationOutputIsFinite(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                                  const std::vector<FrameBounds>& bounds, int firstFrame, const std::string& scenePath,
                                  Reporter& report)
{
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        const std::string frame = std::to_string(static_cast<std::int64_t>(firstFrame) + static_cast<std::int64_t>(k));
        for (std::size_t j = 0; j < joints.size(); ++j) {
            if (!finite(channels[j].framePositions[k]) || !finite(channels[j].frameOrientations[k])) {
                return refuse(report, scenePath,
                              "the position or orientation of joint '" + joints[j].name + "' at frame " + frame +
                                  " (its bone's motion keys)");
            }
        }
        if (!finite(bounds[k].min) || !finite(bounds[k].max)) {
            return refuse(report, scenePath, "the bounding box of frame " + frame + " (the posed mesh)");
        }
    }
    return true;
}

} // namespace lwmd5
