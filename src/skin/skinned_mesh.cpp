#include "skin/skinned_mesh.h"

#include "platform/report.h"

#include <algorithm>
#include <string>

namespace lwmd5 {

namespace {

void warnSkipped(Reporter& report, std::size_t skipped, const std::string& what)
{
    if (skipped == 0) return;
    report.warning(std::to_string(skipped) + " " + what);
}

const LwoMesh* firstMesh(const Scene& scene)
{
    return scene.object.meshes.empty() ? nullptr : &scene.object.meshes.front();
}

float flippedV(float v)
{
    return static_cast<float>(1.0 - static_cast<double>(v));
}

// One weight of a vertex while the weights are gathered.
struct Slot {
    std::int32_t joint;
    float bias;
};

// Keeps the eight largest biases in their slot order; of equal biases the
// earlier slot stays. A bias that is not a number counts as the smallest.
void keepLargestSlots(std::vector<Slot>& slots)
{
    std::vector<std::size_t> rank(slots.size());
    for (std::size_t i = 0; i < rank.size(); ++i) rank[i] = i;
    auto larger = [&](std::size_t a, std::size_t b) {
        const float x = slots[a].bias;
        const float y = slots[b].bias;
        if (x != x) return false;
        if (y != y) return true;
        return x > y;
    };
    std::stable_sort(rank.begin(), rank.end(), larger);
    rank.resize(kMaxVertexWeights);
    std::sort(rank.begin(), rank.end());
    std::vector<Slot> kept;
    kept.reserve(kMaxVertexWeights);
    for (const std::size_t i : rank) kept.push_back(slots[i]);
    slots = std::move(kept);
}

} // namespace

void buildMesh(Scene& scene, Reporter& report)
{
    scene.outputMeshes.assign(1, Md5Mesh{});
    Md5Mesh& mesh = scene.outputMeshes.front();
    if (!scene.object.surfaces.empty()) mesh.shader = scene.object.surfaces.front().name;
    const LwoMesh* source = firstMesh(scene);
    if (source == nullptr) return;

    const double s = scene.scaleFactor;
    mesh.vertices.resize(source->points.size());
    for (std::size_t k = 0; k < source->points.size(); ++k) {
        const auto& point = source->points[k];
        mesh.vertices[k].position = {static_cast<float>(s * point[0]), static_cast<float>(s * point[2]),
                                     static_cast<float>(s * point[1])};
    }
    if (!scene.object.uvMaps.empty()) {
        const LwoUvMap& uvMap = scene.object.uvMaps.front();
        std::size_t skipped = 0;
        for (const LwoUvEntry& entry : uvMap.entries) {
            if (entry.pointIndex < 0 || entry.pointIndex >= source->pointCount()) {
                ++skipped;
                continue;
            }
            Md5Vertex& vertex = mesh.vertices[static_cast<std::size_t>(entry.pointIndex)];
            vertex.u = entry.u;
            vertex.v = flippedV(entry.v);
        }
        warnSkipped(report, skipped, "entries of UV map '" + uvMap.name + "' name no point of the mesh; skipped");
    }
    mesh.triangles.resize(source->triangles.size());
    for (std::size_t t = 0; t < source->triangles.size(); ++t) {
        for (int c = 0; c < 3; ++c) mesh.triangles[t].corners[c] = source->triangles[t][static_cast<std::size_t>(c)];
    }
}

void assignWeights(Scene& scene, Reporter& report)
{
    Md5Mesh& mesh = scene.outputMeshes.front();
    const std::size_t vertexCount = mesh.vertices.size();
    const LwoObject& object = scene.object;

    // Gathering: slots ordered by joint index first, then by map order, then
    // by entry order. Weights of exactly 0 are no weights; not a number is.
    std::vector<std::vector<Slot>> slots(vertexCount);
    std::vector<std::size_t> skippedPerMap(object.weightMaps.size(), 0);
    std::vector<bool> mapUsed(object.weightMaps.size(), false);
    for (std::size_t j = 0; j < scene.joints.size(); ++j) {
        const Joint& joint = scene.joints[j];
        for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
            const LwoWeightMap& map = object.weightMaps[m];
            if (map.name != joint.weightMapName) continue;
            const bool firstUse = !mapUsed[m];
            mapUsed[m] = true;
            for (const LwoWeightEntry& entry : map.entries) {
                if (entry.weight == 0.0f) continue;
                if (entry.pointIndex < 0 || static_cast<std::size_t>(entry.pointIndex) >= vertexCount) {
                    if (firstUse) ++skippedPerMap[m];
                    continue;
                }
                slots[static_cast<std::size_t>(entry.pointIndex)].push_back({static_cast<std::int32_t>(j), entry.weight});
            }
        }
    }
    for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
        warnSkipped(report, skippedPerMap[m],
                    "entries of weight map '" + object.weightMaps[m].name + "' name no point of the mesh; skipped");
    }

    std::size_t crowded = 0;
    std::size_t total = 0;
    for (std::vector<Slot>& vertexSlots : slots) {
        if (vertexSlots.size() > static_cast<std::size_t>(kMaxVertexWeights)) {
            keepLargestSlots(vertexSlots);
            ++crowded;
        }
        if (vertexSlots.empty()) vertexSlots.push_back({0, 1.0f});
        total += vertexSlots.size();
    }
    if (crowded > 0) {
        report.warning(std::to_string(crowded) + " vertices have more than " + std::to_string(kMaxVertexWeights) +
                       " weights; the " + std::to_string(kMaxVertexWeights) + " largest of each are kept");
    }

    // Normalising and laying out, vertex by vertex.
    mesh.weights.clear();
    mesh.weights.reserve(total);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        Md5Vertex& vertex = mesh.vertices[i];
        const std::vector<Slot>& vertexSlots = slots[i];
        double sum = 0.0;
        for (const Slot& slot : vertexSlots) sum += slot.bias;
        const double reciprocal = sum != 0.0 ? 1.0 / sum : 0.0;
        vertex.firstWeight = static_cast<std::int32_t>(mesh.weights.size());
        vertex.weightCount = static_cast<std::int32_t>(vertexSlots.size());
        for (const Slot& slot : vertexSlots) {
            Md5Weight weight;
            weight.joint = slot.joint;
            weight.bias = sum != 0.0 ? static_cast<float>(slot.bias * reciprocal) : slot.bias;
            transformPoint(vertex.position, scene.joints[static_cast<std::size_t>(slot.joint)].inverseBindTransform,
                           weight.offset);
            mesh.weights.push_back(weight);
        }
    }
}

