#include "skin/surface_meshes.h"

#include "platform/report.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace lwmd5 {

namespace {

// What a layer gives each of its points, whichever surfaces use it.
struct LayerPoints {
    std::vector<VertexSlots> slots;
    std::vector<std::array<float, 2>> uv; // u and the flipped v
    const LwoUvMap* uvMap = nullptr;      // the layer's first UV map
};

const LwoUvMap* firstUvMapOf(const LwoObject& object, std::size_t layer)
{
    for (const LwoUvMap& map : object.uvMaps) {
        if (map.mesh == static_cast<int>(layer)) return &map;
    }
    return nullptr;
}

std::vector<LayerPoints> prepareLayers(const LwoObject& object, const std::vector<Joint>& joints,
                                       const MeshOptions& options, Reporter& report)
{
    std::vector<LayerPoints> layers(object.meshes.size());
    for (std::size_t l = 0; l < layers.size(); ++l) {
        const std::size_t points = object.meshes[l].points.size();
        std::vector<bool> ownMaps(object.weightMaps.size());
        for (std::size_t m = 0; m < ownMaps.size(); ++m) ownMaps[m] = object.weightMaps[m].mesh == static_cast<int>(l);
        layers[l].slots = gatherWeights(points, joints, object, ownMaps, options.maxWeights, report);
        layers[l].uv.assign(points, {0.0f, 0.0f});
        layers[l].uvMap = firstUvMapOf(object, l);
        if (layers[l].uvMap == nullptr) continue;
        std::size_t skipped = 0;
        for (const LwoUvEntry& entry : layers[l].uvMap->entries) {
            if (entry.pointIndex < 0 || static_cast<std::size_t>(entry.pointIndex) >= points) {
                ++skipped;
                continue;
            }
            layers[l].uv[static_cast<std::size_t>(entry.pointIndex)] = {entry.u, flippedV(entry.v)};
        }
        warnSkipped(report, skipped,
                    "entries of UV map '" + layers[l].uvMap->name + "' name no point of their layer; skipped");
    }
    return layers;
}

// The mesh each polygon goes to, and the meshes' surface names in output
// order: the object's surfaces first, then tag names that name no surface.
struct SurfaceGroups {
    std::vector<std::string> names;
    std::vector<std::vector<std::int32_t>> groupOfPolygon; // per layer, per polygon
    // Per group, its polygons as (layer, polygon) in layer and file order.
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> polygonsOfGroup;
};

SurfaceGroups groupPolygons(const LwoObject& object)
{
    SurfaceGroups groups;
    std::unordered_map<std::string, std::int32_t> groupOfName;
    const auto groupOf = [&](const std::string& name) {
        const auto [found, fresh] = groupOfName.emplace(name, static_cast<std::int32_t>(groups.names.size()));
        if (fresh) groups.names.push_back(name);
        return found->second;
    };
    for (const LwoSurface& surface : object.surfaces) groupOf(surface.name);
    // Tags name their group once; a polygon without a tag goes with the first surface.
    const std::string untagged = object.surfaces.empty() ? std::string() : object.surfaces.front().name;
    std::vector<std::int32_t> groupOfTag(object.tags.size(), -1);
    std::int32_t untaggedGroup = -1;
    for (const LwoMesh& layer : object.meshes) {
        std::vector<std::int32_t>& group = groups.groupOfPolygon.emplace_back(layer.polygonCount());
        for (std::size_t p = 0; p < group.size(); ++p) {
            const std::int32_t tag = p < layer.polygonSurfaceTag.size() ? layer.polygonSurfaceTag[p] : -1;
            if (tag >= 0 && static_cast<std::size_t>(tag) < object.tags.size()) {
                std::int32_t& known = groupOfTag[static_cast<std::size_t>(tag)];
                if (known < 0) known = groupOf(object.tags[static_cast<std::size_t>(tag)]);
                group[p] = known;
            } else {
                if (untaggedGroup < 0) untaggedGroup = groupOf(untagged);
                group[p] = untaggedGroup;
            }
        }
    }
    groups.polygonsOfGroup.resize(groups.names.size());
    for (std::size_t l = 0; l < groups.groupOfPolygon.size(); ++l) {
        const std::vector<std::int32_t>& group = groups.groupOfPolygon[l];
        for (std::size_t p = 0; p < group.size(); ++p) {
            groups.polygonsOfGroup[static_cast<std::size_t>(group[p])].emplace_back(static_cast<std::uint32_t>(l),
                                                                                   static_cast<std::uint32_t>(p));
        }
    }
    return groups;
}

struct Fix {
    std::size_t layer;
    const LwoUvFixEntry* entry;
};

// Each mesh's texture fixes, in map and entry order: the per-polygon UV maps
// of each layer's own UV map.
std::vector<std::vector<Fix>> fixesByGroup(const LwoObject& object, const std::vector<LayerPoints>& layers,
                                           const SurfaceGroups& groups, Reporter& report)
{
    std::vector<std::vector<Fix>> fixes(groups.names.size());
    for (const LwoUvFixMap& map : object.uvFixMaps) {
        if (map.mesh < 0) continue;
        const auto layer = static_cast<std::size_t>(map.mesh);
        if (layers[layer].uvMap == nullptr || map.name != layers[layer].uvMap->name) continue;
        const LwoMesh& source = object.meshes[layer];
        std::size_t skipped = 0;
        for (const LwoUvFixEntry& entry : map.entries) {
            if (entry.pointIndex < 0 || entry.pointIndex >= source.pointCount() || entry.polygonIndex < 0 ||
                entry.polygonIndex >= source.polygonCount()) {
                ++skipped;
                continue;
            }
            const std::int32_t group = groups.groupOfPolygon[layer][static_cast<std::size_t>(entry.polygonIndex)];
            fixes[static_cast<std::size_t>(group)].push_back({layer, &entry});
        }
        warnSkipped(report, skipped,
                    "entries of UV fix map '" + map.name + "' name no point or polygon of their layer; skipped");
    }
    return fixes;
}

// Builds the meshes one at a time, with one table per layer of the vertex
// each point has in the mesh being built.
class SurfaceMeshBuilder {
public:
    SurfaceMeshBuilder(const LwoObject& object, const std::vector<Joint>& joints, const MeshOptions& options,
                       const std::vector<LayerPoints>& layers, const SurfaceGroups& groups)
        : object_(object), joints_(joints), options_(options), layers_(layers), groups_(groups)
    {
        for (const LwoMesh& layer : object.meshes) {
            vertexOfPoint_.emplace_back(layer.points.size(), -1);
            triangleInMesh_.emplace_back(layer.triangles.size(), -1);
            totalPoints_ += layer.points.size();
        }
    }

