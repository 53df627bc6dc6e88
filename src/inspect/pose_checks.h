#pragma once

#include "inspect/rules.h"
#include "md5/md5_reader.h"

#include <cstddef>
#include <vector>

namespace lwmd5 {

// How far one frame of an animation is from the mesh's bind pose: the
// largest joint position and angle differences, and the joints they are at.
// Both files must have the same joints (checkHierarchy finds none wrong).
struct PoseDistance {
    double position = 0.0;
    std::size_t positionJoint = 0;
    double degrees = 0.0;
    std::size_t angleJoint = 0;
};
PoseDistance compareWithBindPose(const Md5ModelFile& model, const Md5AnimFile& anim, std::size_t frame);

// Which box a file's bounds lines are: the model-space box of the posed mesh
// (as engines read them), that box less joint 0's position (as this
// project's converters write them by default), both (joint 0 stays at the
// origin), or neither.
enum class BoundsReading { ModelSpace, RelativeToJoint0, Both, Neither };

struct BoundsCheck {
    BoundsReading reading = BoundsReading::Neither;
    double tolerance = 0.0;         // a frame matches a reading this close
    double worstModel = 0.0;        // largest difference from the model-space box
    std::size_t worstModelFrame = 0;
    double worstRelative = 0.0;     // largest difference from the box relative to joint 0
    std::size_t worstRelativeFrame = 0;
    double jointZeroTravel = 0.0;   // joint 0's largest distance from the origin
    // Frames that match neither reading and whose box, read as engines read
    // it, leaves part of the posed mesh outside.
    std::size_t missingFrames = 0;
    std::size_t firstMissingFrame = 0;
    double worstMiss = 0.0;
};

// Poses every frame (on up to `threads` threads) and compares each bounds
// line with both boxes. Both files must have the same joints.
BoundsCheck classifyBounds(const Md5ModelFile& model, const Md5AnimFile& anim, unsigned threads = 1);

// Warnings: bounds relative to joint 0 where joint 0 moves away from the
// origin, and frames whose box misses the mesh.
std::vector<Finding> checkBounds(const BoundsCheck& check, const Md5AnimFile& anim, Engine engine);

// The model-space box of the mesh in its bind pose.
Md5Box bindPoseBox(const Md5ModelFile& model);

} // namespace lwmd5
