#pragma once

#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "skin/skeleton.h"

#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;
class TextOutput;

// A joint animates all six components, Tx Ty Tz Qx Qy Qz, or none (the
// origin joint engine output adds).
constexpr int kAllComponentsAnimated = 63;

// What a bounds line holds: the posed mesh's box less joint 0's position of
// the frame (the converters' own rule), or the box itself in model space, as
// id Tech 4 reads it.
enum class BoundsSpace { RelativeToFirstJoint, ModelSpace };

// The animation as the md5anim file shows it.
struct Md5Animation {
    const std::vector<Joint>& joints;
    const std::vector<JointChannels>& channels;
    const std::vector<FrameBounds>& bounds;
    int framesPerSecond;
    BoundsSpace boundsSpace = BoundsSpace::RelativeToFirstJoint;
};

// The md5anim text: the joints' hierarchy, each frame's bounds, the base
// frame (frame 0) and the frames.
void formatMd5Anim(const Md5Animation& animation, TextOutput& output);
std::string formatMd5Anim(const Md5Animation& animation);

// Writes formatMd5Anim beside the scene file (".md5anim"), replacing an
// existing file only once every byte is written. False, after one error
// line, when the file cannot be written.
[[nodiscard]] bool writeMd5Anim(const std::string& scenePath, const Md5Animation& animation, Reporter& report);

} // namespace lwmd5
