#pragma once

#include "object/lwo_object.h"
#include "scene/scene.h"
#include "skin/skeleton.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace lwmd5 {

class Reporter;

// Each joint sampled at each frame keeps 40 bytes until the file is written;
// this caps that at 640 MB. A million frames of a dozen bones fit.
constexpr std::int64_t kMaxJointSamples = 16'000'000;

// What one run may ask of the machine.
struct RunLimits {
    std::int64_t maxJointSamples = kMaxJointSamples;
    // Frames times what is sampled or posed at each frame (bones, keys,
    // points, split vertices, weights); unbounded unless a caller needs
    // every run to end quickly.
    std::int64_t maxFrameWork = std::numeric_limits<std::int64_t>::max();
};

struct ValidationInputs {
    const Scene& scene;
    const LwoObject& object;
    const std::string& scenePath;
    const std::string& objectPath;
    bool animation; // animconv: the frame range and rate matter too
    bool engine;    // every layer and surface is converted, not the first ones
};

// The one check between reading and the stages: everything the stages need
// and do not check themselves. Reports each problem as one error line and
// returns nothing when the run cannot go on; reports warnings for what the
// stages can handle (no surface, no UV map, no triangles). The result is the
// joints' order, which the skeleton stages take.
[[nodiscard]] std::optional<JointOrder> validateInputs(const ValidationInputs& inputs, const RunLimits& limits,
                                                       Reporter& report);

// Warnings about the finished skeleton: bones that name themselves as their
// parent (made roots), and more than one root.
void reportSkeleton(const std::vector<Joint>& joints, Reporter& report);

} // namespace lwmd5
