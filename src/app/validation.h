#pragma once

#include "scene/scene.h"

#include <string>

namespace lwmd5 {

class Reporter;

// Each joint sampled at each frame keeps 40 bytes until the file is written;
// this caps that at 640 MB. A million frames of a dozen bones fit.
constexpr std::int64_t kMaxJointSamples = 16'000'000;

struct RunInputs {
    std::string scenePath;
    std::string objectPath;
    bool animation = false; // animconv: the frame range and rate matter too
    std::int64_t maxJointSamples = kMaxJointSamples;
};

// The one check between reading and the stages: everything the stages need
// and do not check themselves. Reports each problem as one error line and
// returns false when the run cannot go on; reports warnings for what the
// stages can handle (no surface, no UV map, no triangles).
bool validateInputs(const Scene& scene, const RunInputs& inputs, Reporter& report);

// Warnings about the finished skeleton: bones that name themselves as their
// parent (made roots), and more than one root.
void reportSkeleton(const Scene& scene, Reporter& report);

} // namespace lwmd5
