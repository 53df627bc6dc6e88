#pragma once

#include "scene/scene.h"

#include <string>

namespace lwmd5 {

class Reporter;

// No md5 loader reads "nan" or "inf". False, after one error line naming the
// first such value and where it comes from, when the output would hold a
// value that is not a finite number (from input numbers that are not, or
// that overflow once converted).
bool checkMeshOutputIsFinite(const Scene& scene, const std::string& scenePath, Reporter& report);
bool checkAnimationOutputIsFinite(const Scene& scene, const std::string& scenePath, Reporter& report);

} // namespace lwmd5
