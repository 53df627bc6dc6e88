#pragma once

#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "skin/skeleton.h"

#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;
class TextOutput;

// Every joint animates all six components: Tx Ty Tz Qx Qy Qz.
constexpr int kAllComponentsAnimated = 63;

// The md5anim text: the joints' hierarchy, each frame's bounds (relative to
// joint 0's position of the frame), the base frame (frame 0) and the frames.
void formatMd5Anim(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                   const std::vector<FrameBounds>& bounds, int framesPerSecond, TextOutput& output);
std::string formatMd5Anim(const std::vector<Joint>& joints, const std::vector<JointChannels>& channels,
                          const std::vector<FrameBounds>& bounds, int framesPerSecond);

// Writes formatMd5Anim beside the scene file (".md5anim"), replacing an
// existing file only once every byte is written. False, after one error
// line, when the file cannot be written.
[[nodiscard]] bool writeMd5Anim(const std::string& scenePath, const std::vector<Joint>& joints,
                                const std::vector<JointChannels>& channels, const std::vector<FrameBounds>& bounds,
                                int framesPerSecond, Reporter& report);

} // namespace lwmd5
