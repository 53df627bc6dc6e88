#pragma once

#include "math/vec3.h"
#include "object/lwo_object.h"
#include "skin/skeleton.h"
#include "skin/weights.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;

struct Md5Vertex {
    float u = 0.0f;
    float v = 0.0f; // 1 - the object's v
    std::int32_t firstWeight = 0;
    std::int32_t weightCount = 0;
    Vec3 position;
};

struct Md5Weight {
    std::int32_t joint = 0;
    float bias = 0.0f;
    Vec3 offset; // the vertex position in the joint's space
};

struct Md5Triangle {
    std::int32_t corners[3] = {};
};

struct Md5Mesh {
    std::string shader;
    std::vector<Md5Vertex> vertices;
    std::vector<Md5Triangle> triangles;
    std::vector<Md5Weight> weights;
};

// What the mesh stages are asked for besides the object and the skeleton.
struct MeshOptions {
    float scaleFactor = 1.0f;
    int maxWeights = kMaxVertexWeights; // 1 to kMaxVertexWeights
    std::string shaderPrefix;           // put in front of every shader name
};

// A point (x, y, z) of the object as a vertex position: (s*x, s*z, s*y).
Vec3 vertexPosition(const std::array<float, 3>& point, float scaleFactor);
// The texture v a vertex stores: 1 - the object's v.
float flippedV(float v);

// The mesh of the object's first point set, first surface and first UV map:
// positions (s*x, s*z, s*y), texture v flipped, triangles. UV entries whose
// point is not a point of the mesh are skipped with a warning.
Md5Mesh buildMesh(const LwoObject& object, const MeshOptions& options, Reporter& report);

// Ties every vertex to joints through the weight maps the bones name (each
// keeping its `maxWeights` largest), normalises the biases and lays out the
// md5 weight list.
Md5Mesh assignWeights(Md5Mesh mesh, const std::vector<Joint>& joints, const LwoObject& object, int maxWeights,
                      Reporter& report);

// Splits off a vertex for every triangle corner that a UV fix map of the
// first UV map's name gives its own texture coordinates.
Md5Mesh applyUvFixes(Md5Mesh mesh, const LwoObject& object, Reporter& report);

// The three stages in their order: the one skinned mesh of the object.
Md5Mesh buildSkinnedMesh(const LwoObject& object, const std::vector<Joint>& joints, const MeshOptions& options,
                         Reporter& report);

} // namespace lwmd5
