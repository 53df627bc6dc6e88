#pragma once

#include "math/vec3.h"
#include "object/lwo_object.h"
#include "skin/skeleton.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;

constexpr int kMaxVertexWeights = 8;

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

// The mesh of the object's first point set, first surface and first UV map:
// positions (s*x, s*z, s*y), texture v flipped, triangles. UV entries whose
// point is not a point of the mesh are skipped with a warning.
Md5Mesh buildMesh(const LwoObject& object, float scaleFactor, Reporter& report);

// Ties every vertex to joints through the weight maps the bones name,
// normalises the biases and lays out the md5 weight list.
Md5Mesh assignWeights(Md5Mesh mesh, const std::vector<Joint>& joints, const LwoObject& object, Reporter& report);

// Splits off a vertex for every triangle corner that a UV fix map of the
// first UV map's name gives its own texture coordinates.
Md5Mesh applyUvFixes(Md5Mesh mesh, const LwoObject& object, Reporter& report);

// The three stages in their order: the one skinned mesh of the object.
Md5Mesh buildSkinnedMesh(const LwoObject& object, const std::vector<Joint>& joints, float scaleFactor,
                         Reporter& report);

} // namespace lwmd5