    // The mesh of group `group`; empty when the surface has no triangles.
    Md5Mesh build(std::int32_t group, const std::vector<Fix>& fixes);

private:
    void addVertices(std::int32_t group, Md5Mesh& mesh);
    void addTriangles(std::int32_t group, Md5Mesh& mesh);
    void applyFixes(const std::vector<Fix>& fixes, Md5Mesh& mesh);

    const LwoObject& object_;
    const std::vector<Joint>& joints_;
    const MeshOptions& options_;
    const std::vector<LayerPoints>& layers_;
    const SurfaceGroups& groups_;
    std::vector<std::vector<std::int32_t>> vertexOfPoint_;  // per layer; -1 outside the mesh being built
    std::vector<std::vector<std::int32_t>> triangleInMesh_; // per layer
    std::vector<std::pair<std::uint32_t, std::int32_t>> sources_; // each vertex's layer and point
    std::size_t totalPoints_ = 0;
    std::vector<VertexSlots> slots_;
};

// The vertices: every point the group's triangles use, in layer and point
// order, so that one surface over one layer keeps the points' order.
void SurfaceMeshBuilder::addVertices(std::int32_t group, Md5Mesh& mesh)
{
    constexpr std::int32_t kSeen = -2;
    for (const auto& [l, p] : groups_.polygonsOfGroup[static_cast<std::size_t>(group)]) {
        const LwoMesh& layer = object_.meshes[l];
        for (std::int32_t t = layer.polygonFirstTriangle[p]; t < layer.polygonFirstTriangle[p + 1]; ++t) {
            for (const std::int32_t point : layer.triangles[static_cast<std::size_t>(t)]) {
                std::int32_t& vertex = vertexOfPoint_[l][static_cast<std::size_t>(point)];
                if (vertex == kSeen) continue;
                vertex = kSeen;
                sources_.emplace_back(l, point);
            }
        }
    }
    // In layer and point order: a group that uses many of the points is
    // gathered by walking the tables, a small one by sorting.
    if (sources_.size() >= totalPoints_ / 8) {
        sources_.clear();
        for (std::size_t l = 0; l < vertexOfPoint_.size(); ++l) {
            for (std::size_t point = 0; point < vertexOfPoint_[l].size(); ++point) {
                if (vertexOfPoint_[l][point] == kSeen) sources_.emplace_back(l, static_cast<std::int32_t>(point));
            }
        }
    } else {
        std::sort(sources_.begin(), sources_.end());
    }
    mesh.vertices.resize(sources_.size());
    slots_.resize(sources_.size());
    for (std::size_t v = 0; v < sources_.size(); ++v) {
        const auto [l, point] = sources_[v];
        const auto p = static_cast<std::size_t>(point);
        vertexOfPoint_[l][p] = static_cast<std::int32_t>(v);
        Md5Vertex& vertex = mesh.vertices[v];
        vertex.position = vertexPosition(object_.meshes[l].points[p], options_.scaleFactor);
        vertex.u = layers_[l].uv[p][0];
        vertex.v = layers_[l].uv[p][1];
        slots_[v] = layers_[l].slots[p];
    }
}

void SurfaceMeshBuilder::addTriangles(std::int32_t group, Md5Mesh& mesh)
{
    for (const auto& [l, p] : groups_.polygonsOfGroup[static_cast<std::size_t>(group)]) {
        const LwoMesh& layer = object_.meshes[l];
        for (std::int32_t t = layer.polygonFirstTriangle[p]; t < layer.polygonFirstTriangle[p + 1]; ++t) {
            const auto& corners = layer.triangles[static_cast<std::size_t>(t)];
            triangleInMesh_[l][static_cast<std::size_t>(t)] = static_cast<std::int32_t>(mesh.triangles.size());
            Md5Triangle& triangle = mesh.triangles.emplace_back();
            for (std::size_t c = 0; c < 3; ++c) {
                triangle.corners[c] = vertexOfPoint_[l][static_cast<std::size_t>(corners[c])];
            }
        }
    }
}

// A fix splits off a vertex at each triangle corner of its polygon that holds
// its point; a split vertex shares its source's weights.
void SurfaceMeshBuilder::applyFixes(const std::vector<Fix>& fixes, Md5Mesh& mesh)
{
    for (const Fix& fix : fixes) {
        const LwoMesh& layer = object_.meshes[fix.layer];
        const std::int32_t vertex = vertexOfPoint_[fix.layer][static_cast<std::size_t>(fix.entry->pointIndex)];
        if (vertex < 0) continue;
        const auto polygon = static_cast<std::size_t>(fix.entry->polygonIndex);
        for (std::int32_t t = layer.polygonFirstTriangle[polygon]; t < layer.polygonFirstTriangle[polygon + 1]; ++t) {
            const std::int32_t local = triangleInMesh_[fix.layer][static_cast<std::size_t>(t)];
            for (std::int32_t& corner : mesh.triangles[static_cast<std::size_t>(local)].corners) {
                if (corner != vertex) continue;
                Md5Vertex split = mesh.vertices[static_cast<std::size_t>(corner)];
                split.u = fix.entry->u;
                split.v = flippedV(fix.entry->v);
                corner = static_cast<std::int32_t>(mesh.vertices.size());
                mesh.vertices.push_back(split);
                break;
            }
        }
    }
}

Md5Mesh SurfaceMeshBuilder::build(std::int32_t group, const std::vector<Fix>& fixes)
{
    Md5Mesh mesh;
    mesh.shader = options_.shaderPrefix + groups_.names[static_cast<std::size_t>(group)];
    sources_.clear();
    addVertices(group, mesh);
    addTriangles(group, mesh);
    layOutWeights(mesh, slots_, joints_);
    applyFixes(fixes, mesh);
    for (const auto& [layer, point] : sources_) vertexOfPoint_[layer][static_cast<std::size_t>(point)] = -1;
    return mesh;
}

} // namespace

std::vector<Md5Mesh> buildSurfaceMeshes(const LwoObject& object, const std::vector<Joint>& joints,
                                        const MeshOptions& options, Reporter& report)
{
    const std::vector<LayerPoints> layers = prepareLayers(object, joints, options, report);
    const SurfaceGroups groups = groupPolygons(object);
    const std::vector<std::vector<Fix>> fixes = fixesByGroup(object, layers, groups, report);
    SurfaceMeshBuilder builder(object, joints, options, layers, groups);
    std::vector<Md5Mesh> meshes;
    for (std::size_t g = 0; g < groups.names.size(); ++g) {
        Md5Mesh mesh = builder.build(static_cast<std::int32_t>(g), fixes[g]);
        if (!mesh.triangles.empty()) meshes.push_back(std::move(mesh));
    }
    // A model without triangles still has its one mesh, empty, as the
    // converters' own output has.
    if (meshes.empty()) meshes.emplace_back().shader = options.shaderPrefix + (groups.names.empty() ? "" : groups.names[0]);
    return meshes;
}

} // namespace lwmd5
