#pragma once

#include "scene/scene.h"

#include <string>

namespace lwmd5 {

class Reporter;
class TextOutput;

// The md5anim text of the scene's joint hierarchy, bounds, base frame and frames.
void formatMd5Anim(const Scene& scene, TextOutput& output);
std::string formatMd5Anim(const Scene& scene);

// Writes formatMd5Anim beside the scene file (".md5anim"), replacing an
// existing file only once every byte is written. False, after one error
// line, when the file cannot be written.
bool writeMd5Anim(const std::string& scenePath, const Scene& scene, Reporter& report);

} // namespace lwmd5
