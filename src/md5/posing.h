#pragma once

#include "math/transform.h"

#include <cstddef>
#include <cstdint>

namespace lwmd5 {

struct FrameBounds;

// The inner loop of the frame bounds: posing vertices with one frame's joint
// transforms and growing the frame's box.

// One weight as the posing loop reads it: offset and bias widened once.
struct PoseWeight {
    double offset[3];
    double bias;
    float biasFloat;
    std::size_t joint;
};

// The weights of one vertex worth posing.
struct PoseRun {
    std::uint32_t first;
    std::uint32_t count;
};

// A joint's world transform of one frame, widened: rows 0-2 of the rotation
// and the translation, each padded to four lanes.
struct alignas(32) JointRows {
    double row[4][4];
};

void toRows(const Transform& m, JointRows& rows);

// Poses each run's vertex (the sum over its weights of bias times the offset
// carried by the joint's transform, every product and sum rounded to float,
// starting from 0) and grows `box` by it, run after run.
using PoseFunction = void (*)(const PoseWeight* weights, const PoseRun* runs, std::size_t runCount,
                              const JointRows* joints, FrameBounds& box);

// The plain loop, and the fastest loop this processor runs; they agree to
// the bit.
void poseRunsScalar(const PoseWeight* weights, const PoseRun* runs, std::size_t runCount, const JointRows* joints,
                    FrameBounds& box);
PoseFunction choosePoseFunction();

} // namespace lwmd5
