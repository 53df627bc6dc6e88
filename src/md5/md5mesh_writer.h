#pragma once

#include "scene/scene.h"

#include <string>

namespace lwmd5 {

class Reporter;
class TextOutput;

// The orientation a joint's line shows: the quaternion of its bind rotation,
// the third row negated first when the rows are left-handed.
Quat bindOrientation(const Joint& joint);

// The md5mesh text of the scene's joints in bind pose and its one mesh.
void formatMd5Mesh(const Scene& scene, TextOutput& output);
std::string formatMd5Mesh(const Scene& scene);

// Writes formatMd5Mesh beside the scene file (its path cut at the last full
// stop, plus ".md5mesh"), replacing an existing file only once every byte is
// written. False, after one error line, when the file cannot be written.
bool writeMd5Mesh(const std::string& scenePath, const Scene& scene, Reporter& report);

} // namespace lwmd5
