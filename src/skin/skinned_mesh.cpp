#include "skin/skinned_mesh.h"

#include "platform/report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace lwmd5 {

namespace {

const LwoMesh* firstMesh(const LwoObject& object)
{
    return object.meshes.empty() ? nullptr : &object.meshes.front();
}

} // namespace

Vec3 vertexPosition(const std::array<float, 3>& point, float scaleFactor)
{
    const double s = scaleFactor;
    return {static_cast<float>(s * point[0]), static_cast<float>(s * point[2]), static_cast<float>(s * point[1])};
}

float flippedV(float v)
{
    return static_cast<float>(1.0 - static_cast<double>(v));
}

Md5Mesh buildMesh(const LwoObject& object, const MeshOptions& options, Reporter& report)
{
    Md5Mesh mesh;
    if (!object.surfaces.empty()) mesh.shader = options.shaderPrefix + object.surfaces.front().name;
    const LwoMesh* source = firstMesh(object);
    if (source == nullptr) return mesh;

    mesh.vertices.resize(source->points.size());
    for (std::size_t k = 0; k < source->points.size(); ++k) {
        mesh.vertices[k].position = vertexPosition(source->points[k], options.scaleFactor);
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

Md5Mesh assignWeights(Md5Mesh mesh, const std::vector<Joint>& joints, const LwoObject& object, int maxWeights,
                      Reporter& report)
{
    // Every weight map weights the first point set.
    const std::vector<bool> everyMap(object.weightMaps.size(), true);
    const std::vector<VertexSlots> slots =
        gatherWeights(mesh.vertices.size(), joints, object, everyMap, maxWeights, report);
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

Md5Mesh buildSkinnedMesh(const LwoObject& object, const std::vector<Joint>& joints, const MeshOptions& options,
                         Reporter& report)
{
    Md5Mesh mesh = buildMesh(object, options, report);
    mesh = assignWeights(std::move(mesh), joints, object, options.maxWeights, report);
    return applyUvFixes(std::move(mesh), object, report);
}

} // namespace lwmd5