void applyUvFixes(Scene& scene, Reporter& report)
{
    const LwoObject& object = scene.object;
    const LwoMesh* source = firstMesh(scene);
    if (source == nullptr || object.uvMaps.empty()) return;
    const std::string& uvName = object.uvMaps.front().name;
    Md5Mesh& mesh = scene.outputMeshes.front();
    const std::int32_t pointCount = source->pointCount();
    const std::int32_t polygonCount = static_cast<std::int32_t>(source->polygonFirstTriangle.size()) - 1;

    for (const LwoUvFixMap& map : object.uvFixMaps) {
        if (map.name != uvName) continue;
        std::size_t skipped = 0;
        for (const LwoUvFixEntry& entry : map.entries) {
            if (entry.pointIndex < 0 || entry.pointIndex >= pointCount || entry.polygonIndex < 0 ||
                entry.polygonIndex >= polygonCount) {
                ++skipped;
                continue;
            }
            const auto polygon = static_cast<std::size_t>(entry.polygonIndex);
            // A polygon split into a fan gives each of its triangles the fix.
            for (std::int32_t t = source->polygonFirstTriangle[polygon]; t < source->polygonFirstTriangle[polygon + 1];
                 ++t) {
                Md5Triangle& triangle = mesh.triangles[static_cast<std::size_t>(t)];
                for (std::int32_t& corner : triangle.corners) {
                    if (corner != entry.pointIndex) continue;
                    Md5Vertex split = mesh.vertices[static_cast<std::size_t>(corner)];
                    split.u = entry.u;
                    split.v = flippedV(entry.v);
                    corner = static_cast<std::int32_t>(mesh.vertices.size());
                    mesh.vertices.push_back(split);
                    break;
                }
            }
        }
        warnSkipped(report, skipped,
                    "entries of UV fix map '" + map.name + "' name no point or polygon of the mesh; skipped");
    }
}

} // namespace lwmd5
