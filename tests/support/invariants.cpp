#include "support/invariants.h"

namespace lwmd5::testing {

namespace {

class Violations {
public:
    void check(bool holds, const std::string& what)
    {
        if (!holds) lines.push_back(what);
    }
    std::vector<std::string> lines;
};

void checkSkeleton(const Scene& scene, Violations& v)
{
    const auto jointCount = static_cast<int>(scene.joints.size());
    for (int i = 0; i < jointCount; ++i) {
        const Joint& joint = scene.joints[static_cast<std::size_t>(i)];
        const std::string where = "joint " + std::to_string(i) + " '" + joint.name + "'";
        v.check(joint.parentIndex >= -1 && joint.parentIndex < i,
                where + ": parent " + std::to_string(joint.parentIndex) + " does not come before it");
        if (joint.parentIndex >= 0 && joint.parentIndex < i) {
            v.check(scene.joints[static_cast<std::size_t>(joint.parentIndex)].name == joint.parentName,
                    where + ": parentIndex and parentName name different joints");
        }
        v.check(joint.bone >= 0 && static_cast<std::size_t>(joint.bone) < scene.bones.size(),
                where + ": built from no bone of the scene");
    }
}

void checkFrames(const Scene& scene, Violations& v)
{
    // Only animconv fills these; meshconv leaves every one of them empty.
    bool animated = !scene.frameBounds.empty();
    for (const Joint& joint : scene.joints) animated = animated || !joint.framePositions.empty();
    if (!animated) return;
    const auto frames = static_cast<std::size_t>(scene.frameCount());
    v.check(scene.frameBounds.size() == frames, "frameBounds does not hold one box per frame");
    for (const Joint& joint : scene.joints) {
        v.check(joint.framePositions.size() == frames && joint.frameAngles.size() == frames &&
                    joint.frameOrientations.size() == frames,
                "joint '" + joint.name + "': per-frame arrays are not one entry per frame");
    }
}

void checkObject(const Scene& scene, Violations& v)
{
    for (std::size_t m = 0; m < scene.object.meshes.size(); ++m) {
        const LwoMesh& mesh = scene.object.meshes[m];
        const std::string where = "object mesh " + std::to_string(m);
        for (const auto& triangle : mesh.triangles) {
            for (const std::int32_t corner : triangle) {
                v.check(corner >= 0 && corner < mesh.pointCount(), where + ": triangle corner outside its points");
            }
        }
        const std::vector<std::int32_t>& first = mesh.polygonFirstTriangle;
        if (first.empty()) continue; // no FACE chunk
        v.check(first.size() == static_cast<std::size_t>(mesh.polygonCount) + 1,
                where + ": polygon table is not polygonCount + 1 long");
        v.check(first.front() == 0 && first.back() == mesh.triangleCount(),
                where + ": polygon table does not span the triangles");
        for (std::size_t k = 1; k < first.size(); ++k) {
            v.check(first[k - 1] <= first[k], where + ": polygon table runs backwards");
        }
    }
}

void checkMesh(const Scene& scene, const Md5Mesh& mesh, std::size_t index, Violations& v)
{
    const std::string where = "output mesh " + std::to_string(index);
    const std::size_t weightCount = mesh.weights.size();
    std::vector<bool> used(weightCount, false);
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        const Md5Vertex& vertex = mesh.vertices[i];
        const bool inside = vertex.weightCount >= 1 && vertex.weightCount <= kMaxVertexWeights &&
                            vertex.firstWeight >= 0 &&
                            static_cast<std::size_t>(vertex.firstWeight) + static_cast<std::size_t>(vertex.weightCount) <=
                                weightCount;
        v.check(inside, where + ": vertex " + std::to_string(i) + " has no weight or weights outside the list");
        if (!inside) continue;
        for (std::int32_t w = 0; w < vertex.weightCount; ++w) used[static_cast<std::size_t>(vertex.firstWeight + w)] = true;
    }
    for (std::size_t w = 0; w < weightCount; ++w) {
        const Md5Weight& weight = mesh.weights[w];
        v.check(weight.joint >= 0 && static_cast<std::size_t>(weight.joint) < scene.joints.size(),
                where + ": weight " + std::to_string(w) + " names joint " + std::to_string(weight.joint));
        v.check(used[w], where + ": weight " + std::to_string(w) + " belongs to no vertex");
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        for (const std::int32_t corner : mesh.triangles[t].corners) {
            v.check(corner >= 0 && static_cast<std::size_t>(corner) < mesh.vertices.size(),
                    where + ": triangle " + std::to_string(t) + " names vertex " + std::to_string(corner));
        }
    }
    // Splits add at most one vertex per triangle corner.
    if (!scene.object.meshes.empty()) {
        const LwoMesh& source = scene.object.meshes.front();
        v.check(mesh.vertices.size() <= source.points.size() + 3 * source.triangles.size(),
                where + ": more vertices than points plus three per triangle");
        v.check(mesh.triangles.size() == source.triangles.size(), where + ": not one triangle per object triangle");
    }
}

} // namespace

std::vector<std::string> sceneInvariantViolations(const Scene& scene)
{
    Violations v;
    v.check(scene.joints.size() == scene.bones.size(), "not one joint per bone");
    checkSkeleton(scene, v);
    checkFrames(scene, v);
    checkObject(scene, v);
    v.check(scene.outputMeshes.size() <= 1, "more than one output mesh");
    for (std::size_t m = 0; m < scene.outputMeshes.size(); ++m) checkMesh(scene, scene.outputMeshes[m], m, v);
    return v.lines;
}

} // namespace lwmd5::testing
