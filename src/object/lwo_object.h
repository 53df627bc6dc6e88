#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {

// One point set: a PNTS chunk and the first FACE POLS chunk after it.
// Everything is stored as the file holds it; nothing is converted.
struct LwoMesh {
    std::vector<std::array<float, 3>> points;
    std::vector<std::array<std::int32_t, 3>> triangles;
    // Polygons of the FACE POLS chunk in file order; polygon k became the
    // triangles polygonFirstTriangle[k] up to polygonFirstTriangle[k + 1].
    // A polygon split into a fan owns several, a dropped one owns none.
    std::vector<std::int32_t> polygonFirstTriangle;
    // The surface tag of each polygon (an index into LwoObject::tags) from the
    // layer's PTAG SURF chunk; -1 for a polygon the chunk does not tag.
    std::vector<std::int32_t> polygonSurfaceTag;

    std::int32_t pointCount() const { return static_cast<std::int32_t>(points.size()); }
    // The polygons of the FACE POLS chunk, 0 while the point set has none.
    std::int32_t polygonCount() const
    {
        return polygonFirstTriangle.empty() ? 0 : static_cast<std::int32_t>(polygonFirstTriangle.size()) - 1;
    }
    std::int32_t triangleCount() const { return static_cast<std::int32_t>(triangles.size()); }
};

struct LwoUvEntry {
    std::int32_t pointIndex = 0;
    float u = 0.0f;
    float v = 0.0f;
};

struct LwoUvFixEntry {
    std::int32_t pointIndex = 0;
    std::int32_t polygonIndex = 0;
    float u = 0.0f;
    float v = 0.0f;
};

struct LwoWeightEntry {
    std::int32_t pointIndex = 0;
    float weight = 0.0f;
};

// Every map belongs to the point set (layer) read last before it: `mesh` is
// its index in LwoObject::meshes, -1 for a map before any point set.
struct LwoUvMap {
    std::string name;
    std::vector<LwoUvEntry> entries;
    int mesh = -1;
};

// Per-polygon texture coordinates (a VMAD chunk of type TXUV).
struct LwoUvFixMap {
    std::string name;
    std::vector<LwoUvFixEntry> entries;
    int mesh = -1;
};

struct LwoWeightMap {
    std::string name;
    std::vector<LwoWeightEntry> entries;
    int mesh = -1;
};

struct LwoSurface {
    std::string name;
};

struct LwoObject {
    std::vector<LwoMesh> meshes;
    std::vector<LwoUvMap> uvMaps;
    std::vector<LwoUvFixMap> uvFixMaps;
    std::vector<LwoWeightMap> weightMaps;
    std::vector<LwoSurface> surfaces;
    std::vector<std::string> tags; // the TAGS chunks' names, which PTAG records index
};

} // namespace lwmd5
