#pragma once

#include "scene/scene.h"

namespace lwmd5 {

class Reporter;

// The one output mesh from the object's first point set, first surface and
// first UV map: positions (s*x, s*z, s*y), texture v flipped, triangles.
// UV entries whose point is not a point of the mesh are skipped with a warning.
void buildMesh(Scene& scene, Reporter& report);

// Ties every vertex to joints through the weight maps the bones name,
// normalises the biases and lays out the md5 weight list.
void assignWeights(Scene& scene, Reporter& report);

// Splits off a vertex for every triangle corner that a UV fix map of the
// first UV map's name gives its own texture coordinates.
void applyUvFixes(Scene& scene, Reporter& report);

} // namespace lwmd5
