#pragma once

#include "object/lwo_object.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

#include <vector>

namespace lwmd5 {

class Reporter;

// One md5 mesh per surface that has triangles, in the object's surface order,
// from the points and polygons of every layer; the shader is the surface's
// name after the prefix. A polygon goes to the surface its PTAG SURF record
// names (one without a record to the first surface; a tag that names no SURF
// chunk makes a mesh of its own, after the surfaces). A point used by two
// surfaces is a vertex of each. Each layer's own maps apply to its own
// points: its first UV map, its weight maps, and the per-polygon UV maps of
// that UV map's name. Without any triangle, one empty mesh.
std::vector<Md5Mesh> buildSurfaceMeshes(const LwoObject& object, const std::vector<Joint>& joints,
                                        const MeshOptions& options, Reporter& report);

} // namespace lwmd5
