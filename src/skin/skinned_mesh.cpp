#include "skin/skinned_mesh.h"

#include "platform/report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace lwmd5 {

namespace {

void warnSkipped(Reporter& report, std::size_t skipped, const std::string& what)
{
    if (skipped == 0) return;
    report.warning(std::to_string(skipped) + " " + what);
}

const LwoMesh* firstMesh(const LwoObject& object)
{
    return object.meshes.empty() ? nullptr : &object.meshes.front();
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

// A bias that is not a number counts as the smallest.
bool smallerBias(float a, float b)
{
    if (std::isnan(a)) return !std::isnan(b);
    if (std::isnan(b)) return false;
    return a < b;
}

// The weights of one vertex in slot order, at most kMaxVertexWeights of them:
// once full, a newcomer replaces the smallest kept bias (the latest of equal
// smallest ones) only when it is strictly larger. That keeps the largest
// biases, the earlier slot winning a tie, in their slot order, with no more
// room than the kept slots whatever the maps hold.
struct VertexSlots {
    std::array<Slot, kMaxVertexWeights> slots;
    std::uint8_t count = 0;
    bool crowded = false;

    void add(const Slot& slot)
    {
        if (count < kMaxVertexWeights) {
            slots[count++] = slot;
            return;
        }
        crowded = true;
        std::size_t victim = 0;
        for (std::size_t k = 1; k < slots.size(); ++k) {
            if (!smallerBias(slots[victim].bias, slots[k].bias)) victim = k;
        }
        if (!smallerBias(slots[victim].bias, slot.bias)) return;
        std::copy(slots.begin() + static_cast<std::ptrdiff_t>(victim) + 1, slots.end(),
                  slots.begin() + static_cast<std::ptrdiff_t>(victim));
        slots.back() = slot;
    }
};

} // namespace

Md5Mesh buildMesh(const LwoObject& object, float scaleFactor, Reporter& report)
{
    Md5Mesh mesh;
    if (!object.surfaces.empty()) mesh.shader = object.surfaces.front().name;
    const LwoMesh* source = firstMesh(object);
    if (source == nullptr) return mesh;

    const double s = scaleFactor;
    mesh.vertices.resize(source->points.size());
    for (std::size_t k = 0; k < source->points.size(); ++k) {
        const auto& point = source->points[k];
        mesh.vertices[k].position = {static_cast<float>(s * point[0]), static_cast<float>(s * point[2]),
                                     static_cast<float>(s * point[1])};
    }
    if (!object.uvMaps.empty()) {
        const LwoUvMap& uvMap = object.uvMaps.front();
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
    return mesh;
}

namespace {

// Each vertex's weights in slot order: ordered by joint index first, then by
// map order, then by entry order. Weights of exactly 0 are no weights; not a
// number is. A vertex no map weights belongs to the first joint.
std::vector<VertexSlots> gatherWeights(std::size_t vertexCount, const std::vector<Joint>& joints,
                                       const LwoObject& object, Reporter& report)
{
    std::vector<VertexSlots> slots(vertexCount);
    std::vector<std::size_t> skippedPerMap(object.weightMaps.size(), 0);
    std::vector<bool> mapUsed(object.weightMaps.size(), false);
    for (std::size_t j = 0; j < joints.size(); ++j) {
        for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
            const LwoWeightMap& map = object.weightMaps[m];
            if (map.name != joints[j].weightMapName) continue;
            const bool firstUse = !mapUsed[m];
            mapUsed[m] = true;
            for (const LwoWeightEntry& entry : map.entries) {
                if (entry.weight == 0.0f) continue;
                if (entry.pointIndex < 0 || static_cast<std::size_t>(entry.pointIndex) >= vertexCount) {
                    if (firstUse) ++skippedPerMap[m];
                    continue;
                }
                slots[static_cast<std::size_t>(entry.pointIndex)].add({static_cast<std::int32_t>(j), entry.weight});
            }
        }
    }
    for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
        warnSkipped(report, skippedPerMap[m],
                    "entries of weight map '" + object.weightMaps[m].name + "' name no point of the mesh; skipped");
    }
    std::size_t crowded = 0;
    for (VertexSlots& vertexSlots : slots) {
        if (vertexSlots.crowded) ++crowded;
        if (vertexSlots.count == 0) vertexSlots.add({0, 1.0f});
    }
    if (crowded > 0) {
        report.warning(std::to_string(crowded) + " vertices have more than " + std::to_string(kMaxVertexWeights) +
                       " weights; the " + std::to_string(kMaxVertexWeights) + " largest of each are kept");
    }
    return slots;
}

// Normalises each vertex's biases (summed in slot order in double; a sum of 0
// leaves them) and lays the weights out vertex by vertex, each weight's
// offset being the vertex seen from its joint.
void layOutWeights(Md5Mesh& mesh, const std::vector<VertexSlots>& slots, const std::vector<Joint>& joints)
{
    std::size_t total = 0;
    for (const VertexSlots& vertexSlots : slots) total += vertexSlots.count;
    mesh.weights.clear();
    mesh.weights.reserve(total);
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        Md5Vertex& vertex = mesh.vertices[i];
        const Slot* first = slots[i].slots.data();
        const Slot* last = first + slots[i].count;
        double sum = 0.0;
        for (const Slot* slot = first; slot != last; ++slot) sum += slot->bias;
        const double reciprocal = sum != 0.0 ? 1.0 / sum : 0.0;
        vertex.firstWeight = static_cast<std::int32_t>(mesh.weights.size());
        vertex.weightCount = slots[i].count;
        for (const Slot* slot = first; slot != last; ++slot) {
            Md5Weight weight;
            weight.joint = slot->joint;
            weight.bias = sum != 0.0 ? static_cast<float>(slot->bias * reciprocal) : slot->bias;
            transformPoint(vertex.position, joints[static_cast<std::size_t>(slot->joint)].inverseBindTransform,
                           weight.offset);
            mesh.weights.push_back(weight);
        }
    }
}

} // namespace

Md5Mesh assignWeights(Md5Mesh mesh, const std::vector<Joint>& joints, const LwoObject& object, Reporter& report)
{
    const std::vector<VertexSlots> slots = gatherWeights(mesh.vertices.size(), joints, object, report);
    layOutWeights(mesh, slots, joints);
    return mesh;
}

Md5Mesh applyUvFixes(Md5Mesh mesh, const LwoObject& object, Reporter& report)
{
    const LwoMesh* source = firstMesh(object);
    if (source == nullptr || object.uvMaps.empty()) return mesh;
    const std::string& uvName = object.uvMaps.front().name;
    const std::int32_t pointCount = source->pointCount();
    const std::int32_t polygonCount = source->polygonCount();

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
    return mesh;
}

Md5Mesh buildSkinnedMesh(const LwoObject& object, const std::vector<Joint>& joints, float scaleFactor,
                         Reporter& report)
{
    return applyUvFixes(assignWeights(buildMesh(object, scaleFactor, report), joints, object, report), object, report);
}

} // namespace lwmd5
