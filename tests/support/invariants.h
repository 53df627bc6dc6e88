#pragma once

#include "scene/scene.h"

#include <string>
#include <vector>

namespace lwmd5::testing {

// What every stage leaves true of a Scene, checked after the stages ran (in
// either program): parents before children and named consistently, weight
// joints in range, at least one weight per vertex and every weight used,
// triangle corners in range, the per-frame arrays as long as the frame
// range, the object's polygon-to-triangle table matching its triangles.
// Returns one line per broken rule; empty when all hold.
std::vector<std::string> sceneInvariantViolations(const Scene& scene);

} // namespace lwmd5::testing
