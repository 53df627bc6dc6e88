#pragma once

#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"

#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;
class TextOutput;

// The orientation a joint's line shows: the quaternion of its bind rotation,
// the third row negated first when the rows are left-handed.
Quat bindOrientation(const Joint& joint);

// The md5mesh text of the joints in bind pose and the meshes.
void formatMd5Mesh(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes, TextOutput& output);
std::string formatMd5Mesh(const std::vector<Joint>& joints, const std::vector<Md5Mesh>& meshes);

// Writes formatMd5Mesh beside the scene file (its path cut at the last full
// stop, plus ".md5mesh"), replacing an existing file only once every byte is
// written. False, after one error line, when the file cannot be written.
[[nodiscard]] bool writeMd5Mesh(const std::string& scenePath, const std::vector<Joint>& joints,
                                const std::vector<Md5Mesh>& meshes, Reporter& report);

} // namespace lwmd5
