#pragma once

#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;

// No md5 loader reads "nan" or "inf". False, after one error line naming the
// first such value and where it comes from, when the output would hold a
// value that is not a finite number (from input numbers that are not, or
// that overflow once converted).
[[nodiscard]] bool checkMeshOutputIsFinite(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes,
                                           const std::string& scenePath, Reporter& report);
// `firstFrame` numbers the frames in the message as the scene does.
[[nodiscard]] bool checkAnimationOutputIsFinite(const std::vector<Joint>& joints,
                                                const std::vector<JointChannels>& channels,
                                                const std::vector<FrameBounds>& bounds, int firstFrame,
                                                const std::string& scenePath, Reporter& report);

} // namespace lwmd5
